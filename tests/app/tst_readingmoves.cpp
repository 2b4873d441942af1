// Where the previous and next sentence, paragraph and section keys lead.
#include "app/readingmoves.h"

#include <QtTest>

using ReadingMoves::Move;
Q_DECLARE_METATYPE(Move)

class TestReadingMoves : public QObject {
    Q_OBJECT
private slots:
    void target_data();
    void target();
    void sections_data();
    void sections();
    void wordStart_data();
    void wordStart();
};

// `at` and the expected place are given as the text that starts there, so
// the rows read as sentences; an empty `to` means "nowhere".
void TestReadingMoves::target_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("at");
    QTest::addColumn<Move>("move");
    QTest::addColumn<QString>("to");

    const QString three = QStringLiteral("One is here. Two is there! Three is last?");
    QTest::newRow("next sentence from the first word")
        << three << "One" << Move::NextSentence << "Two is";
    QTest::newRow("next sentence from inside a word")
        << three << "ne is" << Move::NextSentence << "Two is";
    QTest::newRow("next sentence after an exclamation")
        << three << "is there" << Move::NextSentence << "Three";
    QTest::newRow("no sentence after the last") << three << "last" << Move::NextSentence << "";
    QTest::newRow("previous sentence from the middle of the third")
        << three << "is last" << Move::PreviousSentence << "Two is";
    QTest::newRow("previous sentence from the start of the second")
        << three << "Two" << Move::PreviousSentence << "One";
    QTest::newRow("previous sentence in the first stays at its start")
        << three << "is here" << Move::PreviousSentence << "One";
    QTest::newRow("space between sentences belongs to the earlier")
        << three << " Two" << Move::NextSentence << "Two is";

    const QString titles = QStringLiteral("Mr. Smith met Dr. Jones at St. Mary's. They talked.");
    QTest::newRow("titles do not end a sentence")
        << titles << "Smith" << Move::NextSentence << "They";
    QTest::newRow("e.g. and lower case go on")
        << QStringLiteral("Bring fruit, e.g. Apples and pears. Then go.") << "Bring"
        << Move::NextSentence << "Then";
    QTest::newRow("an initial does not end a sentence")
        << QStringLiteral("It was J. R. Tolkien. He wrote.") << "It" << Move::NextSentence << "He";
    QTest::newRow("a lower-case word after a full stop goes on")
        << QStringLiteral("It costs 5 p. per page. Fine.") << "It" << Move::NextSentence << "Fine";
    QTest::newRow("a closing quote belongs to the sentence")
        << QStringLiteral("He said \"Stop.\" She did.") << "He" << Move::NextSentence << "She";
    QTest::newRow("an ellipsis ends a sentence")
        << QStringLiteral("Wait... Then more.") << "Wait" << Move::NextSentence << "Then";
    QTest::newRow("decimal numbers do not end a sentence")
        << QStringLiteral("Pi is 3.14 or so. Yes.") << "Pi" << Move::NextSentence << "Yes";
    QTest::newRow("East Asian full stops need no space")
        << QStringLiteral("你好。我很好。") << "你" << Move::NextSentence << "我很好";
    QTest::newRow("a blank line ends a sentence without a stop")
        << QStringLiteral("Chapter One\n\nIt began.") << "Chapter" << Move::NextSentence
        << "It began";
    QTest::newRow("a wrapped line goes on") << QStringLiteral("This line is\nwrapped here. Next.")
                                            << "This" << Move::NextSentence << "Next";

    const QString paragraphs =
        QStringLiteral("First para. Still first.\n\nSecond para, wrapped\nover lines.\nThird "
                       "para.\n\n\nFourth.");
    QTest::newRow("next paragraph after a blank line")
        << paragraphs << "Still" << Move::NextParagraph << "Second";
    QTest::newRow("a wrapped line is not a paragraph")
        << paragraphs << "Second" << Move::NextParagraph << "Third";
    QTest::newRow("a line break after a sentence is a paragraph")
        << paragraphs << "over" << Move::NextParagraph << "Third";
    QTest::newRow("several blank lines are one break")
        << paragraphs << "Third" << Move::NextParagraph << "Fourth";
    QTest::newRow("no paragraph after the last")
        << paragraphs << "Fourth" << Move::NextParagraph << "";
    QTest::newRow("previous paragraph from inside one")
        << paragraphs << "over" << Move::PreviousParagraph << "First";
    QTest::newRow("previous paragraph in the first stays at its start")
        << paragraphs << "Still" << Move::PreviousParagraph << "First";

    QTest::newRow("leading space: the first sentence starts at its word")
        << QStringLiteral("   \n  Only one.") << "one" << Move::PreviousSentence << "Only";
    QTest::newRow("empty text: no next sentence") << QString() << "" << Move::NextSentence << "";
    QTest::newRow("empty text: no next paragraph") << QString() << "" << Move::NextParagraph << "";
    QTest::newRow("a single sentence: nothing after")
        << QStringLiteral("Alone here") << "here" << Move::NextSentence << "";
}

void TestReadingMoves::target() {
    QFETCH(QString, text);
    QFETCH(QString, at);
    QFETCH(Move, move);
    QFETCH(QString, to);
    const qsizetype from = at.isEmpty() ? 0 : text.indexOf(at);
    QVERIFY(from >= 0);
    const qsizetype got = ReadingMoves::Target(text, from, move);
    const qsizetype expected = to.isEmpty() ? -1 : text.indexOf(to);
    QVERIFY(to.isEmpty() || expected >= 0);
    QCOMPARE(got < 0 ? QStringLiteral("(nowhere)") : text.mid(got, 12),
             expected < 0 ? QStringLiteral("(nowhere)") : text.mid(expected, 12));
}

void TestReadingMoves::sections_data() {
    QTest::addColumn<QList<qsizetype>>("sections");
    QTest::addColumn<int>("at");
    QTest::addColumn<Move>("move");
    QTest::addColumn<int>("to");
    const QList<qsizetype> three = {0, 100, 200};
    QTest::newRow("next from inside the first") << three << 50 << Move::NextSection << 100;
    QTest::newRow("next from a section's start") << three << 100 << Move::NextSection << 200;
    QTest::newRow("none after the last") << three << 250 << Move::NextSection << -1;
    QTest::newRow("previous from inside the third") << three << 250 << Move::PreviousSection << 100;
    QTest::newRow("previous in the first: its start") << three << 50 << Move::PreviousSection << 0;
    QTest::newRow("before the first section: next is the first")
        << QList<qsizetype>{40, 90} << 10 << Move::NextSection << 40;
    QTest::newRow("before the first section: no previous")
        << QList<qsizetype>{40, 90} << 10 << Move::PreviousSection << -1;
    QTest::newRow("out of order, as given")
        << QList<qsizetype>{200, 0, 100} << 120 << Move::NextSection << 200;
    QTest::newRow("no sections: next leads nowhere")
        << QList<qsizetype>{} << 10 << Move::NextSection << -1;
    QTest::newRow("no sections: previous leads nowhere")
        << QList<qsizetype>{} << 10 << Move::PreviousSection << -1;
}

void TestReadingMoves::sections() {
    QFETCH(QList<qsizetype>, sections);
    QFETCH(int, at);
    QFETCH(Move, move);
    QFETCH(int, to);
    const QString text(300, u'x');
    QCOMPARE(ReadingMoves::Target(text, at, move, sections), qsizetype(to));
}

void TestReadingMoves::wordStart_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("at");
    QTest::addColumn<int>("start");
    QTest::newRow("inside a word") << QStringLiteral("read from here") << 7 << 5;
    QTest::newRow("on a word's first letter") << QStringLiteral("read from here") << 5 << 5;
    QTest::newRow("on space: the next word") << QStringLiteral("read  from") << 4 << 6;
    QTest::newRow("at the end: nothing") << QStringLiteral("read  ") << 6 << -1;
    QTest::newRow("empty text") << QString() << 0 << -1;
}

void TestReadingMoves::wordStart() {
    QFETCH(QString, text);
    QFETCH(int, at);
    QFETCH(int, start);
    QCOMPARE(ReadingMoves::WordStart(text, at), qsizetype(start));
}

QTEST_APPLESS_MAIN(TestReadingMoves)
#include "tst_readingmoves.moc"
