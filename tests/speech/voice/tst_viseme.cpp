#include "speech/voice/viseme.h"

#include <QtTest>

class VisemeTest : public QObject {
    Q_OBJECT
private slots:
    void shapeOfPhoneme_data();
    void shapeOfPhoneme();
};

void VisemeTest::shapeOfPhoneme_data() {
    QTest::addColumn<QByteArray>("ipa"); // as espeak-ng names it
    QTest::addColumn<int>("shape");
    const auto row = [](const char *name, const char *ipa, Viseme v) {
        QTest::newRow(name) << QByteArray(ipa) << int(v);
    };
    row("pause", "", Viseme::Rest);
    row("short pause", "_", Viseme::Rest);
    row("m", "m", Viseme::Closed);
    row("b", "b", Viseme::Closed);
    row("f", "f", Viseme::LipTeeth);
    row("v", "v", Viseme::LipTeeth);
    row("open a", "a", Viseme::Open);
    row("schwa-like near-open", "\xc9\x90", Viseme::Open);     // ɐ
    row("diphthong starting open", "a\xc9\xaa", Viseme::Open); // aɪ
    row("rounded o", "o\xcb\x90", Viseme::Round);              // oː
    row("w", "w", Viseme::Round);
    row("front rounded", "\xc3\xb8", Viseme::Round); // ø
    row("spread i", "i\xcb\x90", Viseme::Spread);    // iː
    row("schwa", "\xc9\x99", Viseme::Spread);        // ə
    row("stress mark first",
        "\xcb\x88"
        "a",
        Viseme::Open); // ˈa
    row("t", "t", Viseme::Narrow);
    row("affricate", "t\xca\x83", Viseme::Narrow); // tʃ
    row("uvular r", "\xca\x81", Viseme::Narrow);   // ʁ
    row("language switch", "(en)", Viseme::Rest);
    row("broken utf-8", "\xc3", Viseme::Rest);
    row("full eight bytes", "\xc9\x99\xc9\x99\xc9\x99\xc9\x99", Viseme::Spread);
}

void VisemeTest::shapeOfPhoneme() {
    QFETCH(QByteArray, ipa);
    QFETCH(int, shape);
    QCOMPARE(int(VisemeForPhoneme(std::string_view(ipa.constData(), ipa.size()))), shape);
}

QTEST_APPLESS_MAIN(VisemeTest)
#include "tst_viseme.moc"
