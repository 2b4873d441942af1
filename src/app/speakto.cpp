#include "speakto.h"

#include "app/commandoptions.h"
#include "app/documentopen.h"
#include "app/documentvoice.h"
#include "app/textfile.h"
#include "app/voicechoice.h"
#include "platform/qt/nativename.h"
#include "platform/terminal.h"
#include "speech/speechfiles/progressline.h"
#include "speech/speechfiles/speechbook.h"
#include "speech/speechfiles/speechfilewriter.h"
#include "speech/voice/pronunciations.h"
#include "speech/voice/speechengine.h"

#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

namespace {

volatile std::sig_atomic_t stopAsked = 0;

void OnStop(int) {
    stopAsked = 1;
}

std::optional<QString> ReadStandardInput(QString &error) {
    std::string bytes;
    char buffer[1 << 16];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0) {
        bytes.append(buffer, n);
        if (bytes.size() > kMaxTextFileBytes) {
            error = QStringLiteral("The standard input holds more than %1 MB")
                        .arg(kMaxTextFileBytes >> 20);
            return std::nullopt;
        }
    }
    if (std::ferror(stdin)) {
        error = QStringLiteral("Cannot read the standard input: %1")
                    .arg(QString::fromLocal8Bit(std::strerror(errno)));
        return std::nullopt;
    }
    std::optional<QString> text = DecodeTextFile(bytes);
    if (!text)
        error = QStringLiteral("Cannot decode the standard input");
    return text;
}

// A text to speak, as read from a file or the standard input.
struct Input {
    QString text;
    QList<DocumentSection> sections;
    QString language;
    QString title; // as the document names itself
    QString author;
    std::filesystem::path source; // empty for the standard input
    QString error;                // why it could not be read
};

Input ReadInput(const QString &input) {
    Input read;
    if (input == QLatin1String("-")) {
        std::optional<QString> text = ReadStandardInput(read.error);
        if (text)
            read.text = std::move(*text);
        return read;
    }
    const FoundTextFile file = FindTextFile(input);
    if (file.Ambiguous()) {
        read.error = QStringLiteral("%1: The name is not valid UTF-8, and %2 files in its folder "
                                    "read the same way; rename the file to speak it")
                         .arg(input)
                         .arg(qulonglong(file.sameNames));
        return read;
    }
    if (!file.Found()) {
        read.error = QStringLiteral("%1: File does not exist").arg(input);
        return read;
    }
    OpenedFile opened = ReadFileToOpen(std::filesystem::path(file.native), file.shown);
    if (!opened.refusal.isEmpty()) {
        read.error = opened.refusal;
    } else if (!opened.text) {
        read.error = QStringLiteral("%1: Cannot read the file (it must be a readable text file of "
                                    "at most %2 MB)")
                         .arg(input)
                         .arg(kMaxTextFileBytes >> 20);
    } else {
        read.text = std::move(*opened.text);
        read.sections = std::move(opened.sections);
        read.language = std::move(opened.language);
        read.title = std::move(opened.title);
        read.author = std::move(opened.author);
        read.source = file.native;
    }
    return read;
}

// Progress as --progress lines and, on a terminal, a line of its own on
// standard error; the callback says whether to go on.
class ProgressShown {
public:
    ProgressShown(const QCommandLineParser &parser, QString name)
        : lines_(parser.isSet(QStringLiteral("progress"))), terminal_(StandardErrorIsTerminal()),
          name_(std::move(name)) {
        clock_.start();
    }
    ~ProgressShown() { End(); }
    // Ends the terminal's progress line.
    void End() {
        if (terminal_ && !ended_)
            Print(QStringLiteral("\n"), stderr);
        ended_ = true;
    }
    bool operator()(qsizetype reached, qsizetype total) {
        const bool done = reached >= total;
        if ((done && !doneShown_) || clock_.elapsed() - shownAt_ >= 200) {
            doneShown_ = done;
            shownAt_ = clock_.elapsed();
            // Whoever reads the lines has gone: nobody is waiting for the file.
            if (lines_ && !Print(QString::fromLatin1(ProgressLine({reached, total}))))
                outputLost_ = true;
            if (terminal_) {
                const double fraction = total > 0 ? double(reached) / double(total) : 1;
                Print(QStringLiteral("\r%1: %2%  %3\x1b[K")
                          .arg(name_)
                          .arg(int(fraction * 100))
                          .arg(TimeLeftText(clock_.elapsed(), fraction)),
                      stderr);
            }
        }
        return stopAsked == 0 && !outputLost_;
    }
    bool OutputLost() const { return outputLost_; }
    // A message on its own line, clear of the terminal's progress line.
    void Say(const QString &message) {
        if (terminal_)
            Print(QStringLiteral("\r\x1b[K"), stderr);
        Fail(message);
    }

private:
    bool lines_, terminal_;
    QString name_;
    QElapsedTimer clock_;
    qint64 shownAt_ = -1000;
    bool doneShown_ = false;
    bool outputLost_ = false;
    bool ended_ = false;
};

// The extension --format asks for, or empty when it names no kind of audio.
QString FormatExtension(const QCommandLineParser &parser) {
    const QString wanted = parser.isSet(QStringLiteral("format"))
                               ? parser.value(QStringLiteral("format")).toLower()
                               : QStringLiteral("ogg");
    const QString extension = wanted.startsWith(u'.') ? wanted.mid(1) : wanted;
    return AudioFormatForPath(QStringLiteral("x.") + extension) ? extension : QString();
}

int FormatRefused(const QCommandLineParser &parser) {
    return Fail(QStringLiteral("--format %1 is no kind of audio file this program writes: %2")
                    .arg(parser.value(QStringLiteral("format")), AudioExtensionsText()),
                kExitUsage);
}

int WriteResult(const QString &error, ProgressShown &shown) {
    shown.End();
    // A stop that came once everything was in place changes nothing.
    if (!error.isEmpty() && shown.OutputLost())
        return CannotWriteOutput();
    if (!error.isEmpty())
        return Fail(stopAsked ? QStringLiteral("Stopped; nothing was written") : error);
    return 0;
}

// One audio file per input, in `folder`, named as the input with
// `extension`. A failing input is reported and the others go on; exit 0 only
// when every one was written.
int SpeakBatch(const QCommandLineParser &parser, const SpeechFileJob &base,
               const std::filesystem::path &folder, const QString &extension,
               const QStringList &files, const std::vector<SpeechVoice> &voices, bool voiceAsked) {
    std::error_code code;
    if (!std::filesystem::is_directory(folder, code) &&
        !std::filesystem::create_directory(folder, code))
        return Fail(QStringLiteral("Cannot create the folder %1: %2")
                        .arg(ShownPath(folder), QString::fromLocal8Bit(code.message())));
    std::signal(SIGINT, OnStop);
    std::signal(SIGTERM, OnStop);

    int failed = 0;
    std::vector<Input> inputs;
    std::vector<std::filesystem::path> outputs;
    qsizetype total = 0;
    for (const QString &file : files) {
        Input input = ReadInput(file);
        std::filesystem::path out = folder / input.source.stem();
        out += (u'.' + extension).toStdU16String();
        if (input.error.isEmpty() &&
            std::find(outputs.begin(), outputs.end(), out) != outputs.end())
            input.error = QStringLiteral("%1: Another input is written to %2 already; rename one")
                              .arg(file, ShownPath(out));
        if (!input.error.isEmpty()) {
            Fail(input.error);
            ++failed;
            continue;
        }
        total += input.text.size();
        inputs.push_back(std::move(input));
        outputs.push_back(std::move(out));
    }

    ProgressShown shown(parser, ShownPath(folder));
    qsizetype before = 0;
    for (std::size_t i = 0; i < inputs.size() && !stopAsked && !shown.OutputLost(); ++i) {
        Input &input = inputs[i];
        SpeechFileJob job = base;
        job.text = std::move(input.text);
        job.source = input.source;
        job.path = outputs[i];
        if (!voiceAsked)
            if (QByteArray voice = VoiceForLanguage(voices, input.language); !voice.isEmpty())
                job.voice = std::move(voice);
        job.tags.title =
            input.title.isEmpty() ? ShownPath(input.source.stem()) : std::move(input.title);
        if (!parser.isSet(QStringLiteral("author")))
            job.tags.artist = std::move(input.author);
        const QString error = WriteSpeechFile(
            job, [&](const SpeechFileProgress &p) { return shown(before + p.reached, total); });
        before += job.text.size();
        if (!error.isEmpty() && !stopAsked && !shown.OutputLost()) {
            shown.Say(QStringLiteral("%1: %2").arg(ShownPath(input.source), error));
            ++failed;
        }
    }
    shown.End();
    if (shown.OutputLost())
        return CannotWriteOutput();
    if (stopAsked)
        return Fail(QStringLiteral("Stopped; the files finished before stay"));
    return failed == 0 ? 0 : kExitFailed;
}

} // namespace

int SpeakTo(const QCommandLineParser &parser, int argc, char *argv[]) {
    const QStringList files = parser.positionalArguments();
    const bool split = parser.isSet(QStringLiteral("split")) ||
                       parser.isSet(QStringLiteral("split-at")) ||
                       parser.isSet(QStringLiteral("split-at-lines"));
    // Chapters go into one file OUT; the other parts into the folder OUT.
    const bool chapters = parser.value(QStringLiteral("split")) == QLatin1String("chapters");
    SpeechFileJob job;
    const QString out = parser.value(QStringLiteral("speak-to"));
    job.path = ArgumentPath(RawValue(argc, argv, "speak-to").value_or(std::string()), out);
    std::error_code code;
    // Into a folder: OUT says so with its slash, or is one.
    const bool batch =
        !split && (out.endsWith(u'/') || std::filesystem::is_directory(job.path, code));
    if (files.isEmpty() || (files.size() > 1 && !batch))
        return Fail(QStringLiteral("--speak-to needs one text file to speak, or - for the "
                                   "standard input; several go into a folder, OUT ending in / "
                                   "(see --help)"),
                    kExitUsage);
    if (batch && files.contains(QStringLiteral("-")))
        return Fail(QStringLiteral("The standard input has no name to write it under in a "
                                   "folder: give OUT a file name"),
                    kExitUsage);
    if (batch && parser.isSet(QStringLiteral("title")))
        return Fail(QStringLiteral("--title names one file; in a folder each file takes its "
                                   "document's title or its name"),
                    kExitUsage);
    job.overwrite = parser.isSet(QStringLiteral("overwrite"));
    job.srt = parser.isSet(QStringLiteral("srt"));
    job.lrc = parser.isSet(QStringLiteral("lrc"));
    const QString extension = FormatExtension(parser);
    if (extension.isEmpty())
        return FormatRefused(parser);
    if (parser.isSet(QStringLiteral("split")) && !chapters &&
        parser.value(QStringLiteral("split")) != QLatin1String("sections"))
        return Fail(QStringLiteral("--split takes \"sections\" (a file each) or \"chapters\" (one "
                                   "file with chapter marks); --split-at cuts at a pattern"),
                    kExitUsage);
    if (parser.isSet(QStringLiteral("split-at")) && parser.isSet(QStringLiteral("split-at-lines")))
        return Fail(QStringLiteral("--split-at and --split-at-lines cannot go together"),
                    kExitUsage);
    QList<int> lines;
    for (const QString &number :
         parser.value(QStringLiteral("split-at-lines")).split(u',', Qt::SkipEmptyParts)) {
        bool ok = false;
        lines.append(number.trimmed().toInt(&ok));
        if (!ok || lines.back() < 1)
            return Fail(QStringLiteral("--split-at-lines takes line numbers from 1, such as "
                                       "1,40,112"),
                        kExitUsage);
    }
    const QRegularExpression pattern(parser.value(QStringLiteral("split-at")));
    if (!pattern.isValid())
        return Fail(
            QStringLiteral("--split-at: the pattern is not valid: %1").arg(pattern.errorString()),
            kExitUsage);
    if ((!split || chapters) && !batch && !AudioFormatForPath(ShownPath(job.path)))
        return Fail(QStringLiteral("Cannot tell the kind of audio file from the name %1: it "
                                   "should end in %2")
                        .arg(ShownPath(job.path), AudioExtensionsText()),
                    kExitUsage);
    for (const char *name : {"pitch", "speed"}) {
        const QString option = QString::fromLatin1(name);
        if (!parser.isSet(option))
            continue;
        const std::optional<std::int32_t> value = SliderValue(parser.value(option));
        if (!value)
            return Fail(QStringLiteral("--%1 takes a number from %2 to %3")
                            .arg(option)
                            .arg(VoiceScale::kLowest)
                            .arg(VoiceScale::kHighest),
                        kExitUsage);
        (option == QLatin1String("pitch") ? job.pitch : job.speed) = *value;
    }
    job.jobs = DefaultJobs();
    if (parser.isSet(QStringLiteral("jobs"))) {
        bool number = false;
        job.jobs = parser.value(QStringLiteral("jobs")).toInt(&number);
        if (!number || job.jobs < 1 || job.jobs > kMostJobs)
            return Fail(QStringLiteral("--jobs takes a number from 1 to %1").arg(kMostJobs),
                        kExitUsage);
    }

    if (parser.isSet(QStringLiteral("pronunciations"))) {
        const QString list = parser.value(QStringLiteral("pronunciations"));
        if (!QFileInfo::exists(list))
            return Fail(QStringLiteral("--pronunciations: there is no file %1").arg(list),
                        kExitUsage);
        PronunciationFile::Read read = PronunciationFile::Load(list);
        if (!read.opened)
            return Fail(read.problems.value(0));
        // The lines that can be read are used; the others are named.
        for (const QString &problem : read.problems)
            Fail(problem);
        Pronunciations::Use(std::make_shared<const Pronunciations>(std::move(read.rules)));
    }

    const std::shared_ptr<SpeechEngine> engine = SpeechEngine::Acquire();
    if (const QString error = engine->StartupError(); !error.isEmpty())
        return Fail(error);
    const bool voiceAsked = parser.isSet(QStringLiteral("voice"));
    if (voiceAsked) {
        const QString wanted = parser.value(QStringLiteral("voice"));
        const std::optional<QByteArray> voice = FindVoice(engine->Voices(), wanted);
        if (!voice)
            return Fail(
                QStringLiteral("There is no voice \"%1\" (--list-voices lists them)").arg(wanted),
                kExitUsage);
        job.voice = *voice;
    }

    if (batch) {
        job.tags.artist = parser.value(QStringLiteral("author"));
        job.tags.album = parser.value(QStringLiteral("album"));
        return SpeakBatch(parser, job, job.path, extension, files, engine->Voices(), voiceAsked);
    }

    Input input = ReadInput(files.front());
    if (!input.error.isEmpty())
        return Fail(input.error);
    job.text = std::move(input.text);
    job.source = input.source;
    // A document read in the voice of its language, unless one was asked for.
    if (!voiceAsked)
        if (QByteArray voice = VoiceForLanguage(engine->Voices(), input.language); !voice.isEmpty())
            job.voice = std::move(voice);

    // The options' tags win over what the document says.
    const auto tag = [&](const char *option, const QString &fromDocument) {
        const QString name = QString::fromLatin1(option);
        return parser.isSet(name) ? parser.value(name) : fromDocument;
    };
    job.tags.title = tag("title", input.title);
    job.tags.artist = tag("author", input.author);
    job.tags.album = tag("album", QString());

    // Ctrl+C, or the window cancelling, ends the writing cleanly: the files
    // under way are removed.
    std::signal(SIGINT, OnStop);
    std::signal(SIGTERM, OnStop);

    ProgressShown shown(parser, ShownPath(job.path));
    const auto progress = [&](const SpeechFileProgress &p) { return shown(p.reached, p.total); };
    if (split) {
        if (job.tags.title.isEmpty())
            job.tags.title =
                input.source.empty() ? QStringLiteral("Speech") : ShownPath(input.source.stem());
        const QString whole = job.tags.title;
        const std::vector<SpeechPart> parts =
            parser.isSet(QStringLiteral("split-at")) ? SplitAtPattern(job.text, pattern, whole)
            : parser.isSet(QStringLiteral("split-at-lines"))
                ? SplitAtLines(job.text, lines, whole)
                : SplitAtSections(job.text, input.sections, whole);
        if (chapters) {
            MarkChapters(job, parts);
            return WriteResult(WriteSpeechFile(job, progress), shown);
        }
        const std::filesystem::path folder = job.path;
        return WriteResult(WriteSpeechParts(job, folder, extension, parts, progress), shown);
    }
    return WriteResult(WriteSpeechFile(job, progress), shown);
}
