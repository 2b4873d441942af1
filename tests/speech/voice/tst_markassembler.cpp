// The word marks and audio an engine's chunks become.
#include "speech/voice/markassembler.h"
#include "speech/voice/speechtext.h"

#include <QtTest>
#include <cstring>

class MarkAssemblerTest : public QObject {
    Q_OBJECT
private slots:
    // The script, token by token: "w3:2@40" a word at code point 3 (from 1)
    // of the slice, 2 long, at sample 40 of it; "pa@10" phoneme "a"; "n100"
    // ends a chunk of 100 samples; "b9@20" the engine's piece ends before
    // code point 9, at sample 20; "s5" starts a slice at offset 5 (to the
    // end of the text); "e8" releases what is held up to offset 8 (the
    // slice's end). The sink's calls: "W<start>+<length>@<sample>" a word
    // mark, "M@<sample>" a mouth shape, "/<samples>" the audio after them.
    void assemble_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("streamBase");
        QTest::addColumn<int>("takes"); // calls the sink takes before turning audio away
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("handed");
        QTest::newRow("a word waits for the next to be placed")
            << "one two" << 0 << 99 << "s0 w1:3@0 n100 w5:3@100 n100 e7"
            << "W0+3@0/100; W4+3@100/100";
        QTest::newRow("audio before the first word goes on at once")
            << "one" << 0 << 99 << "s0 n50 w1:3@50 n10 e3"
            << "/50; W0+3@50/10";
        QTest::newRow("a word placed on its first letter covers the rest")
            << "你好 x" << 0 << 99 << "s0 w1:1@0 n10 w4:1@10 n10 e4"
            << "W0+2@0/10; W3+1@10/10";
        QTest::newRow("one piece spoken as several words is one mark")
            << "1234" << 0 << 99 << "s0 w1:4@0 n10 w1:4@10 n10 e4"
            << "W0+4@0/10; /10";
        QTest::newRow("a switch of language is no mouth shape")
            << "a" << 0 << 99 << "s0 p(en)@0 pa@5 n10 e1"
            << "M@5/10";
        QTest::newRow("marks count from the text's place in the stream")
            << "one" << 1000 << 99 << "s0 w1:3@20 n10 e3"
            << "W0+3@1020/10";
        QTest::newRow("a later slice counts on from the audio before it")
            << "one. two" << 0 << 99 << "s0 w1:3@0 n100 e5 s5 w1:3@0 n50 e8"
            << "W0+3@0/100; W5+3@100/50";
        QTest::newRow("a word outside the slice is no mark")
            << "one" << 0 << 99 << "s0 w9:3@0 pa@4 n10 e3"
            << "M@4/10";
        QTest::newRow("a piece's end hands its last word on")
            << "one two. six" << 0 << 99 << "s0 w1:3@0 n10 w5:3@10 b9@20 n10"
            << "W0+3@0/10; W4+3@10/10";
        QTest::newRow("a piece of one word is heard with its end")
            << "Yes. one" << 0 << 99 << "s0 w1:3@0 b5@10 n10 w6:3@10 n10 e8"
            << "W0+3@0/10; W5+3@10/10";
        QTest::newRow("a piece ending inside a word widens it to there")
            << "你好世界" << 0 << 99 << "s0 w1:1@0 b3@10 n10 w3:1@10 n10 e4"
            << "W0+2@0/10; W2+2@10/10";
        QTest::newRow("a piece's end outside the slice ends at the slice")
            << "one two" << 0 << 99 << "s4 w1:3@0 b99@10 n10"
            << "W4+3@0/10";
        QTest::newRow("audio turned away stops the chunk")
            << "one two six" << 0 << 1 << "s0 w1:3@0 n10 w5:3@10 n10 w9:3@20 n10 e11"
            << "W0+3@0/10; W4+3@10/10 refused";
    }
    void assemble() {
        QFETCH(QString, text);
        QFETCH(int, streamBase);
        QFETCH(int, takes);
        QFETCH(QString, script);
        QFETCH(QString, handed);
        QStringList calls;
        MarkAssembler assembler(
            [&](const std::vector<SpeechMark> &marks, const std::vector<std::int16_t> &samples) {
                QString call;
                for (const SpeechMark &mark : marks) {
                    if (mark.kind == SpeechMark::Kind::Word)
                        call += QStringLiteral("W%1+%2").arg(mark.word.start).arg(mark.word.length);
                    else
                        call += u'M';
                    call += QStringLiteral("@%1 ").arg(mark.sample);
                }
                call = call.trimmed() + QStringLiteral("/%1").arg(samples.size());
                calls << call;
                return calls.size() <= takes;
            });
        assembler.BeginText(text, std::uint64_t(streamBase));
        std::vector<voice::Event> events;
        for (const QString &token : script.split(u' ')) {
            const QString rest = token.mid(1);
            bool taken = true;
            if (token[0] == u's') {
                const qsizetype from = rest.toInt();
                assembler.BeginSlice(from,
                                     SpeechText::CodePointOffsets(QStringView(text).sliced(from)));
            } else if (token[0] == u'e') {
                taken = assembler.ReleaseHeld(rest.toInt());
            } else if (token[0] == u'n') {
                const std::vector<std::int16_t> samples(std::size_t(rest.toInt()), 1);
                taken = assembler.OnChunk(samples.data(), samples.size(), events);
                events.clear();
            } else {
                voice::Event event;
                const QStringList at = rest.split(u'@');
                event.sample = at[1].toInt();
                if (token[0] == u'b') {
                    event.type = voice::Event::PieceEnd;
                    event.textPosition = at[0].toInt();
                } else if (token[0] == u'w') {
                    event.type = voice::Event::Word;
                    event.textPosition = at[0].section(u':', 0, 0).toInt();
                    event.length = at[0].section(u':', 1, 1).toInt();
                } else {
                    event.type = voice::Event::Phoneme;
                    const QByteArray name = at[0].toLatin1();
                    std::memcpy(event.phoneme, name.constData(),
                                std::min<std::size_t>(name.size(), sizeof event.phoneme));
                }
                events.push_back(event);
            }
            if (!taken) {
                calls.last() += QStringLiteral(" refused");
                break;
            }
        }
        QCOMPARE(calls.join(QStringLiteral("; ")), handed);
    }
};

QTEST_GUILESS_MAIN(MarkAssemblerTest)
#include "tst_markassembler.moc"
