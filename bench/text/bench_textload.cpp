// Times loading a 10 MB text file: the whole-file read and decode, filling
// the text box, and File > Open end to end. Prints the median of three runs.
#include "app/textcommands.h"
#include "app/textfile.h"
#include "doubles.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr qsizetype kSize = 10 * 1024 * 1024;
constexpr int kRuns = 3;

double MedianMs(const std::function<void()> &run, const std::function<void()> &setUp = {}) {
    std::vector<double> times;
    for (int i = 0; i < kRuns; ++i) {
        if (setUp)
            setUp();
        QElapsedTimer timer;
        timer.start();
        run();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

QByteArray Repeat(const QByteArray &unit) {
    QByteArray bytes;
    bytes.reserve(kSize + unit.size());
    while (bytes.size() < kSize)
        bytes += unit;
    bytes.truncate(kSize);
    return bytes;
}

void Measure(const char *label, const QString &path) {
    QPlainTextEdit box;
    box.setLineWrapMode(QPlainTextEdit::NoWrap);
    box.resize(800, 600);
    box.show();
    QString text;

    const double read = MedianMs(
        [&] { text = ReadTextFile(QFile::encodeName(path).toStdString()).value_or(QString()); });
    const auto empty = [&] {
        box.setPlainText(QString());
        QCoreApplication::processEvents();
    };
    const double fill = MedianMs(
        [&] {
            box.setPlainText(text);
            QCoreApplication::processEvents();
        },
        empty);
    // Refusals are printed, not shown: nobody is there to close a message box.
    ServiceDoubles doubles;
    doubles.fileDialog.SetScript(QStringList(kRuns, path));
    TextCommands commands(&box, nullptr, doubles.All());
    const double open = MedianMs(
        [&] {
            commands.Open();
            while (commands.Loading()) // the load goes on in the background
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            QCoreApplication::processEvents();
        },
        empty);
    std::printf("%-34s %8lld chars  read+decode %7.1f ms  fill box %7.1f ms  File>Open %7.1f ms\n",
                label, static_cast<long long>(box.toPlainText().size()), read, fill, open);
    if (!doubles.boxes.shown.isEmpty())
        std::printf("    File>Open refused it: %s\n", qPrintable(doubles.boxes.shown.back().text));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;

    struct Case {
        const char *label;
        QByteArray bytes;
    };
    const Case cases[] = {
        {"10 MB, 70-char lines, CR LF", Repeat("The quick brown fox jumps over the lazy dog "
                                               "while the voice reads it aloud.\r\n")},
        {"10 MB, UTF-8 accents, LF", Repeat("Caf\xc3\xa9 cr\xc3\xa8me br\xc3\xbbl\xc3\xa9"
                                            "e, na\xc3\xafve fa\xc3\xa7"
                                            "ade \xe2\x82\xac 12.\n")},
        {"10 MB, UTF-16 with its mark", "\xff\xfe" + Repeat(QByteArray("L\0i\0n\0e\0\n\0", 10))},
        {"10 MB, one line, no break", Repeat("word ")},
    };
    std::printf("Loading %lld-byte files (median of %d runs)\n", static_cast<long long>(kSize),
                kRuns);
    int n = 0;
    for (const Case &c : cases) {
        const QString path = dir.filePath(QStringLiteral("case%1.txt").arg(n++));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(c.bytes) != c.bytes.size())
            return 1;
        file.close();
        Measure(c.label, path);
    }
    return 0;
}
