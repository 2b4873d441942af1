#include "commandline.h"

#include "app/documentopen.h"
#include "app/documentvoice.h"
#include "app/frmmain.h"
#include "app/readerservice.h"
#include "app/saycommand.h"
#include "app/speechprogram.h"
#include "app/textcommands.h"
#include "app/textfile.h"
#include "platform/appidentity.h"
#include "platform/qt/nativename.h"
#include "platform/terminal.h"
#include "speech/speechbook.h"
#include "speech/speechengine.h"
#include "speech/speechfilewriter.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QRegularExpression>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace {

constexpr int kFailed = 1;
constexpr int kUsage = 2;

// The options that mean no window; everything else opens one.
constexpr const char *kNoWindowOptions[] = {
    "--speak-to", "--list-voices", "--help",          "-h",    "--help-all", "-?", "--version",
    "-v",         "--say",         "--say-selection", "--stop"};

volatile std::sig_atomic_t stopAsked = 0;

void OnStop(int) {
    stopAsked = 1;
}

// Voices reading at once for --speak-to: one a processor unless told.
constexpr int kMostJobs = 64;
int DefaultJobs() {
    return std::clamp(int(std::thread::hardware_concurrency()), 1, kMostJobs);
}

void Describe(QCommandLineParser &parser) {
    parser.setApplicationDescription(
        QStringLiteral("A text-to-speech editor. Opens the speech window, with FILE in it if "
                       "given; with --speak-to, writes FILE's speech to an audio file instead."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(
        QStringLiteral("file"),
        QStringLiteral("Text file or document (EPUB, PDF, DOCX, ODT, HTML, Markdown, FB2) to "
                       "open, or to speak with --speak-to (- reads standard input); several with "
                       "--speak-to into a folder."),
        QStringLiteral("[FILE...]"));
    parser.addOptions({
        {QStringLiteral("speak-to"),
         QStringLiteral("Write the speech of FILE to OUT without opening a window. The kind of "
                        "audio follows OUT's extension: %1. Where OUT is a folder (ends in / or "
                        "is one), each FILE given is written into it under its own name, with "
                        "the extension from --format; a FILE that fails is reported and the "
                        "others go on.")
             .arg(AudioExtensionsText()),
         QStringLiteral("OUT")},
        {QStringLiteral("voice"),
         QStringLiteral("Speak with voice NAME: an identifier, language or name as listed by "
                        "--list-voices."),
         QStringLiteral("NAME")},
        {QStringLiteral("pitch"), QStringLiteral("Pitch, 84 to 338, as on the Pitch slider."),
         QStringLiteral("N")},
        {QStringLiteral("speed"), QStringLiteral("Speed, 84 to 338, as on the Speed slider."),
         QStringLiteral("N")},
        {QStringLiteral("split"),
         QStringLiteral("sections: write one file per chapter (the document's top sections) "
                        "into the folder OUT, named \"NN - Title\" with the extension from "
                        "--format. A text without sections gives one file."),
         QStringLiteral("sections")},
        {QStringLiteral("split-at"),
         QStringLiteral("As --split, starting a part at every line that the regular expression "
                        "REGEX matches, such as ^Chapter ."),
         QStringLiteral("REGEX")},
        {QStringLiteral("format"),
         QStringLiteral("The kind of audio file, by extension, where OUT is a folder: %1 "
                        "(default: ogg).")
             .arg(AudioExtensionsText()),
         QStringLiteral("EXT")},
        {QStringLiteral("overwrite"),
         QStringLiteral("Replace OUT (and subtitles) if they exist; with --split, write into a "
                        "folder that holds files already.")},
        {QStringLiteral("srt"),
         QStringLiteral("Also write subtitles beside OUT: a .srt with a cue per sentence.")},
        {QStringLiteral("lrc"),
         QStringLiteral("Also write lyrics beside OUT: a .lrc with every word timed.")},
        {QStringLiteral("title"),
         QStringLiteral("The title tag, instead of the one the document gives (EPUB). With "
                        "--split, the book's title: the album tag unless --album gives one, "
                        "each part's title being its chapter's."),
         QStringLiteral("TEXT")},
        {QStringLiteral("author"),
         QStringLiteral("The author, as the artist tag, instead of the one the document gives "
                        "(EPUB)."),
         QStringLiteral("TEXT")},
        {QStringLiteral("album"),
         QStringLiteral("The album tag (with --split, instead of the book's title)."),
         QStringLiteral("TEXT")},
        {QStringLiteral("jobs"),
         QStringLiteral("Voices that read at once, 1 to %1, each a part of the text cut between "
                        "sentences (default: one for each processor, here %2).")
             .arg(kMostJobs)
             .arg(DefaultJobs()),
         QStringLiteral("N")},
        {QStringLiteral("progress"),
         QStringLiteral("Report progress on standard output as lines \"progress DONE TOTAL\" "
                        "(characters of the text).")},
        {QStringLiteral("list-voices"),
         QStringLiteral("List the voices: identifier, language and name, tab-separated.")},
        {QStringLiteral("say"),
         QStringLiteral("Say TEXT with the running editor's voice, or, with none running, "
                        "without a window in the voice, pitch and speed last used."),
         QStringLiteral("TEXT")},
        {QStringLiteral("say-selection"),
         QStringLiteral("As --say, for the text selected in any program (the primary selection "
                        "on X11, else the clipboard).")},
        {QStringLiteral("stop"), QStringLiteral("Stop what --say or the running editor says.")},
    });
}

bool HasDisplay() {
    return qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ||
           qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
}

int Fail(const QString &message, int code = kFailed) {
    const QByteArray line = (QStringLiteral("zavren-speech: ") + message + u'\n').toLocal8Bit();
    std::fwrite(line.constData(), 1, std::size_t(line.size()), stderr);
    std::fflush(stderr);
    return code;
}

// Writes and flushes; false when the text did not all get out.
bool Print(const QString &text, std::FILE *to = stdout) {
    const QByteArray bytes = text.toLocal8Bit();
    const bool written = std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), to) ==
                         std::size_t(bytes.size());
    return std::fflush(to) == 0 && written && !std::ferror(to);
}

int CannotWriteOutput() {
    return Fail(QStringLiteral("Cannot write to the standard output: %1")
                    .arg(QString::fromLocal8Bit(std::strerror(errno))));
}

int PrintAll(const QString &text) {
    return Print(text) ? 0 : CannotWriteOutput();
}

// Parses the arguments, answering --help and --version itself so that their
// output is checked. Empty to go on; otherwise the exit code.
std::optional<int> Parse(QCommandLineParser &parser) {
    if (!parser.parse(QCoreApplication::arguments()))
        return Fail(parser.errorText().chopped(parser.errorText().endsWith(u'.') ? 1 : 0) +
                        QStringLiteral(" (see --help)"),
                    kUsage);
    if (parser.isSet(QStringLiteral("help-all")))
        parser.process(QCoreApplication::arguments()); // Qt's own options too; exits
    if (parser.isSet(QStringLiteral("help")))
        return PrintAll(parser.helpText());
    if (parser.isSet(QStringLiteral("version")))
        return PrintAll(QStringLiteral("%1 %2\n").arg(QCoreApplication::applicationName(),
                                                      QCoreApplication::applicationVersion()));
    return std::nullopt;
}

int ListVoices() {
    const std::shared_ptr<SpeechEngine> engine = SpeechEngine::Acquire();
    if (const QString error = engine->StartupError(); !error.isEmpty())
        return Fail(error);
    QString list;
    for (const SpeechVoice &voice : engine->Voices())
        list += QStringLiteral("%1\t%2\t%3\n")
                    .arg(QString::fromUtf8(voice.identifier), voice.language, voice.name);
    return PrintAll(list);
}

// The bytes given for `--name`, as main() got them: the last one, as the
// parser takes it.
std::optional<std::string> RawValue(int argc, char *argv[], std::string_view name) {
    std::optional<std::string> value;
    for (int i = 1; i < argc && argv[i]; ++i) {
        const std::string_view arg(argv[i]);
        if (arg == "--")
            break;
        if (!arg.starts_with("--") || arg.substr(2, name.size()) != name)
            continue;
        const std::string_view rest = arg.substr(2 + name.size());
        if (rest.empty() && i + 1 < argc && argv[i + 1])
            value = argv[++i];
        else if (rest.starts_with('='))
            value = std::string(rest.substr(1));
    }
    return value;
}

// A voice by identifier, language or name, in that order, ignoring case.
std::optional<QByteArray> FindVoice(const std::vector<SpeechVoice> &voices, const QString &wanted) {
    const auto find = [&](auto key) -> std::optional<QByteArray> {
        for (const SpeechVoice &voice : voices)
            if (key(voice).compare(wanted, Qt::CaseInsensitive) == 0)
                return voice.identifier;
        return std::nullopt;
    };
    if (auto found = find([](const SpeechVoice &v) { return QString::fromUtf8(v.identifier); }))
        return found;
    if (auto found = find([](const SpeechVoice &v) { return v.language; }))
        return found;
    return find([](const SpeechVoice &v) { return v.name; });
}

std::optional<std::int32_t> SliderValue(const QString &text) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok || value < VoiceScale::kLowest || value > VoiceScale::kHighest)
        return std::nullopt;
    return value;
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
            if (lines_ && !Print(QStringLiteral("progress %1 %2\n").arg(reached).arg(total)))
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
                kUsage);
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
    return failed == 0 ? 0 : kFailed;
}

int SpeakTo(const QCommandLineParser &parser, int argc, char *argv[]) {
    const QStringList files = parser.positionalArguments();
    const bool split =
        parser.isSet(QStringLiteral("split")) || parser.isSet(QStringLiteral("split-at"));
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
                    kUsage);
    if (batch && files.contains(QStringLiteral("-")))
        return Fail(QStringLiteral("The standard input has no name to write it under in a "
                                   "folder: give OUT a file name"),
                    kUsage);
    if (batch && parser.isSet(QStringLiteral("title")))
        return Fail(QStringLiteral("--title names one file; in a folder each file takes its "
                                   "document's title or its name"),
                    kUsage);
    job.overwrite = parser.isSet(QStringLiteral("overwrite"));
    job.srt = parser.isSet(QStringLiteral("srt"));
    job.lrc = parser.isSet(QStringLiteral("lrc"));
    const QString extension = FormatExtension(parser);
    if (extension.isEmpty())
        return FormatRefused(parser);
    if (parser.isSet(QStringLiteral("split")) &&
        parser.value(QStringLiteral("split")) != QLatin1String("sections"))
        return Fail(QStringLiteral("--split takes \"sections\"; --split-at cuts at a pattern"),
                    kUsage);
    if (parser.isSet(QStringLiteral("split")) && parser.isSet(QStringLiteral("split-at")))
        return Fail(QStringLiteral("--split and --split-at cannot go together"), kUsage);
    const QRegularExpression pattern(parser.value(QStringLiteral("split-at")));
    if (!pattern.isValid())
        return Fail(
            QStringLiteral("--split-at: the pattern is not valid: %1").arg(pattern.errorString()),
            kUsage);
    if (!split && !batch && !AudioFormatForPath(ShownPath(job.path)))
        return Fail(QStringLiteral("Cannot tell the kind of audio file from the name %1: it "
                                   "should end in %2")
                        .arg(ShownPath(job.path), AudioExtensionsText()),
                    kUsage);
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
                        kUsage);
        (option == QLatin1String("pitch") ? job.pitch : job.speed) = *value;
    }
    job.jobs = DefaultJobs();
    if (parser.isSet(QStringLiteral("jobs"))) {
        bool number = false;
        job.jobs = parser.value(QStringLiteral("jobs")).toInt(&number);
        if (!number || job.jobs < 1 || job.jobs > kMostJobs)
            return Fail(QStringLiteral("--jobs takes a number from 1 to %1").arg(kMostJobs),
                        kUsage);
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
                kUsage);
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
        const std::vector<SpeechPart> parts = parser.isSet(QStringLiteral("split"))
                                                  ? SplitAtSections(job.text, input.sections, whole)
                                                  : SplitAtPattern(job.text, pattern, whole);
        const std::filesystem::path folder = job.path;
        return WriteResult(WriteSpeechParts(job, folder, extension, parts, progress), shown);
    }
    return WriteResult(WriteSpeechFile(job, progress), shown);
}

int RunWithoutWindow(int argc, char *argv[]) {
    // Only reading the selection needs the desktop.
    const bool selection = std::any_of(argv + 1, argv + argc, [](const char *arg) {
        return arg && std::string_view(arg) == "--say-selection";
    });
    if (selection && !HasDisplay())
        return Fail(
            QStringLiteral("--say-selection needs a desktop session: no display was found"));
    const std::unique_ptr<QCoreApplication> application =
        selection ? std::make_unique<QGuiApplication>(argc, argv)
                  : std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zavren-speech"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(AppIdentity::kVersion));
    QCommandLineParser parser;
    Describe(parser);
    if (const std::optional<int> done = Parse(parser))
        return *done;
    if (parser.isSet(QStringLiteral("list-voices")))
        return ListVoices();
    if (parser.isSet(QStringLiteral("say")) || parser.isSet(QStringLiteral("say-selection")) ||
        parser.isSet(QStringLiteral("stop")))
        return RunSayCommand(parser);
    return SpeakTo(parser, argc, argv);
}

} // namespace

bool WantsNoWindow(int argc, char *argv[]) {
    for (int i = 1; i < argc && argv[i]; ++i) {
        const std::string_view arg(argv[i]);
        if (arg == "--")
            break;
        for (const char *option : kNoWindowOptions)
            if (arg == option || (arg.starts_with(option) && arg.size() > std::strlen(option) &&
                                  arg[std::strlen(option)] == '='))
                return true;
    }
    return false;
}

void OpenAtStart(frmMain &window, const QString &path) {
    if (auto *text = window.findChild<TextCommands *>())
        text->OpenPath(path);
}

int RunZavrenSpeech(int argc, char *argv[]) {
    if (WantsNoWindow(argc, argv))
        return RunWithoutWindow(argc, argv);

    QApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QString::fromLatin1(AppIdentity::kVersion));
    QCommandLineParser parser;
    Describe(parser);
    if (const std::optional<int> done = Parse(parser))
        return *done;

    SpeechProgram program;
    frmMain &window = program.Window();
    // Other programs may have the window's voice say things (--say).
    const std::unique_ptr<ReaderService> service = OfferEditorVoice(window);
    // The file's refusal, if any, comes before the window, which then shows
    // its welcome text.
    if (const QStringList files = parser.positionalArguments(); !files.isEmpty())
        OpenAtStart(window, files.front());
    window.show();
    return app.exec();
}
