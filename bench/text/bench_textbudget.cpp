// What text costs the text box in memory, and what File > Open of large files
// costs end to end: peak memory, time, and the longest the window went without
// answering. Each case runs in a fresh process of its own so that one case's
// freed memory does not hide the next one's.
//
//   bench_textbudget              all cases, a table
//   bench_textbudget box KIND N   one text box case (KIND: lines, line, prose)
//   bench_textbudget open FILE    one File > Open case
#include "app/speechtextbox.h"
#include "app/textcommands.h"
#include "app/textfile.h"
#include "app/textload.h"
#include "doubles.h"
#include "procstatus.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

namespace {

QString Text(const QString &kind, qsizetype n) {
    if (kind == QLatin1String("lines"))
        return QStringLiteral("a\n").repeated(n);
    if (kind == QLatin1String("line"))
        return QString(n, u'a');
    // Prose: 70-character lines.
    return QStringLiteral("The quick brown fox jumps over the lazy dog while the voice reads "
                          "it.\n")
        .repeated(n);
}

void Box(QPlainTextEdit &box) {
    box.setLineWrapMode(QPlainTextEdit::NoWrap);
    box.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    box.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    box.resize(800, 600);
    box.show();
    QCoreApplication::processEvents();
}

int RunBox(const QString &kind, qsizetype n) {
    SpeechTextBox box;
    Box(box);
    QString text = Text(kind, n);
    const TextShape shape = MeasureText(text);
    ProcStatus::ResetPeak();
    const long before = ProcStatus::Kib("VmRSS:");
    QElapsedTimer clock;
    clock.start();
    box.setPlainText(text);
    box.viewport()->repaint();
    QCoreApplication::processEvents();
    const qint64 ms = clock.elapsed();
    text = QString();
    const double grown = (ProcStatus::Kib("VmRSS:") - before) * 1024.0;
    double peak = (ProcStatus::Kib("VmHWM:") - before) * 1024.0;
    std::printf("box %-6s %9llu lines %10llu chars  %7lld ms  RSS %+8.1f MB  peak %+8.1f MB  "
                "%7.1f B/line %6.2f B/char\n",
                qPrintable(kind), qulonglong(shape.lines), qulonglong(shape.chars), ms,
                grown / 1048576, peak / 1048576, peak / double(shape.lines),
                peak / double(shape.chars));
    // The window resized, and a new font: the box lays its lines out afresh.
    clock.restart();
    box.resize(1000, 700);
    box.viewport()->repaint();
    QCoreApplication::processEvents();
    QFont font = box.font();
    font.setPointSize(font.pointSize() + 1);
    box.setFont(font);
    box.viewport()->repaint();
    QCoreApplication::processEvents();
    peak = (ProcStatus::Kib("VmHWM:") - before) * 1024.0;
    std::printf("    then resized and refonted  %7lld ms  RSS %+8.1f MB  peak %+8.1f MB  "
                "%7.1f B/line %6.2f B/char\n",
                clock.elapsed(), (ProcStatus::Kib("VmRSS:") - before) * 1024.0 / 1048576,
                peak / 1048576, peak / double(shape.lines), peak / double(shape.chars));
    return 0;
}

int RunOpen(const QString &path) {
    SpeechTextBox box;
    Box(box);
    box.setPlainText(QStringLiteral("Hello and welcome."));
    ServiceDoubles doubles;
    TextCommands commands(&box, nullptr, doubles.All());
    // The longest the event loop went without a turn while loading.
    QElapsedTimer sinceTurn;
    qint64 longestGap = 0;
    QTimer turns;
    QObject::connect(&turns, &QTimer::timeout,
                     [&] { longestGap = std::max(longestGap, sinceTurn.restart()); });
    turns.start(10);
    QCoreApplication::processEvents();
    ProcStatus::ResetPeak();
    const long base = ProcStatus::Kib("VmRSS:");
    QElapsedTimer clock;
    clock.start();
    sinceTurn.start();
    commands.OpenPath(path);
    while (commands.Loading())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const qint64 ms = clock.elapsed();
    const bool loaded = box.document()->characterCount() > 20;
    std::printf("open %-32s %-8s %7lld ms  longest pause %5lld ms  peak RSS %7.1f MB (%+7.1f MB)\n",
                qPrintable(QFile(path).fileName().section(u'/', -1)), loaded ? "loaded" : "refused",
                ms, longestGap, ProcStatus::Kib("VmHWM:") / 1024.0,
                (ProcStatus::Kib("VmHWM:") - base) / 1024.0);
    return 0;
}

bool Write(const QString &path, const QByteArray &unit, qsizetype size) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray block;
    while (block.size() < 1024 * 1024)
        block += unit;
    for (qsizetype done = 0; done < size;) {
        const qsizetype take = std::min(size - done, block.size());
        if (file.write(block.constData(), take) != take)
            return false;
        done += take;
    }
    return true;
}

void Child(const QStringList &arguments) {
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QCoreApplication::applicationFilePath(), arguments);
    child.waitForFinished(-1);
}

} // namespace

int main(int argc, char *argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() == 3 && args[0] == QLatin1String("box"))
        return RunBox(args[1], args[2].toLongLong());
    if (args.size() == 2 && args[0] == QLatin1String("open"))
        return RunOpen(args[1]);

    std::printf("The text box (setPlainText, shown, 800x600, no wrap):\n");
    for (const char *n : {"250000", "500000", "1000000"})
        Child({"box", "lines", n});
    for (const char *n : {"50000", "200000"})
        Child({"box", "prose", n});
    for (const char *n : {"1000000", "4000000"})
        Child({"box", "line", n});

    std::printf("\nFile > Open (budget %llu MB):\n",
                static_cast<unsigned long long>(kMemoryBudgetBytes >> 20));
    QTemporaryDir dir;
    const qsizetype mib = 1024 * 1024;
    struct Case {
        const char *name;
        QByteArray unit;
        qsizetype size;
    };
    const Case cases[] = {
        {"1 MiB of a-LF", "a\n", 1 * mib},
        // The most short lines the budget takes, 2,700,000 of them.
        {"5.4 MB of a-LF, at the budget", "a\n", 2 * 2700000},
        {"8 MiB of a-LF", "a\n", 8 * mib},
        {"32 MiB of a-LF", "a\n", 32 * mib},
        {"64 MiB of prose", "The quick brown fox jumps over the lazy dog while it is read.\n",
         64 * mib},
        {"256 MiB of prose", "The quick brown fox jumps over the lazy dog while it is read.\n",
         256 * mib},
        {"one 16 MiB line", "word ", 16 * mib},
        {"one 512 KiB line", "word ", 512 * 1024},
    };
    for (const Case &c : cases) {
        const QString path = dir.filePath(QString::fromLatin1(c.name));
        if (!Write(path, c.unit, c.size))
            return 1;
        Child({"open", path});
        QFile::remove(path);
    }
    return 0;
}
