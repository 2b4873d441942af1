#include "commandline.h"

#include "app/commandoptions.h"
#include "app/frmmain.h"
#include "app/readerservice.h"
#include "app/saycommand.h"
#include "app/speakto.h"
#include "app/speechprogram.h"
#include "app/textcommands.h"
#include "app/voicechoice.h"
#include "platform/appidentity.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QGuiApplication>
#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>

namespace {

// The options that mean no window; everything else opens one.
constexpr const char *kNoWindowOptions[] = {
    "--speak-to", "--list-voices", "--help",          "-h",    "--help-all", "-?", "--version",
    "-v",         "--say",         "--say-selection", "--stop"};

bool HasDisplay() {
    return qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ||
           qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
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
    DescribeOptions(parser);
    if (const std::optional<int> done = ParseOptions(parser))
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
    DescribeOptions(parser);
    if (const std::optional<int> done = ParseOptions(parser))
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
