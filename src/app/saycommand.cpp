#include "saycommand.h"

#include "app/commandoptions.h"
#include "app/frmmain.h"
#include "app/readerservice.h"
#include "app/readerstate.h"
#include "app/speakingcommands.h"
#include "speech/sound/systemaudiooutput.h"
#include "speech/voice/voicesession.h"

#include <QClipboard>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QTimer>
#include <csignal>
#include <cstdio>

namespace {

volatile std::sig_atomic_t stopAsked = 0;

void OnStop(int) {
    stopAsked = 1;
}

// The text selected in any program: the primary selection where the system
// has one (X11), else, or when it holds nothing, the clipboard.
QString SelectedText() {
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return {};
    QClipboard *clipboard = QGuiApplication::clipboard();
    QString text;
    if (clipboard->supportsSelection())
        text = clipboard->text(QClipboard::Selection);
    if (text.trimmed().isEmpty())
        text = clipboard->text(QClipboard::Clipboard);
    return text;
}

// Speaks in this process, until the text has been said or a stop comes.
int SpeakHere(const QString &text) {
    const ReaderState::Voice last = ReaderState().LastVoice();
    VoiceSession voice(CreateSystemAudioOutput(), nullptr);
    if (last.pitch >= 0)
        voice.SetPitch(last.pitch);
    if (last.speed >= 0)
        voice.SetSpeed(last.speed);
    if (!last.identifier.isEmpty())
        voice.SetVoice(last.identifier); // a voice gone since is passed over

    QString failure;
    const auto quitSoon = [] {
        // Lets the answer to a Stop from the bus go out first.
        QTimer::singleShot(50, QCoreApplication::instance(), &QCoreApplication::quit);
    };
    QObject::connect(&voice, &VoiceSession::SpeakingChanged, &voice, [&](bool speaking) {
        if (!speaking)
            quitSoon();
    });
    QObject::connect(&voice, &VoiceSession::SpeakingFailed, &voice,
                     [&](const QString &description) {
                         failure = description;
                         quitSoon();
                     });
    ReaderService::Handlers handlers;
    handlers.say = [&voice](const QString &said) {
        const SpeechStatus status = voice.Speak(said);
        return status.error;
    };
    handlers.stop = [&voice] { voice.StopSpeaking().ok(); };
    handlers.pause = [&voice] { voice.Pause(); };
    handlers.resume = [&voice] { voice.Resume().ok(); };
    const std::unique_ptr<ReaderService> service = ReaderService::Offer(handlers);

    std::signal(SIGINT, OnStop);
    std::signal(SIGTERM, OnStop);
    QTimer stopCheck;
    QObject::connect(&stopCheck, &QTimer::timeout, &voice, [&voice] {
        if (stopAsked)
            voice.StopSpeaking().ok();
    });
    stopCheck.start(100);

    const SpeechStatus started = voice.Speak(text);
    if (!started.ok())
        return Fail(started.error);
    if (!voice.IsSpeaking())
        return 0;
    QCoreApplication::exec();
    return failure.isEmpty() ? 0 : Fail(failure);
}

} // namespace

int RunSayCommand(const QCommandLineParser &parser) {
    if (parser.isSet(QStringLiteral("stop"))) {
        const std::optional<QString> answer = ReaderService::Ask(ReaderService::Call::Stop);
        return answer && !answer->isEmpty() ? Fail(*answer) : 0; // none running: all is quiet
    }
    QString text;
    if (parser.isSet(QStringLiteral("say"))) {
        text = parser.value(QStringLiteral("say"));
        if (text.trimmed().isEmpty())
            return Fail(QStringLiteral("--say needs some text to say"), kExitUsage);
    } else {
        text = SelectedText();
        if (text.trimmed().isEmpty())
            return Fail(QStringLiteral("Nothing is selected: select some text first"));
    }
    if (const std::optional<QString> answer = ReaderService::Ask(ReaderService::Call::Say, text))
        return answer->isEmpty() ? 0 : Fail(*answer);
    return SpeakHere(text);
}

void PrepareForSelection() {
    // A Wayland desktop hands its selections only to the window in focus;
    // through Xwayland, which the desktop keeps in step, any client may read
    // them.
    if (qEnvironmentVariableIsSet("DISPLAY") && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "xcb");
}

std::unique_ptr<ReaderService> OfferEditorVoice(frmMain &window) {
    ReaderService::Handlers handlers;
    SpeakingCommands &speaking = window.Speaking();
    handlers.say = [&speaking](const QString &text) { return speaking.Say(text); };
    handlers.stop = [&speaking] { speaking.Stop(); };
    handlers.pause = [&speaking] { speaking.Pause(); };
    handlers.resume = [&speaking] { speaking.Resume(); };
    return ReaderService::Offer(handlers);
}
