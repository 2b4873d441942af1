#include "commandoptions.h"

#include "speech/speechfiles/audioformats.h"
#include "speech/voice/voicescale.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

int DefaultJobs() {
    return std::clamp(int(std::thread::hardware_concurrency()), 1, kMostJobs);
}

void DescribeOptions(QCommandLineParser &parser) {
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
                        "--format. chapters: write one file OUT with a chapter mark at each "
                        "(Ogg, Opus, FLAC, MP3 and M4B; WAV holds none). A text without sections "
                        "gives one part."),
         QStringLiteral("sections|chapters")},
        {QStringLiteral("split-at"),
         QStringLiteral("Start a part at every line that the regular expression REGEX "
                        "matches, such as ^Chapter , titled by that line: one file each "
                        "(as --split sections, the default) or a chapter each with --split "
                        "chapters."),
         QStringLiteral("REGEX")},
        {QStringLiteral("split-at-lines"),
         QStringLiteral("As --split-at, starting a part at each of the lines numbered LINES "
                        "(counting from 1), such as 1,40,112."),
         QStringLiteral("LINES")},
        {QStringLiteral("format"),
         QStringLiteral("The kind of audio file, by extension, where OUT is a folder: %1 "
                        "(default: ogg).")
             .arg(AudioExtensionsText()),
         QStringLiteral("EXT")},
        {QStringLiteral("pronunciations"),
         QStringLiteral("With --speak-to, say words as the list FILE (tab-separated, as "
                        "exported from the Pronunciations window) says, instead of your own "
                        "list."),
         QStringLiteral("FILE")},
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
                        "sentences (default: one for each processor).")
             .arg(kMostJobs),
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

std::optional<int> ParseOptions(QCommandLineParser &parser) {
    if (!parser.parse(QCoreApplication::arguments()))
        return Fail(parser.errorText().chopped(parser.errorText().endsWith(u'.') ? 1 : 0) +
                        QStringLiteral(" (see --help)"),
                    kExitUsage);
    if (parser.isSet(QStringLiteral("help-all")))
        parser.process(QCoreApplication::arguments()); // Qt's own options too; exits
    if (parser.isSet(QStringLiteral("help")))
        return PrintAll(parser.helpText());
    if (parser.isSet(QStringLiteral("version")))
        return PrintAll(QStringLiteral("%1 %2\n").arg(QCoreApplication::applicationName(),
                                                      QCoreApplication::applicationVersion()));
    return std::nullopt;
}

int Fail(const QString &message, int code) {
    const QByteArray line = (QStringLiteral("zavren-speech: ") + message + u'\n').toLocal8Bit();
    std::fwrite(line.constData(), 1, std::size_t(line.size()), stderr);
    std::fflush(stderr);
    return code;
}

bool Print(const QString &text, std::FILE *to) {
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

std::optional<std::int32_t> SliderValue(const QString &text) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok || value < VoiceScale::kLowest || value > VoiceScale::kHighest)
        return std::nullopt;
    return value;
}
