// Cold start to the window painted: the program against a bare main window
// with a plain text box, started in turn, side by side in one run.
//   startup_bench [runs]
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Milliseconds from starting `program` to its "painted"; negative on failure.
double TimeToPaint(const QString &program) {
    QProcess process;
    QElapsedTimer clock;
    clock.start();
    process.start(program, {});
    if (!process.waitForStarted(10000))
        return -1;
    QByteArray said;
    while (!said.contains("painted") && process.waitForReadyRead(20000))
        said += process.readAllStandardOutput();
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    process.waitForFinished(20000);
    return said.contains("painted") ? ms : -1;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 15;
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const QString dir = QCoreApplication::applicationDirPath();
    const QString bare = dir + QStringLiteral("/startup_bare");
    const QString editor = dir + QStringLiteral("/startup_editor");
    // Warm the file cache for both, then take turns.
    TimeToPaint(bare);
    TimeToPaint(editor);
    std::vector<double> bareMs, editorMs;
    for (int i = 0; i < runs; ++i) {
        bareMs.push_back(TimeToPaint(bare));
        editorMs.push_back(TimeToPaint(editor));
    }
    if (*std::min_element(bareMs.begin(), bareMs.end()) < 0 ||
        *std::min_element(editorMs.begin(), editorMs.end()) < 0) {
        std::printf("start-up: a program did not paint\n");
        return 1;
    }
    std::printf("start to window painted (%d runs each, %s, ms):\n", runs,
                qgetenv("QT_QPA_PLATFORM").isEmpty() ? "xcb"
                                                     : qgetenv("QT_QPA_PLATFORM").constData());
    std::printf("  bare QMainWindow + QPlainTextEdit: median %6.1f  min %6.1f\n", Median(bareMs),
                *std::min_element(bareMs.begin(), bareMs.end()));
    std::printf("  Zavren Speech:                     median %6.1f  min %6.1f\n", Median(editorMs),
                *std::min_element(editorMs.begin(), editorMs.end()));
    std::printf("  ratio of medians: %.2f\n", Median(editorMs) / Median(bareMs));
    return 0;
}
