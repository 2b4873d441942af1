#pragma once

#include "speech/voice/speechtimeline.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

// How the user wants something said: a word (or a regular expression) and
// the plain text said in its place.
struct PronunciationRule {
    QString find;          // the word, or the pattern when `pattern`
    QString say;           // said instead, as plain text; empty: nothing is said
    bool pattern = false;  // `find` is a regular expression
    bool wholeWord = true; // only where no letter, digit or _ touches it
    bool matchCase = false;
    QString language; // a language tag ("en", "en-gb"); empty: every language

    bool operator==(const PronunciationRule &) const = default;
};

// A text as the voice is to say it, and the way back to the user's own text:
// a word the voice places in the spoken text is shown where the user wrote it.
class SpokenText {
public:
    // One replaced stretch: the user's text and what is said for it.
    struct Piece {
        qsizetype original = 0;
        qsizetype originalLength = 0;
        qsizetype spoken = 0;
        qsizetype spokenLength = 0;
    };

    QString text;
    std::vector<Piece> pieces; // in order, never overlapping
    // The rules that could not be used on this text, and why.
    QStringList problems;

    // Where a place of the user's text is in the spoken text; a place inside
    // a replaced stretch goes to the start of what is said for it.
    qsizetype ToSpoken(qsizetype original) const;
    // The user's words for a word of the spoken text: one that touches a
    // replacement covers the whole stretch it replaced.
    WordSpan ToOriginal(WordSpan spoken) const;
};

// A list of rules, applied together: every rule looks at the user's text,
// never at another's replacement, and where two find overlapping text the
// one higher in the list wins. A pattern that is not valid, or that takes
// too long on a text, is left out and reported; it never stops the speech.
class Pronunciations {
public:
    explicit Pronunciations(std::vector<PronunciationRule> rules = {});

    const std::vector<PronunciationRule> &Rules() const { return rules_; }
    bool IsEmpty() const { return rules_.empty(); }

    // `text` as a voice of `language` says it. Safe to call from any thread.
    SpokenText Apply(const QString &text, const QString &language) const;

    // Why the rule cannot be used (an empty word, a pattern that is not
    // valid); empty when it can.
    static QString Fault(const PronunciationRule &rule);
    // Whether a rule of `ruleLanguage` applies to a voice of `voiceLanguage`:
    // "en" covers "en-us", not the other way round; empty covers every one.
    static bool LanguageMatches(const QString &ruleLanguage, const QString &voiceLanguage);

    // The list everything this program speaks goes through: the user's own,
    // read when first needed, unless another was set.
    static std::shared_ptr<const Pronunciations> InUse();
    static void Use(std::shared_ptr<const Pronunciations> list);

private:
    std::vector<PronunciationRule> rules_;
};

// The lists as files: UTF-8 text, a rule a line, its columns separated by
// tabs: what to find, what to say, "word" or "pattern", whole word ("yes" or
// "no"), match case ("yes" or "no"), and the language ("all" or a tag). All
// but the first two may be left out (word, yes, no, all). Empty lines and
// lines starting with # are skipped. A field never holds a tab or a line break.
namespace PronunciationFile {

struct Read {
    std::vector<PronunciationRule> rules; // every line that could be read
    // One message per line that could not be read, naming the file and line;
    // or why the file could not be opened.
    QStringList problems;
    bool opened = false; // false: the file could not be read at all
};

// The user's list, in the program's folder of $XDG_CONFIG_HOME.
QString UserFile();

Read Parse(const QByteArray &bytes, const QString &shownName);
// A file that does not exist is an empty list, opened, with nothing to report.
Read Load(const QString &path);
QByteArray Format(const std::vector<PronunciationRule> &rules);
// Writes the whole list to `path`, in place only once on the disk. False,
// with `error`, when it cannot.
bool Save(const QString &path, const std::vector<PronunciationRule> &rules, QString &error);
// Saves the user's list. A file there that has lines it cannot read is kept
// first beside it under the name `keptAs` tells; one that cannot be read at
// all is not replaced.
bool SaveUserList(const std::vector<PronunciationRule> &rules, QString &error,
                  QString *keptAs = nullptr, const QString &path = UserFile());

} // namespace PronunciationFile
