#pragma once

#include "app/frmmain.h"
#include "doubles.h"

#include <QPlainTextEdit>
#include <QTest>
#include <QTextCursor>
#include <memory>

// The speech window on doubles of every service. Its voice is the one given,
// or a RecordingVoice (then also `voice`).
struct SpeechWindow {
    ServiceDoubles doubles;
    RecordingBoxes &boxes = doubles.boxes;
    RecordingVoice *voice = nullptr;
    std::unique_ptr<frmMain> form;

    SpeechWindow() : SpeechWindow(std::make_unique<RecordingVoice>()) {}
    explicit SpeechWindow(std::unique_ptr<RecordingVoice> recording) : voice(recording.get()) {
        form = std::make_unique<frmMain>(doubles.All(), std::move(recording));
    }
    explicit SpeechWindow(std::unique_ptr<SpeechControl> given) {
        form = std::make_unique<frmMain>(doubles.All(), std::move(given));
    }

    void Show() {
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    }
    QPlainTextEdit &Text() const { return *form->txtSpeech(); }
    void Select(int anchor, int position) {
        QTextCursor cursor = Text().textCursor();
        cursor.setPosition(anchor);
        cursor.setPosition(position, QTextCursor::KeepAnchor);
        Text().setTextCursor(cursor);
    }
};
