// The user's pronunciations: what the voice is given for a text, where its
// words land back in the user's text, and the list as a file.
#include "speech/voice/pronunciations.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(PronunciationRule)

namespace {

PronunciationRule Word(const QString &find, const QString &say) {
    PronunciationRule rule;
    rule.find = find;
    rule.say = say;
    return rule;
}

PronunciationRule Pattern(const QString &find, const QString &say) {
    PronunciationRule rule = Word(find, say);
    rule.pattern = true;
    rule.wholeWord = false;
    return rule;
}

PronunciationRule With(PronunciationRule rule, bool wholeWord, bool matchCase,
                       const QString &language = {}) {
    rule.wholeWord = wholeWord;
    rule.matchCase = matchCase;
    rule.language = language;
    return rule;
}

// "spoken start+length > original start+length"
std::pair<WordSpan, WordSpan> Mark(const QString &text) {
    const auto span = [](const QString &part) {
        const QStringList numbers = part.trimmed().split(u'+');
        return WordSpan{numbers.value(0).toLongLong(), numbers.value(1).toLongLong()};
    };
    return {span(text.section(u'>', 0, 0)), span(text.section(u'>', 1, 1))};
}

QByteArray ReadAll(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

class PronunciationsTest : public QObject {
    Q_OBJECT

private slots:
    void rules_data() {
        QTest::addColumn<QList<PronunciationRule>>("rules");
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("spoken");
        QTest::addColumn<QStringList>("marks");
        QTest::addColumn<QString>("problem");

        QTest::newRow("word, any case")
            << QList{Word("Dr", "Doctor")} << "en"
            << "Dr Who met dr No"
            << "Doctor Who met Doctor No" << QStringList{"0+6 > 0+2", "11+3 > 7+3", "15+6 > 11+2"}
            << "";
        QTest::newRow("word, case matched")
            << QList{With(Word("Dr", "Doctor"), true, true)} << "en"
            << "Dr Who met dr No"
            << "Doctor Who met dr No" << QStringList{"11+3 > 7+3"} << "";
        QTest::newRow("whole words only")
            << QList{Word("cat", "dog")} << "en"
            << "cat catalog bobcat cat."
            << "dog catalog bobcat dog." << QStringList{"19+3 > 19+3"} << "";
        QTest::newRow("inside words too") << QList{With(Word("cat", "dog"), false, false)} << "en"
                                          << "cat catalog bobcat"
                                          << "dog dogalog bobdog" << QStringList{"4+7 > 4+7"} << "";
        QTest::newRow("word with signs in it")
            << QList{Word("C++", "see plus plus")} << "en"
            << "C++ and C++11"
            << "see plus plus and C++11" << QStringList{"4+4 > 0+3", "14+3 > 4+3"} << "";
        QTest::newRow("pattern") << QList{Pattern("colou?r", "culler")} << "en"
                                 << "Colour, color, COLORS"
                                 << "culler, culler, cullerS" << QStringList{"8+6 > 8+5"} << "";
        QTest::newRow("pattern, whole words, case matched")
            << QList{With(Pattern("[A-Z]{2,}s?", "acronym"), true, true)} << "en"
            << "NASA and CDs, not Nasa"
            << "acronym and acronym, not Nasa" << QStringList{"12+7 > 9+3", "25+4 > 18+4"} << "";
        QTest::newRow("mark inside a replacement")
            << QList{Word("WHO", "World Health Organization")} << "en"
            << "The WHO said"
            << "The World Health Organization said"
            << QStringList{"10+6 > 4+3", "4+25 > 4+3", "30+4 > 8+4", "0+16 > 0+7"} << "";
        QTest::newRow("nothing said for a word")
            << QList{Word("um", "")} << "en"
            << "so um yes"
            << "so  yes" << QStringList{"4+3 > 6+3", "3+0 > 5+0"} << "";
        QTest::newRow("rule of the voice's language")
            << QList{With(Word("Hund", "dog"), true, false, "de"),
                     With(Word("cat", "kitty"), true, false, "en")}
            << "en-us"
            << "Hund cat"
            << "Hund kitty" << QStringList{"5+5 > 5+3"} << "";
        QTest::newRow("rule of a narrower language")
            << QList{With(Word("tomato", "tomahto"), true, false, "en-gb")} << "en"
            << "tomato"
            << "tomato" << QStringList{} << "";
        QTest::newRow("rule for every language")
            << QList{Word("Zavren", "Zahvren")} << "fr"
            << "Zavren parle"
            << "Zahvren parle" << QStringList{"8+5 > 7+5"} << "";
        QTest::newRow("pattern not valid, others go on")
            << QList{Pattern("(unclosed", "x"), Word("ok", "fine")} << "en"
            << "(unclosed ok"
            << "(unclosed fine" << QStringList{"0+9 > 0+9"}
            << "Rule 1 (\"(unclosed\"): the pattern is not valid";
        QTest::newRow("empty rule") << QList{Word("", "something")} << "en"
                                    << "text"
                                    << "text" << QStringList{} << "nothing to find";
        QTest::newRow("empty matches ignored") << QList{Pattern("x*", "y")} << "en"
                                               << "abc"
                                               << "abc" << QStringList{} << "";
        QTest::newRow("overlapping: the higher rule wins")
            << QList{Word("New York", "the Big Apple"), Word("York", "Yorkshire")} << "en"
            << "New York and York"
            << "the Big Apple and Yorkshire" << QStringList{"4+3 > 0+8", "18+9 > 13+4"} << "";
        QTest::newRow("overlapping, the other order")
            << QList{Word("York", "Yorkshire"), Word("New York", "the Big Apple")} << "en"
            << "New York and York"
            << "New Yorkshire and Yorkshire" << QStringList{"0+3 > 0+3", "4+9 > 4+4"} << "";
        QTest::newRow("replacements are not replaced again")
            << QList{Word("a", "b"), Word("b", "a")} << "en"
            << "a b"
            << "b a" << QStringList{"0+3 > 0+3"} << "";
        QTest::newRow("pattern that backtracks without end")
            << QList{Pattern("(a+)+$", "x")} << "en"
            << QString(QStringLiteral("a").repeated(4000) + u'b')
            << QString(QStringLiteral("a").repeated(4000) + u'b') << QStringList{} << "";
        const QString words = QStringLiteral("word ").repeated(40) + u'!';
        QTest::newRow("pattern that backtracks on words")
            << QList{Pattern("(\\w+\\s?)+$", "x"), Word("word", "ward")} << "en" << words
            << QString(words).replace(QLatin1String("word"), QLatin1String("ward")) << QStringList{}
            << "";
        QTest::newRow("language that is no tag")
            << QList{With(Word("a", "b"), true, false, "English!")} << "en"
            << "a"
            << "a" << QStringList{} << "a tag such as en";
        QTest::newRow("dot not over a line break")
            << QList{Pattern("one.two", "x")} << "en"
            << "one\ntwo one two"
            << "one\ntwo x" << QStringList{"4+3 > 4+3", "8+1 > 8+7"} << "";
        QTest::newRow("line ends for ^ and $")
            << QList{Pattern("^(Note|Tip):$", "Listen:")} << "en"
            << "Note:\r\nA Tip: here\nTip:"
            << "Listen:\r\nA Tip: here\nListen:" << QStringList{"21+7 > 19+4"} << "";
    }
    void rules() {
        QFETCH(QList<PronunciationRule>, rules);
        QFETCH(QString, language);
        QFETCH(QString, text);
        QFETCH(QString, spoken);
        QFETCH(QStringList, marks);
        QFETCH(QString, problem);
        const Pronunciations list(std::vector<PronunciationRule>(rules.begin(), rules.end()));
        const SpokenText said = list.Apply(text, language);
        QCOMPARE(said.text, spoken);
        for (const QString &mark : marks) {
            const auto [from, to] = Mark(mark);
            QCOMPARE(said.ToOriginal(from), to);
        }
        // Every place of the user's text has a place in the spoken one, and
        // a word of the user's own maps back onto itself.
        qsizetype last = 0;
        for (qsizetype at = 0; at <= text.size(); ++at) {
            const qsizetype place = said.ToSpoken(at);
            QVERIFY(place >= last && place <= said.text.size());
            last = place;
        }
        if (problem.isEmpty())
            QVERIFY2(said.problems.isEmpty(), qPrintable(said.problems.join(u'\n')));
        else
            QVERIFY2(said.problems.join(u'\n').contains(problem),
                     qPrintable(said.problems.join(u'\n')));
    }

    void file_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("rules");
        QTest::addColumn<QList<int>>("brokenLines");
        QTest::addColumn<QString>("problem");

        QTest::newRow("good, every column")
            << QByteArray("# my list\n\nWHO\tWorld Health Organization\tword\tyes\tyes\ten\r\n"
                          "colou?r\tculler\tpattern\tno\tno\tall\n")
            << 2 << QList<int>{} << "";
        QTest::newRow("good, two columns") << QByteArray("Dr\tDoctor") << 1 << QList<int>{} << "";
        QTest::newRow("broken line among good ones")
            << QByteArray("a\tb\nc\td\tword\tmaybe\ne\tf\tword\tyes\tno\tde-AT\n") << 2
            << QList<int>{2} << "whole word (the fourth column) is \"yes\" or \"no\"";
        QTest::newRow("one column")
            << QByteArray("a\tb\nlonely\n") << 1 << QList<int>{2} << "2 to 6 columns";
        QTest::newRow("too many columns")
            << QByteArray("a\tb\tword\tyes\tno\ten\textra\n") << 0 << QList<int>{1} << "not 7";
        QTest::newRow("nothing to find")
            << QByteArray("\tsaid\nx\ty\n") << 1 << QList<int>{1} << "nothing to find";
        QTest::newRow("unknown kind")
            << QByteArray("x\ty\tregexp\n") << 0 << QList<int>{1} << "\"word\" or \"pattern\"";
        QTest::newRow("not a language") << QByteArray("x\ty\tword\tyes\tno\tEnglish!\n") << 0
                                        << QList<int>{1} << "a tag such as en";
        QTest::newRow("not UTF-8")
            << QByteArray("caf\xe9\tcafe\nok\tfine\n") << 1 << QList<int>{1} << "not UTF-8";
        QTest::newRow("pattern not valid is kept")
            << QByteArray("(\tx\tpattern\n") << 1 << QList<int>{} << "";
    }
    void file() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, rules);
        QFETCH(QList<int>, brokenLines);
        QFETCH(QString, problem);
        const PronunciationFile::Read read = PronunciationFile::Parse(bytes, "list.tsv");
        QVERIFY(read.opened);
        QCOMPARE(int(read.rules.size()), rules);
        QCOMPARE(read.problems.size(), brokenLines.size());
        for (qsizetype i = 0; i < brokenLines.size(); ++i)
            QVERIFY2(read.problems[i].startsWith(
                         QStringLiteral("list.tsv, line %1: ").arg(brokenLines[i])),
                     qPrintable(read.problems[i]));
        if (!problem.isEmpty())
            QVERIFY2(read.problems.join(u'\n').contains(problem),
                     qPrintable(read.problems.join(u'\n')));
        // Exported and imported again, the rules are the same.
        const PronunciationFile::Read again =
            PronunciationFile::Parse(PronunciationFile::Format(read.rules), "again.tsv");
        QVERIFY(again.problems.isEmpty());
        QVERIFY(again.rules == read.rules);
    }

    // Tabs and line breaks in a field cannot be written as they are.
    void fieldsKeepToOneLine() {
        PronunciationRule rule = Word("two\twords", "said\non two lines");
        const PronunciationFile::Read read =
            PronunciationFile::Parse(PronunciationFile::Format({rule}), "list.tsv");
        QCOMPARE(read.rules.size(), std::size_t(1));
        QCOMPARE(read.rules[0].find, QStringLiteral("two words"));
        QCOMPARE(read.rules[0].say, QStringLiteral("said on two lines"));
    }

    // Saving the user's list never loses the lines of the file it replaces.
    void saving_data() {
        QTest::addColumn<QByteArray>("before"); // "<folder>": a folder stands there
        QTest::addColumn<bool>("saved");
        QTest::addColumn<bool>("keptAside");

        QTest::newRow("no file yet") << QByteArray() << true << false;
        QTest::newRow("good file") << QByteArray("a\tb\n") << true << false;
        QTest::newRow("broken file kept aside") << QByteArray("a\tb\nbroken\n") << true << true;
        QTest::newRow("file that cannot be read") << QByteArray("<folder>") << false << false;
    }
    void saving() {
        QFETCH(QByteArray, before);
        QFETCH(bool, saved);
        QFETCH(bool, keptAside);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("config/pronunciations.tsv"));
        QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("config"))));
        if (before == "<folder>") {
            QVERIFY(QDir().mkpath(path));
        } else if (!before.isEmpty()) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(before) == before.size());
        }
        const std::vector<PronunciationRule> rules{Word("WHO", "World Health Organization")};
        QString error, keptAs;
        QCOMPARE(PronunciationFile::SaveUserList(rules, error, &keptAs, path), saved);
        if (!saved) {
            QVERIFY2(error.contains(path), qPrintable(error));
            QVERIFY(QFileInfo(path).isDir());
            return;
        }
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QVERIFY(PronunciationFile::Load(path).rules == rules);
        QCOMPARE(!keptAs.isEmpty(), keptAside);
        if (keptAside)
            QCOMPARE(ReadAll(keptAs), before);
        // Nothing else is left in the folder.
        QCOMPARE(QDir(dir.filePath(QStringLiteral("config")))
                     .entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot)
                     .size(),
                 keptAside ? 2 : 1);
    }
};

QTEST_GUILESS_MAIN(PronunciationsTest)
#include "tst_pronunciations.moc"
