#include "speechbook.h"

#include "platform/pendingfile.h"
#include "platform/qt/nativename.h"
#include "speech/voice/speechtext.h"

#include <QRandomGenerator>
#include <algorithm>
#include <climits>
#include <system_error>

namespace {

// Long enough for a chapter's title; with the number and extension, well
// within the 255 bytes a name may have.
constexpr qsizetype kTitleBytes = 200;

// Adds a part, unless it would say nothing.
void AddPart(std::vector<SpeechPart> &parts, const QString &title, QStringView text) {
    if (SpeechText::HasSomethingToSay(text))
        parts.push_back({title, text.toString()});
}

// The parts starting at `starts` (offsets with their titles, in order).
std::vector<SpeechPart> Cut(const QString &text, const QList<DocumentSection> &starts,
                            const QString &wholeTitle) {
    std::vector<SpeechPart> parts;
    const qsizetype first = starts.isEmpty() ? text.size() : starts.front().offset;
    AddPart(parts, wholeTitle,
            QStringView(text).first(std::clamp<qsizetype>(first, 0, text.size())));
    for (qsizetype i = 0; i < starts.size(); ++i) {
        const qsizetype from = std::clamp<qsizetype>(starts[i].offset, 0, text.size());
        const qsizetype to = i + 1 < starts.size()
                                 ? std::clamp<qsizetype>(starts[i + 1].offset, from, text.size())
                                 : text.size();
        AddPart(parts, starts[i].title, QStringView(text).sliced(from, to - from));
    }
    // Nothing to say anywhere: the whole, for the writer to say so.
    if (parts.empty())
        parts.push_back({wholeTitle, text});
    return parts;
}

QString SafeTitle(const QString &title) {
    QString safe;
    for (const QChar c : title)
        safe += c.category() == QChar::Other_Control || QStringLiteral("/\\:*?\"<>|").contains(c)
                    ? u' '
                    : c;
    safe = safe.simplified();
    // File systems count a name's bytes, not its letters.
    while (safe.toUtf8().size() > kTitleBytes)
        safe.chop(safe.size() >= 2 && safe.back().isLowSurrogate() ? 2 : 1);
    // No hidden files, and none the system would trim.
    while (!safe.isEmpty() && (safe.front() == u'.' || safe.front() == u' '))
        safe.remove(0, 1);
    while (!safe.isEmpty() && (safe.back() == u'.' || safe.back() == u' '))
        safe.chop(1);
    return safe.isEmpty() ? QStringLiteral("Part") : safe;
}

std::filesystem::path NameIn(const std::filesystem::path &folder, const QString &name) {
    return folder / std::filesystem::path(name.toStdU16String());
}

QString Why(const std::error_code &code) {
    return QString::fromLocal8Bit(code.message());
}

// A part starts at every line (numbered from 1) that `starts` takes.
std::vector<SpeechPart> CutAtLines(const QString &text,
                                   const std::function<bool(int, QStringView)> &starts,
                                   const QString &wholeTitle) {
    QList<DocumentSection> found;
    qsizetype at = 0;
    for (int number = 1; at < text.size(); ++number) {
        qsizetype end = text.indexOf(u'\n', at);
        if (end < 0)
            end = text.size();
        QStringView line = QStringView(text).sliced(at, end - at);
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (starts(number, line))
            found.append({line.trimmed().toString(), 1, at});
        at = end + 1;
    }
    return Cut(text, found, wholeTitle);
}

} // namespace

std::vector<SpeechPart> SplitAtSections(const QString &text, const QList<DocumentSection> &sections,
                                        const QString &wholeTitle) {
    int top = INT_MAX;
    for (const DocumentSection &section : sections)
        top = std::min(top, section.level);
    QList<DocumentSection> chapters;
    for (const DocumentSection &section : sections)
        if (section.level == top)
            chapters.append(section);
    return Cut(text, chapters, wholeTitle);
}

std::vector<SpeechPart> SplitAtPattern(const QString &text, const QRegularExpression &pattern,
                                       const QString &wholeTitle) {
    return CutAtLines(
        text, [&](int, QStringView line) { return pattern.match(line.toString()).hasMatch(); },
        wholeTitle);
}

std::vector<SpeechPart> SplitAtLines(const QString &text, const QList<int> &lines,
                                     const QString &wholeTitle) {
    return CutAtLines(
        text, [&](int number, QStringView) { return lines.contains(number); }, wholeTitle);
}

QString PartFileName(int number, int count, const QString &title, const QString &extension) {
    const int width = std::max(2, int(QString::number(count).size()));
    return QStringLiteral("%1 - %2.%3")
        .arg(number, width, 10, QLatin1Char('0'))
        .arg(SafeTitle(title), extension);
}

void MarkChapters(SpeechFileJob &book, const std::vector<SpeechPart> &parts) {
    book.text.clear();
    book.chapters.clear();
    for (const SpeechPart &part : parts) {
        book.chapters.push_back({part.title, book.text.size()});
        book.text += part.text;
    }
}

QString WriteSpeechParts(const SpeechFileJob &part, const std::filesystem::path &folder,
                         const QString &extension, const std::vector<SpeechPart> &parts,
                         const std::function<bool(const SpeechFileProgress &)> &progress) {
    std::error_code code;
    const QString shownFolder = ShownPath(folder);
    const bool existed = std::filesystem::exists(folder, code);
    if (existed && !std::filesystem::is_directory(folder, code))
        return QStringLiteral("%1 is not a folder").arg(shownFolder);
    if (existed && !part.overwrite &&
        std::filesystem::directory_iterator(folder, code) != std::filesystem::directory_iterator())
        return QStringLiteral("%1 is not empty (--overwrite replaces the parts in it)")
            .arg(shownFolder);
    if (code)
        return QStringLiteral("Cannot read %1: %2").arg(shownFolder, Why(code));

    // Every name first: no part may replace the text or a folder.
    std::vector<QString> names;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        names.push_back(PartFileName(int(i + 1), int(parts.size()), parts[i].title, extension));
        SpeechFileJob job = part;
        job.path = NameIn(folder, names.back());
        for (const std::filesystem::path &out : SpeechFileOutputs(job)) {
            if (!part.source.empty() && SameFile(out, part.source))
                return QStringLiteral("%1 is the text being spoken; choose another folder")
                    .arg(ShownPath(out));
            if (std::filesystem::is_directory(out, code))
                return QStringLiteral("%1 is a folder").arg(ShownPath(out));
        }
    }

    if (!existed && !std::filesystem::create_directory(folder, code))
        return QStringLiteral("Cannot create the folder %1: %2").arg(shownFolder, Why(code));
    std::filesystem::path staging;
    for (int attempt = 0; attempt < 100 && staging.empty(); ++attempt) {
        const std::filesystem::path tried = NameIn(
            folder, QStringLiteral(".zavren-speech-%1")
                        .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
        if (std::filesystem::create_directory(tried, code))
            staging = tried;
        else if (code)
            break;
    }
    // However it ends, nothing is left but the finished parts.
    struct Tidy {
        std::filesystem::path staging, folder;
        bool existed, done = false;
        ~Tidy() {
            std::error_code ignored;
            if (!staging.empty())
                std::filesystem::remove_all(staging, ignored);
            if (!existed && !done)
                std::filesystem::remove(folder, ignored); // only while empty
        }
    } tidy{staging, folder, existed};
    if (staging.empty())
        return QStringLiteral("Cannot write to %1: %2")
            .arg(shownFolder, code ? Why(code) : QStringLiteral("no free temporary name"));

    qsizetype total = 0;
    for (const SpeechPart &p : parts)
        total += p.text.size();
    qsizetype before = 0;
    std::vector<std::filesystem::path> written;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        SpeechFileJob job = part;
        job.text = parts[i].text;
        job.path = NameIn(staging, names[i]);
        job.overwrite = false;
        job.tags.title = parts[i].title;
        job.tags.album = part.tags.album.isEmpty() ? part.tags.title : part.tags.album;
        job.tags.track = int(i + 1);
        const QString error = WriteSpeechFile(job, [&](const SpeechFileProgress &p) {
            SpeechFileProgress whole = p;
            whole.reached = before + p.reached;
            whole.total = total;
            return !progress || progress(whole);
        });
        // The hidden folder means nothing to the reader: the name asked for.
        if (!error.isEmpty())
            return QStringLiteral("Part %1 of %2: %3; no part was written")
                .arg(i + 1)
                .arg(parts.size())
                .arg(QString(error).replace(ShownPath(staging), shownFolder));
        for (const std::filesystem::path &out : SpeechFileOutputs(job))
            written.push_back(out.filename());
        before += parts[i].text.size();
    }

    std::vector<std::filesystem::path> placed;
    for (const std::filesystem::path &name : written) {
        std::filesystem::rename(staging / name, folder / name, code);
        if (code) {
            for (const std::filesystem::path &done : placed) {
                std::error_code ignored;
                std::filesystem::remove(folder / done, ignored);
            }
            return QStringLiteral("Cannot write %1: %2").arg(ShownPath(folder / name), Why(code));
        }
        placed.push_back(name);
    }
    tidy.done = true;
    return {};
}
