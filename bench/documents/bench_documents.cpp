// Documents to text: a 300-page PDF and a 1 MB EPUB, both made here, read
// into text (the document library alone) and opened into the text box (File
// > Open end to end). Prints the median of three runs and the peak memory
// each adds; the PDF also against poppler's own pdftotext on the same file,
// as a ratio.
#include "app/textcommands.h"
#include "documentfixtures.h"
#include "documents/documentfile.h"
#include "doubles.h"
#include "procstatus.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <malloc.h>
#include <sys/resource.h>
#include <vector>

namespace {

constexpr int kRuns = 3;
constexpr int kPdfPages = 300;

struct Figure {
    double ms = 0;
    double peakMb = 0; // above what the process held before
};

Figure Median(const std::function<void()> &run) {
    std::vector<double> times;
    double peak = 0;
    for (int i = 0; i < kRuns; ++i) {
        malloc_trim(0); // what earlier runs freed is not counted as held before
        ProcStatus::ResetPeak();
        const long before = ProcStatus::Kib("VmRSS:");
        QElapsedTimer timer;
        timer.start();
        run();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
        peak = std::max(peak, double(ProcStatus::Kib("VmHWM:") - before) / 1024.0);
    }
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], peak};
}

// Words of plausible lengths from a vocabulary of a few thousand, so that
// they pack about as well as a novel's; the same every run.
QString Words(QRandomGenerator &random, int count) {
    static const QStringList vocabulary = [] {
        QRandomGenerator letters(3);
        QStringList words;
        for (int i = 0; i < 4000; ++i) {
            QString word;
            const int length = 2 + int(letters.bounded(8));
            for (int c = 0; c < length; ++c)
                word += QChar(u'a' + letters.bounded(26));
            words << word;
        }
        return words;
    }();
    QString text;
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            text += u' ';
        // Common words come up far more often, as in any prose.
        const double r = random.generateDouble();
        text += vocabulary[int(r * r * r * double(vocabulary.size()))];
    }
    return text;
}

QList<QStringList> PdfPages() {
    QRandomGenerator random(7);
    QList<QStringList> pages;
    for (int p = 0; p < kPdfPages; ++p) {
        QStringList lines;
        for (int l = 0; l < 28; ++l)
            lines << (l % 7 == 6 ? QString() : Words(random, 9));
        pages << lines;
    }
    return pages;
}

QByteArray Epub(qsizetype zippedBytes) {
    QRandomGenerator random(11);
    QList<EpubPart> parts;
    QByteArray book;
    for (int chapter = 1; book.size() < zippedBytes; ++chapter) {
        QString body = QStringLiteral("<h1>Chapter %1</h1>").arg(chapter);
        for (int p = 0; p < 60; ++p)
            body += QStringLiteral("<p>%1.</p>").arg(Words(random, 60));
        const QString id = QStringLiteral("c%1").arg(chapter);
        parts.append(EpubPart(id, id + QStringLiteral(".xhtml"), Xhtml(body)));
        if (chapter % 4 == 0)
            book = MakeEpub(parts, QStringLiteral("en"));
    }
    return book;
}

QString Write(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes) {
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return {};
    return path;
}

Figure ToText(const QByteArray &bytes, const QString &name, qsizetype &chars) {
    const std::string_view view(bytes.constData(), std::size_t(bytes.size()));
    return Median([&] {
        const DocumentResult read = ReadDocument(view, RecogniseDocument(view, name), name);
        chars = read.document.text.size();
        if (!read.Ok())
            std::printf("    refused: %s\n", qPrintable(read.error));
    });
}

Figure IntoTheBox(const QString &path) {
    QPlainTextEdit box;
    box.setLineWrapMode(QPlainTextEdit::NoWrap);
    box.resize(800, 600);
    box.show();
    ServiceDoubles doubles;
    TextCommands commands(&box, nullptr, doubles.All());
    const Figure figure = Median([&] {
        box.setPlainText(QString());
        commands.OpenPath(path);
        while (commands.Loading())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QCoreApplication::processEvents();
    });
    if (!doubles.boxes.shown.isEmpty())
        std::printf("    File>Open refused it: %s\n", qPrintable(doubles.boxes.shown.back().text));
    return figure;
}

// pdftotext in reading order (its default), text to a file as it does.
Figure PdfToText(const QString &pdf, const QTemporaryDir &dir) {
    std::vector<double> times;
    for (int i = 0; i < kRuns; ++i) {
        QProcess peer;
        QElapsedTimer timer;
        timer.start();
        peer.start(QStringLiteral("pdftotext"), {QStringLiteral("-enc"), QStringLiteral("UTF-8"),
                                                 pdf, dir.filePath(QStringLiteral("peer.txt"))});
        peer.waitForFinished(-1);
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return {times[times.size() / 2], double(usage.ru_maxrss) / 1024.0};
}

void Print(const char *what, const Figure &f) {
    std::printf("  %-34s %9.1f ms   peak +%7.1f MB\n", what, f.ms, f.peakMb);
}

} // namespace

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    QTemporaryDir dir;

    const QByteArray pdf = MakePdf(PdfPages(), QStringLiteral("A Benchmark Book"), true);
    const QString pdfPath = Write(dir, QStringLiteral("book.pdf"), pdf);
    qsizetype chars = 0;
    std::printf("PDF: %d pages, %.1f MB\n", kPdfPages, double(pdf.size()) / 1048576.0);
    const Figure pdfText = ToText(pdf, QStringLiteral("book.pdf"), chars);
    std::printf("  %lld characters of text\n", static_cast<long long>(chars));
    Print("to text (document library)", pdfText);
    Print("File > Open into the box", IntoTheBox(pdfPath));
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty()) {
        std::printf("  pdftotext is not installed: no ratio\n");
    } else {
        const Figure peer = PdfToText(pdfPath, dir);
        std::printf("  %-34s %9.1f ms   peak  %7.1f MB (whole process)\n",
                    "pdftotext (poppler-utils)", peer.ms, peer.peakMb);
        std::printf("  ratio to text / pdftotext: %.2f (goal at most 1.5)\n", pdfText.ms / peer.ms);
    }

    const QByteArray epub = Epub(1024 * 1024);
    const QString epubPath = Write(dir, QStringLiteral("book.epub"), epub);
    std::printf("EPUB: %.2f MB\n", double(epub.size()) / 1048576.0);
    const Figure epubText = ToText(epub, QStringLiteral("book.epub"), chars);
    std::printf("  %lld characters of text\n", static_cast<long long>(chars));
    Print("to text (document library)", epubText);
    const Figure epubBox = IntoTheBox(epubPath);
    Print("File > Open into the box", epubBox);
    std::printf("  goal: under 1000 ms into the box\n");
    std::fflush(stdout);
    return 0;
}
