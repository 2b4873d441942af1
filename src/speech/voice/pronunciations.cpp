#include "pronunciations.h"

#include "platform/pendingfile.h"
#include "platform/qt/nativename.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QtDebug>
#include <algorithm>
#include <map>
#include <mutex>

namespace {

// A pattern that backtracks without end gives up after this many steps at one
// place of a line, and is left out once it has taken this long on a text.
// Any of CR, LF and CRLF ends a line for ^ and $.
constexpr const char *kStepLimit = "(*LIMIT_MATCH=10000)(*ANYCRLF)";
constexpr qint64 kRuleBudgetMs = 300;
// Patterns are sought in stretches of whole lines of about this length.
constexpr qsizetype kStretch = 16384;
// A list larger than this is no list of pronunciations.
constexpr qint64 kMaxFileBytes = 16 << 20;

const QString kHeader = QStringLiteral(
    "# Zavren Speech pronunciations: find, say, word or pattern, whole word, match case, "
    "language (tab-separated)\n");

QRegularExpression Compile(const PronunciationRule &rule) {
    QString body = rule.pattern ? rule.find : QRegularExpression::escape(rule.find);
    if (rule.wholeWord)
        body = QStringLiteral("(?<!\\w)(?:") + body + QStringLiteral(")(?!\\w)");
    QRegularExpression::PatternOptions options =
        QRegularExpression::UseUnicodePropertiesOption | QRegularExpression::MultilineOption;
    if (!rule.matchCase)
        options |= QRegularExpression::CaseInsensitiveOption;
    return QRegularExpression(QLatin1String(kStepLimit) + body, options);
}

QString Quoted(const QString &text) {
    constexpr qsizetype kShown = 40;
    return u'"' + (text.size() > kShown ? text.first(kShown) + u'\u2026' : text) + u'"';
}

// The end of the stretch of whole lines that starts at `from`: as many as
// fit, or the one line when it alone is longer.
qsizetype StretchEnd(const QString &text, qsizetype from) {
    if (text.size() - from <= kStretch)
        return text.size();
    qsizetype end = text.lastIndexOf(u'\n', from + kStretch - 1);
    if (end < from)
        end = text.indexOf(u'\n', from + kStretch);
    return end < 0 ? text.size() : end + 1;
}

std::mutex inUseMutex;
std::shared_ptr<const Pronunciations> inUse;

bool ParseYesNo(const QString &field, bool &value) {
    if (field.compare(QLatin1String("yes"), Qt::CaseInsensitive) == 0)
        value = true;
    else if (field.compare(QLatin1String("no"), Qt::CaseInsensitive) == 0)
        value = false;
    else
        return false;
    return true;
}

bool IsLanguageTag(const QString &tag) {
    static const QRegularExpression kTag(QStringLiteral("^[A-Za-z]{1,8}([-_][A-Za-z0-9]{1,8})*$"));
    return kTag.match(tag).hasMatch();
}

QString Field(QString text) {
    // A tab or line break would split the rule: a space says the same here.
    for (QChar &c : text)
        if (c == u'\t' || c == u'\n' || c == u'\r')
            c = u' ';
    return text;
}

bool WriteBytes(const QString &path, const QByteArray &bytes, bool replace, QString &error) {
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        error = QStringLiteral("Cannot create the folder of %1.").arg(path);
        return false;
    }
    std::string why;
    const std::unique_ptr<PendingFile> file = PendingFile::Create(NativePath(path), why);
    if (!file || !file->Write(bytes.constData(), std::size_t(bytes.size())) || !file->Finish() ||
        !file->Place(replace, why)) {
        if (file && !file->Error().empty())
            why = file->Error();
        error = QStringLiteral("Cannot write %1: %2.").arg(path, QString::fromStdString(why));
        return false;
    }
    return true;
}

} // namespace

qsizetype SpokenText::ToSpoken(qsizetype original) const {
    const auto after =
        std::upper_bound(pieces.begin(), pieces.end(), original,
                         [](qsizetype at, const Piece &piece) { return at < piece.original; });
    if (after == pieces.begin())
        return original;
    const Piece &p = *std::prev(after);
    if (original < p.original + p.originalLength)
        return p.spoken;
    return original - (p.original + p.originalLength) + p.spoken + p.spokenLength;
}

WordSpan SpokenText::ToOriginal(WordSpan word) const {
    const qsizetype spokenEnd = word.start + std::max<qsizetype>(word.length, 0);
    // The start: a word beginning inside a replacement starts with its stretch.
    qsizetype start = word.start;
    auto after =
        std::upper_bound(pieces.begin(), pieces.end(), word.start,
                         [](qsizetype at, const Piece &piece) { return at < piece.spoken; });
    if (after != pieces.begin()) {
        const Piece &p = *std::prev(after);
        start = word.start < p.spoken + p.spokenLength
                    ? p.original
                    : word.start - (p.spoken + p.spokenLength) + p.original + p.originalLength;
    }
    // The end: one inside or at the end of a replacement ends with its stretch.
    qsizetype end = spokenEnd;
    after = std::lower_bound(pieces.begin(), pieces.end(), spokenEnd,
                             [](const Piece &piece, qsizetype at) { return piece.spoken < at; });
    if (after != pieces.begin()) {
        const Piece &p = *std::prev(after);
        end = spokenEnd <= p.spoken + p.spokenLength
                  ? p.original + p.originalLength
                  : spokenEnd - (p.spoken + p.spokenLength) + p.original + p.originalLength;
    }
    return {start, std::max(end, start) - start};
}

Pronunciations::Pronunciations(std::vector<PronunciationRule> rules) : rules_(std::move(rules)) {
}

QString Pronunciations::Fault(const PronunciationRule &rule) {
    if (rule.find.isEmpty())
        return QStringLiteral("there is nothing to find");
    if (!rule.language.isEmpty() && !IsLanguageTag(rule.language))
        return QStringLiteral("the language is \"all\" or a tag such as en or en-gb, not %1")
            .arg(Quoted(rule.language));
    if (!rule.pattern)
        return {};
    // The pattern judged as the user wrote it, so the place named is theirs.
    const QRegularExpression own(rule.find);
    if (!own.isValid())
        return QStringLiteral("the pattern is not valid: %1 at character %2")
            .arg(own.errorString())
            .arg(own.patternErrorOffset() + 1);
    const QRegularExpression used = Compile(rule);
    if (!used.isValid())
        return QStringLiteral("the pattern is not valid: %1").arg(used.errorString());
    return {};
}

bool Pronunciations::LanguageMatches(const QString &ruleLanguage, const QString &voiceLanguage) {
    if (ruleLanguage.isEmpty() ||
        ruleLanguage.compare(QLatin1String("all"), Qt::CaseInsensitive) == 0)
        return true;
    const auto normal = [](QString tag) { return tag.replace(u'_', u'-').toLower(); };
    const QString rule = normal(ruleLanguage);
    const QString voice = normal(voiceLanguage);
    return voice == rule || voice.startsWith(rule + u'-');
}

SpokenText Pronunciations::Apply(const QString &text, const QString &language) const {
    SpokenText spoken;
    struct Found {
        qsizetype end;
        std::size_t rule;
    };
    std::map<qsizetype, Found> taken; // by start
    const auto isFree = [&](qsizetype start, qsizetype end) {
        const auto next = taken.lower_bound(start);
        if (next != taken.end() && next->first < end)
            return false;
        return next == taken.begin() || std::prev(next)->second.end <= start;
    };
    for (std::size_t i = 0; i < rules_.size(); ++i) {
        const PronunciationRule &rule = rules_[i];
        const QString name = QStringLiteral("Rule %1 (%2)").arg(i + 1).arg(Quoted(rule.find));
        if (const QString fault = Fault(rule); !fault.isEmpty()) {
            spoken.problems << QStringLiteral("%1: %2; it was left out.").arg(name, fault);
            continue;
        }
        if (!LanguageMatches(rule.language, language))
            continue;
        const QRegularExpression expression = Compile(rule);
        // A word is a plain string: it never backtracks, nor reaches over a
        // line, so it is sought in the whole text at once.
        const bool word = !rule.pattern && !rule.find.contains(u'\n');
        QElapsedTimer spent;
        spent.start();
        // Patterns a stretch of lines at a time, so that one that takes too
        // long is stopped between stretches.
        for (qsizetype from = 0; from < text.size();) {
            const qsizetype end = word ? text.size() : StretchEnd(text, from);
            // Read in place, without a copy.
            const QString stretch = QString::fromRawData(text.constData() + from, end - from);
            QRegularExpressionMatchIterator it = expression.globalMatch(stretch);
            while (it.hasNext()) {
                const QRegularExpressionMatch match = it.next();
                const qsizetype start = from + match.capturedStart();
                const qsizetype stop = start + match.capturedLength();
                // An empty match would put the replacement between letters.
                if (stop > start && isFree(start, stop))
                    taken.emplace(start, Found{stop, i});
            }
            from = end;
            if (from < text.size() && spent.elapsed() > kRuleBudgetMs) {
                spoken.problems << QStringLiteral("%1: the pattern takes too long on this text; "
                                                  "it was left out from character %2 on.")
                                       .arg(name)
                                       .arg(from + 1);
                break;
            }
        }
    }
    qsizetype at = 0;
    spoken.pieces.reserve(taken.size());
    for (const auto &[start, found] : taken) {
        spoken.text += QStringView(text).sliced(at, start - at);
        const QString &say = rules_[found.rule].say;
        spoken.pieces.push_back({start, found.end - start, spoken.text.size(), say.size()});
        spoken.text += say;
        at = found.end;
    }
    if (taken.empty())
        spoken.text = text;
    else
        spoken.text += QStringView(text).sliced(at);
    return spoken;
}

std::shared_ptr<const Pronunciations> Pronunciations::InUse() {
    std::lock_guard lock(inUseMutex);
    if (!inUse) {
        PronunciationFile::Read read = PronunciationFile::Load(PronunciationFile::UserFile());
        for (const QString &problem : read.problems)
            qWarning("zavren-speech: %s", qPrintable(problem));
        inUse = std::make_shared<const Pronunciations>(std::move(read.rules));
    }
    return inUse;
}

void Pronunciations::Use(std::shared_ptr<const Pronunciations> list) {
    std::lock_guard lock(inUseMutex);
    inUse = list ? std::move(list) : std::make_shared<const Pronunciations>();
}

namespace PronunciationFile {

QString UserFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/zavren-speech/pronunciations.tsv");
}

Read Parse(const QByteArray &bytes, const QString &shownName) {
    Read read;
    read.opened = true;
    const QList<QByteArray> lines = bytes.split('\n');
    for (qsizetype n = 0; n < lines.size(); ++n) {
        QByteArray line = lines[n];
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.trimmed().isEmpty() || line.startsWith('#'))
            continue;
        const auto problem = [&](const QString &why) {
            read.problems << QStringLiteral("%1, line %2: %3; the line was skipped.")
                                 .arg(shownName)
                                 .arg(n + 1)
                                 .arg(why);
        };
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString decoded = utf8(line);
        if (utf8.hasError()) {
            problem(QStringLiteral("it is not UTF-8 text"));
            continue;
        }
        const QStringList fields = decoded.split(u'\t');
        if (fields.size() < 2 || fields.size() > 6) {
            problem(QStringLiteral("a rule has 2 to 6 columns separated by tabs, not %1")
                        .arg(fields.size()));
            continue;
        }
        PronunciationRule rule;
        rule.find = fields[0];
        rule.say = fields[1];
        if (rule.find.isEmpty()) {
            problem(QStringLiteral("there is nothing to find"));
            continue;
        }
        if (fields.size() > 2) {
            const QString &kind = fields[2];
            if (kind.compare(QLatin1String("pattern"), Qt::CaseInsensitive) == 0)
                rule.pattern = true;
            else if (kind.compare(QLatin1String("word"), Qt::CaseInsensitive) != 0) {
                problem(QStringLiteral("the third column says \"word\" or \"pattern\", not %1")
                            .arg(Quoted(kind)));
                continue;
            }
        }
        if (fields.size() > 3 && !ParseYesNo(fields[3], rule.wholeWord)) {
            problem(QStringLiteral("whole word (the fourth column) is \"yes\" or \"no\", not %1")
                        .arg(Quoted(fields[3])));
            continue;
        }
        if (fields.size() > 4 && !ParseYesNo(fields[4], rule.matchCase)) {
            problem(QStringLiteral("match case (the fifth column) is \"yes\" or \"no\", not %1")
                        .arg(Quoted(fields[4])));
            continue;
        }
        if (fields.size() > 5 &&
            fields[5].compare(QLatin1String("all"), Qt::CaseInsensitive) != 0) {
            if (!IsLanguageTag(fields[5])) {
                problem(QStringLiteral("the language (the sixth column) is \"all\" or a tag such "
                                       "as en or en-gb, not %1")
                            .arg(Quoted(fields[5])));
                continue;
            }
            rule.language = fields[5];
        }
        read.rules.push_back(std::move(rule));
    }
    return read;
}

Read Load(const QString &path) {
    QFile file(path);
    if (!file.exists()) {
        Read none;
        none.opened = true;
        return none;
    }
    Read failed;
    if (!file.open(QIODevice::ReadOnly)) {
        failed.problems << QStringLiteral("Cannot read %1: %2.").arg(path, file.errorString());
        return failed;
    }
    if (file.size() > kMaxFileBytes) {
        failed.problems << QStringLiteral("Cannot read %1: it is larger than %2 MB.")
                               .arg(path)
                               .arg(kMaxFileBytes >> 20);
        return failed;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        failed.problems << QStringLiteral("Cannot read %1: %2.").arg(path, file.errorString());
        return failed;
    }
    return Parse(bytes, path);
}

QByteArray Format(const std::vector<PronunciationRule> &rules) {
    QString text = kHeader;
    const auto yesNo = [](bool value) {
        return value ? QStringLiteral("yes") : QStringLiteral("no");
    };
    for (const PronunciationRule &rule : rules) {
        if (rule.find.isEmpty())
            continue;
        text += Field(rule.find) + u'\t' + Field(rule.say) + u'\t' +
                (rule.pattern ? QStringLiteral("pattern") : QStringLiteral("word")) + u'\t' +
                yesNo(rule.wholeWord) + u'\t' + yesNo(rule.matchCase) + u'\t' +
                (rule.language.isEmpty() ? QStringLiteral("all") : Field(rule.language)) + u'\n';
    }
    return text.toUtf8();
}

bool Save(const QString &path, const std::vector<PronunciationRule> &rules, QString &error) {
    return WriteBytes(path, Format(rules), true, error);
}

bool SaveUserList(const std::vector<PronunciationRule> &rules, QString &error, QString *keptAs,
                  const QString &path) {
    const Read before = Load(path);
    if (!before.opened) {
        error = before.problems.value(0) +
                QStringLiteral(" The list was not saved, so that file stays as it is.");
        return false;
    }
    if (!before.problems.isEmpty()) {
        // Its lines that could not be read are the user's too: kept as they were.
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            error = QStringLiteral("Cannot read %1: %2.").arg(path, file.errorString());
            return false;
        }
        const QByteArray bytes = file.readAll();
        QString backup = path + QStringLiteral(".broken");
        for (int n = 2; QFileInfo::exists(backup); ++n)
            backup = path + QStringLiteral(".broken-%1").arg(n);
        if (!WriteBytes(backup, bytes, false, error))
            return false;
        if (keptAs)
            *keptAs = backup;
    }
    return Save(path, rules, error);
}

} // namespace PronunciationFile
