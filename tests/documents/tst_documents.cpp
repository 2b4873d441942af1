// Documents turned into text: each format read from a document the test
// makes, its text and sections checked whole; bad documents opened in the
// window, each said in one message and the text left as it was.
#include "app/documentvoice.h"
#include "app/frmmain.h"
#include "app/textcommands.h"
#include "documentfixtures.h"
#include "documents/documentfile.h"
#include "speech/voice/voicelink.h"
#include "speechwindow.h"
#include "textfiles.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// A section as "level:title@offset", so that a failure shows which.
QStringList Shown(const QList<DocumentSection> &sections) {
    QStringList shown;
    for (const DocumentSection &s : sections)
        shown << QStringLiteral("%1:%2@%3").arg(s.level).arg(s.title).arg(s.offset);
    return shown;
}

// The section expected at `title`'s first place in `text`, as Shown gives it.
QString At(const QString &text, int level, const QString &title, const QString &find = {}) {
    return QStringLiteral("%1:%2@%3")
        .arg(level)
        .arg(title)
        .arg(text.indexOf(find.isEmpty() ? title : find));
}

QByteArray Bytes(const QString &text) {
    return text.toUtf8();
}

const QString kNav =
    QStringLiteral("<nav epub:type=\"toc\"><h1>Contents</h1><ol>"
                   "<li><a href=\"ch1.xhtml\">Chapter One</a><ol>"
                   "<li><a href=\"ch2.xhtml#part\">Part <b>Two</b></a></li></ol></li>"
                   "<li><a href=\"cover.xhtml\">Cover</a></li></ol></nav>");

QByteArray Epub3() {
    return MakeEpub(
        {
            {QStringLiteral("nav"), QStringLiteral("nav.xhtml"), Xhtml(kNav), true,
             QStringLiteral("nav")},
            {QStringLiteral("cover"), QStringLiteral("cover.xhtml"),
             Xhtml(QStringLiteral("<p>Cover art</p>")), false},
            {QStringLiteral("ch1"), QStringLiteral("ch1.xhtml"),
             Xhtml(QStringLiteral(
                 "<section><h1>Chapter One</h1><p>It was a <em>dark</em>\n  night.</p>"
                 "<p>Rain fell.<a epub:type=\"noteref\" href=\"#n1\">1</a></p>"
                 "<span epub:type=\"pagebreak\" id=\"p2\">2</span>"
                 "<aside epub:type=\"footnote\" id=\"n1\"><p>A note.</p></aside></section>"))},
            {QStringLiteral("ch2"), QStringLiteral("ch2.xhtml"),
             Xhtml(QStringLiteral("<p>Before.</p><h2 id=\"part\">Part Two</h2>"
                                  "<p>The end&nbsp;came&#8230;</p><script>var x = 1;</script>"))},
        },
        QStringLiteral("fr"));
}

const QString kNcx = QStringLiteral(
    "<?xml version=\"1.0\"?><ncx xmlns=\"http://www.daisy.org/z3986/2005/ncx/\" "
    "version=\"2005-1\"><navMap>"
    "<navPoint id=\"a\"><navLabel><text>Opening</text></navLabel><content src=\"ch1.xhtml\"/>"
    "<navPoint id=\"b\"><navLabel><text>Inside</text></navLabel>"
    "<content src=\"ch1.xhtml#in\"/></navPoint></navPoint>"
    "<navPoint id=\"c\"><navLabel><text>Closing</text></navLabel><content src=\"ch2.xhtml\"/>"
    "</navPoint></navMap></ncx>");

QByteArray Epub2() {
    return MakeEpub(
        {{QStringLiteral("ch1"), QStringLiteral("ch1.xhtml"),
          Xhtml(
              QStringLiteral("<h1>Hello</h1><p>First&nbsp;words.</p><p id=\"in\">Inner words.</p>"),
              QStringLiteral("de"), true)},
         {QStringLiteral("ch2"), QStringLiteral("ch2.xhtml"),
          Xhtml(QStringLiteral("<h1>Goodbye</h1><p>Last words.</p>"), QString(), true)}},
        QString(), kNcx.toUtf8());
}

QString WordParagraph(const QString &text, const QString &style = {}, bool item = false) {
    QString properties;
    if (!style.isEmpty() || item)
        properties =
            QStringLiteral("<w:pPr>%1%2</w:pPr>")
                .arg(style.isEmpty() ? QString()
                                     : QStringLiteral("<w:pStyle w:val=\"%1\"/>").arg(style),
                     item ? QStringLiteral("<w:numPr><w:ilvl w:val=\"0\"/><w:numId "
                                           "w:val=\"1\"/></w:numPr>")
                          : QString());
    return QStringLiteral("<w:p>%1<w:r><w:t xml:space=\"preserve\">%2</w:t></w:r></w:p>")
        .arg(properties, text);
}

QString WordCell(const QString &text) {
    return QStringLiteral("<w:tc>%1</w:tc>").arg(WordParagraph(text));
}

QByteArray Docx() {
    return MakeDocx(
        QStringLiteral("<w:sdt><w:sdtPr><w:docPartObj><w:docPartGallery w:val=\"Table of "
                       "Contents\"/></w:docPartObj></w:sdtPr><w:sdtContent>%1</w:sdtContent>"
                       "</w:sdt>")
                .arg(WordParagraph(QStringLiteral("Introduction 1"))) +
            WordParagraph(QStringLiteral("Introduction"), QStringLiteral("Heading1")) +
            QStringLiteral("<w:p><w:r><w:t xml:space=\"preserve\">Hello </w:t></w:r>"
                           "<w:r><w:t>world.</w:t></w:r><w:r><w:footnoteReference w:id=\"1\"/>"
                           "</w:r><w:del><w:r><w:delText>gone</w:delText></w:r></w:del></w:p>") +
            WordParagraph(QStringLiteral("First item"), QStringLiteral("ListParagraph"), true) +
            WordParagraph(QStringLiteral("Second item"), QStringLiteral("ListParagraph"), true) +
            QStringLiteral("<w:tbl><w:tr>%1%2</w:tr><w:tr>%3%4</w:tr></w:tbl>")
                .arg(WordCell(QStringLiteral("Name")), WordCell(QStringLiteral("Age")),
                     WordCell(QStringLiteral("Ann")), WordCell(QStringLiteral("30"))) +
            WordParagraph(QStringLiteral("Details"), QStringLiteral("Heading2")) +
            WordParagraph(QStringLiteral("The end.")),
        QStringLiteral("en-GB"));
}

QByteArray Odt() {
    return MakeOdt(
        QStringLiteral(
            "<text:sequence-decls><text:sequence-decl text:name=\"Table\"/></text:sequence-decls>"
            "<text:h text:outline-level=\"1\">Summary</text:h>"
            "<text:p>Plain <text:span>words</text:span><text:s/>here."
            "<text:note text:note-class=\"footnote\"><text:note-citation>1</text:note-citation>"
            "<text:note-body><text:p>A note.</text:p></text:note-body></text:note></text:p>"
            "<text:list><text:list-item><text:p>Apples</text:p></text:list-item>"
            "<text:list-item><text:p>Pears</text:p></text:list-item></text:list>"
            "<table:table><table:table-row><table:table-cell><text:p>x</text:p>"
            "</table:table-cell><table:table-cell><text:p>y</text:p></table:table-cell>"
            "</table:table-row></table:table>"
            "<text:h text:outline-level=\"2\">More</text:h><text:p>Last line.</text:p>"),
        QStringLiteral("it-IT"));
}

const QString kHtml = QStringLiteral(
    "<!DOCTYPE html>\n<html lang=\"es\"><head><meta charset=\"utf-8\"><title>Página</title>"
    "<style>p { color: red }</style><script>document.write('no')</script></head>\n"
    "<body><nav><a href=\"/\">Inicio</a></nav><h1>Título</h1><p>Hola <b>mundo</b>.</p>"
    "<div hidden>secreto</div><p style=\"display: none\">oculto</p><p aria-hidden=\"true\">x</p>"
    "<ul><li>uno</li><li>dos</li></ul><table><tr><td>a</td><td>b</td></tr></table>"
    "<h2>Fin</h2><p>Adiós.<br>Hasta luego.</p><noscript>Sin script</noscript></body></html>\n");

const QString kMarkdown =
    QStringLiteral("# Heading\n\nSome *emphasis* and\na soft break.\n\n- one\n- two\n\n"
                   "## Sub heading\n\n```\ncode  kept\n```\n\nText.\n");

const QString kFb2 = QStringLiteral(
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<FictionBook xmlns=\"http://www.gribuser.ru/xml/fictionbook/2.0\" "
    "xmlns:l=\"http://www.w3.org/1999/xlink\"><description><title-info>"
    "<book-title>Book</book-title><lang>ru</lang></title-info></description>"
    "<body><title><p>Book</p></title><section><title><p>Chapter</p><p>One</p></title>"
    "<p>Text one.<a l:href=\"#n1\" type=\"note\">1</a></p>"
    "<poem><stanza><v>Line a</v><v>Line b</v></stanza></poem>"
    "<section><title><p>Inner</p></title><p>Deep text.</p></section></section></body>"
    "<body name=\"notes\"><section id=\"n1\"><p>A note.</p></section></body>"
    "<binary id=\"pic\" content-type=\"image/png\">AAAA</binary></FictionBook>\n");

QList<QStringList> PdfPages() {
    return {
        {QStringLiteral("The quick brown fox jumps over the"),
         QStringLiteral("lazy dog and keeps on run-"), QStringLiteral("ning through the field."),
         QString(), QStringLiteral("A second paragraph starts")},
        {QStringLiteral("here and ends on the next page."), QString(),
         QStringLiteral("Well-known words stay as they are.")},
        {QStringLiteral("The last page has one line.")},
    };
}

} // namespace

class DocumentsTest : public QObject {
    Q_OBJECT
private slots:
    void readsEachFormat_data();
    void readsEachFormat();
    void refusesBadDocuments_data();
    void refusesBadDocuments();
    void windowKeepsTheSections();
    void voiceFollowsTheLanguage_data();
    void voiceFollowsTheLanguage();

private:
    QString Write(const QString &name, const QByteArray &bytes);
    QTemporaryDir dir_;
};

QString DocumentsTest::Write(const QString &name, const QByteArray &bytes) {
    const QString path = dir_.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        return {};
    file.close();
    return path;
}

void DocumentsTest::readsEachFormat_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("sections");
    QTest::addColumn<QString>("language");

    {
        const QString text = QStringLiteral("Chapter One\n\nIt was a dark night.\n\nRain fell.\n\n"
                                            "Before.\n\nPart Two\n\nThe end came\u2026");
        QTest::newRow("EPUB 3: spine order, titles from nav; nav, non-linear, notes left out")
            << Epub3() << "book.epub" << text
            << QStringList{At(text, 1, QStringLiteral("Chapter One")),
                           At(text, 2, QStringLiteral("Part Two"))}
            << "fr";
    }
    {
        const QString text =
            QStringLiteral("Hello\n\nFirst words.\n\nInner words.\n\nGoodbye\n\nLast words.");
        QTest::newRow("EPUB 2: titles from the NCX, language from the part")
            << Epub2() << "old.epub" << text
            << QStringList{At(text, 1, QStringLiteral("Opening"), QStringLiteral("Hello")),
                           At(text, 2, QStringLiteral("Inside"), QStringLiteral("Inner")),
                           At(text, 1, QStringLiteral("Closing"), QStringLiteral("Goodbye"))}
            << "de";
    }
    {
        const QString text = QStringLiteral("Introduction\n\nHello world.\n\nFirst item\nSecond "
                                            "item\n\nName\tAge\nAnn\t30\n\nDetails\n\nThe end.");
        QTest::newRow("DOCX: headings, list, table; contents, notes and deletions left out")
            << Docx() << "report.docx" << text
            << QStringList{At(text, 1, QStringLiteral("Introduction")),
                           At(text, 2, QStringLiteral("Details"))}
            << "en-GB";
    }
    {
        const QString text = QStringLiteral(
            "Summary\n\nPlain words here.\n\nApples\nPears\n\nx\ty\n\nMore\n\nLast line.");
        QTest::newRow("ODT: headings, list, table; notes left out")
            << Odt() << "notes.odt" << text
            << QStringList{At(text, 1, QStringLiteral("Summary")),
                           At(text, 2, QStringLiteral("More"))}
            << "it-IT";
    }
    {
        const QString text = QStringLiteral(
            "Título\n\nHola mundo.\n\nuno\ndos\n\na\tb\n\nFin\n\nAdiós.\nHasta luego.");
        QTest::newRow("HTML: scripts, styles, navigation and hidden parts left out")
            << Bytes(kHtml) << "page.txt" << text
            << QStringList{At(text, 1, QStringLiteral("Título")),
                           At(text, 2, QStringLiteral("Fin"))}
            << "es";
    }
    {
        const QString text = QStringLiteral("Heading\n\nSome emphasis and a soft break.\n\none\n"
                                            "two\n\nSub heading\n\ncode  kept\n\nText.");
        QTest::newRow("Markdown: headings, lists, code as written")
            << Bytes(kMarkdown) << "notes.md" << text
            << QStringList{At(text, 1, QStringLiteral("Heading")),
                           At(text, 2, QStringLiteral("Sub heading"))}
            << "";
    }
    {
        const QString text = QStringLiteral(
            "Book\n\nChapter One\n\nText one.\n\nLine a\nLine b\n\nInner\n\nDeep text.");
        QTest::newRow("FB2: section titles by depth, poems by line, notes left out")
            << Bytes(kFb2) << "tale.fb2" << text
            << QStringList{At(text, 1, QStringLiteral("Book")),
                           At(text, 1, QStringLiteral("Chapter One")),
                           At(text, 2, QStringLiteral("Inner"))}
            << "ru";
    }
    QTest::newRow("PDF: running heads and page numbers out, lines and broken words joined")
        << MakePdf(PdfPages(), QStringLiteral("The Quiet Book"), true) << "book.pdf"
        << QStringLiteral("The quick brown fox jumps over the lazy dog and keeps on running "
                          "through the field.\n\nA second paragraph starts here and ends on the "
                          "next page.\n\nWell-known words stay as they are.\n\nThe last page "
                          "has one line.")
        << QStringList{} << "";
    {
        const QString text = QStringLiteral("Part one begins.\n\nA scene opens here.\n\nPart "
                                            "two.\n\nThe scene ends.");
        QTest::newRow("PDF: the outline as sections, nested, at the heights it leads to")
            << MakeOutlinedPdf(
                   {{{700, QStringLiteral("Part one begins.")},
                     {400, QStringLiteral("A scene opens here.")}},
                    {{700, QStringLiteral("Part two.")}, {500, QStringLiteral("The scene ends.")}}},
                   {{QStringLiteral("One"), 1, 0, 842},
                    {QStringLiteral("Scene"), 2, 0, 420},
                    {QStringLiteral("Two"), 1, 1, 842},
                    {QStringLiteral("Ending"), 2, 1, 520}})
            << "outlined.pdf" << text
            << QStringList{At(text, 1, QStringLiteral("One"), QStringLiteral("Part one")),
                           At(text, 2, QStringLiteral("Scene"), QStringLiteral("A scene")),
                           At(text, 1, QStringLiteral("Two"), QStringLiteral("Part two")),
                           At(text, 2, QStringLiteral("Ending"), QStringLiteral("The scene"))}
            << "";
    }
}

void DocumentsTest::readsEachFormat() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, name);
    const std::string_view view(bytes.constData(), std::size_t(bytes.size()));
    const DocumentFormat format = RecogniseDocument(view, name);
    QVERIFY(format != DocumentFormat::Text);
    const DocumentResult read = ReadDocument(view, format, name);
    QVERIFY2(read.Ok(), qPrintable(read.error));
    QTEST(read.document.text, "text");
    QTEST(Shown(read.document.sections), "sections");
    QTEST(read.document.language, "language");
}

void DocumentsTest::refusesBadDocuments_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");

    const QByteArray epub = Epub3();
    QTest::newRow("truncated archive")
        << "cut.epub" << epub.left(epub.size() / 2)
        << "The file \"cut.epub\" cannot be opened: it is a damaged or incomplete archive (*).";
    QByteArray damaged = epub;
    const qsizetype chapter = damaged.indexOf("OEBPS/ch1.xhtml") + 40;
    for (qsizetype i = chapter; i < chapter + 20; ++i)
        damaged[i] = char(damaged[i] ^ 0x5A);
    QTest::newRow("damaged entry")
        << "damaged.epub" << damaged
        << "The file \"damaged.epub\" cannot be opened: it is a damaged or incomplete archive "
           "(Zlib error: data error).";
    QTest::newRow("zip bomb")
        << "bomb.epub"
        << MakeEpub({{QStringLiteral("ch1"), QStringLiteral("ch1.xhtml"),
                      Xhtml(QString(20 * 1024 * 1024, u' '))}},
                    QString())
        << "The file \"bomb.epub\" cannot be opened: it unpacks to far more than it holds, as "
           "only a damaged or hostile archive does.";
    QTest::newRow("malformed XML")
        << "broken.epub"
        << MakeEpub({{QStringLiteral("ch1"), QStringLiteral("ch1.xhtml"),
                      "<html><body><p>Open</body></html>"}},
                    QString())
        << "The file \"broken.epub\" cannot be opened: its part \"OEBPS/ch1.xhtml\" is not "
           "well-formed XML (line 1: Opening and ending tag mismatch.).";
    QTest::newRow("DRM-protected EPUB")
        << "locked.epub"
        << MakeEpub({{QStringLiteral("ch1"), QStringLiteral("ch1.xhtml"), "scrambled"}}, QString(),
                    {},
                    {{QStringLiteral("META-INF/encryption.xml"),
                      "<encryption xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\" "
                      "xmlns:enc=\"http://www.w3.org/2001/04/xmlenc#\"><enc:EncryptedData>"
                      "<enc:EncryptionMethod "
                      "Algorithm=\"http://www.w3.org/2001/04/xmlenc#aes128-cbc\"/>"
                      "<enc:CipherData><enc:CipherReference URI=\"OEBPS/ch1.xhtml\"/>"
                      "</enc:CipherData></enc:EncryptedData></encryption>"}})
        << "The file \"locked.epub\" cannot be opened: the book is protected by DRM: its text "
           "is encrypted, and only the reading program it was sold for can open it.";
    QTest::newRow("scanned PDF")
        << "scan.pdf" << MakePicturePdf()
        << "This PDF has no text to read: \"scan.pdf\" holds only pictures of its pages, such as "
           "a scan.";
    QTest::newRow("damaged PDF")
        << "half.pdf" << QByteArray("%PDF-1.4\n1 0 obj\n<< /Type /Catalog")
        << "The file \"half.pdf\" cannot be opened: it is a damaged or incomplete PDF.";
    QTest::newRow("zip of something else")
        << "photos.zip" << MakeZip({{QStringLiteral("a.txt"), "words"}})
        << "The file \"photos.zip\" cannot be opened: it is a zip archive, but not a document "
           "this program reads (EPUB, DOCX, ODT or FB2).";
    QTest::newRow("book without words")
        << "empty.epub"
        << MakeEpub({{QStringLiteral("ch1"), QStringLiteral("ch1.xhtml"),
                      Xhtml(QStringLiteral("<p> </p>"))}},
                    QString())
        << "The file \"empty.epub\" cannot be opened: it holds no text to read.";
    QTest::newRow("RTF") << "letter.rtf" << QByteArray("{\\rtf1\\ansi Hello}")
                         << "The file \"letter.rtf\" cannot be opened: it is an RTF document, "
                            "which this program does not read; save it as DOCX, ODT or plain "
                            "text to open it.";
    // A PDF with a password, when qpdf is there to lock one.
    if (!QStandardPaths::findExecutable(QStringLiteral("qpdf")).isEmpty()) {
        const QString plain = Write(QStringLiteral("plain.pdf"), MakePdf({{QStringLiteral("Hi")}}));
        const QString locked = dir_.filePath(QStringLiteral("locked-made.pdf"));
        QProcess qpdf;
        qpdf.start(QStringLiteral("qpdf"),
                   {QStringLiteral("--encrypt"), QStringLiteral("secret"), QStringLiteral("owner"),
                    QStringLiteral("256"), QStringLiteral("--"), plain, locked});
        if (qpdf.waitForFinished(30000) && qpdf.exitCode() == 0) {
            QFile file(locked);
            if (file.open(QIODevice::ReadOnly))
                QTest::newRow("PDF with a password")
                    << "secret.pdf" << file.readAll()
                    << "The file \"secret.pdf\" cannot be opened: the PDF is protected by a "
                       "password, and this program cannot ask for one.";
        }
    }
}

// At File > Open: one message, and the text and sections as they were.
void DocumentsTest::refusesBadDocuments() {
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    SpeechWindow window;
    auto *commands = window.form->findChild<TextCommands *>();
    QVERIFY(commands);
    QVERIFY(commands->OpenPath(Write(QStringLiteral("good.epub"), Epub3())));
    QVERIFY(FinishOpen(commands));
    const QString before = window.Text().toPlainText();
    const QStringList sections = Shown(window.form->Sections());
    QVERIFY(before.startsWith(QLatin1String("Chapter One")));

    QSignalSpy changed(window.form.get(), &frmMain::SectionsChanged);
    const QString path = Write(name, bytes);
    QVERIFY(!path.isEmpty());
    QVERIFY(commands->OpenPath(path));
    QVERIFY(FinishOpen(commands));
    // "(*)" stands for libzip's own words, which differ between its versions.
    const QStringList shown = window.boxes.Texts();
    QCOMPARE(shown.size(), 1);
    if (const qsizetype any = message.indexOf(QLatin1String("(*)")); any >= 0) {
        QCOMPARE(shown.front().left(any + 1), message.left(any + 1));
        QVERIFY2(shown.front().endsWith(QLatin1String(").")), qPrintable(shown.front()));
    } else {
        QCOMPARE(shown.front(), message);
    }
    QCOMPARE(window.Text().toPlainText(), before);
    QCOMPARE(Shown(window.form->Sections()), sections);
    QCOMPARE(changed.count(), 0);
}

// The window's sections follow what is opened: a book's, none for a text
// file, none after New.
void DocumentsTest::windowKeepsTheSections() {
    SpeechWindow window;
    auto *commands = window.form->findChild<TextCommands *>();
    QSignalSpy changed(window.form.get(), &frmMain::SectionsChanged);
    QVERIFY(commands->OpenPath(Write(QStringLiteral("book.epub"), Epub3())));
    QVERIFY(FinishOpen(commands));
    QCOMPARE(window.form->Sections().size(), 2);
    QCOMPARE(window.form->Sections().at(1).title, QStringLiteral("Part Two"));
    QCOMPARE(changed.count(), 1);

    QVERIFY(commands->OpenPath(Write(QStringLiteral("plain.txt"), "Just words.\n")));
    QVERIFY(FinishOpen(commands));
    QCOMPARE(window.Text().toPlainText(), QStringLiteral("Just words.\n"));
    QVERIFY(window.form->Sections().isEmpty());
    QCOMPARE(changed.count(), 2);

    QVERIFY(commands->OpenPath(Write(QStringLiteral("book.epub"), Epub3())));
    QVERIFY(FinishOpen(commands));
    QCOMPARE(window.form->Sections().size(), 2);
    commands->New();
    QVERIFY(window.form->Sections().isEmpty());
    QCOMPARE(changed.count(), 4);
}

// The voice for a document's language: that very language, else its base
// language's own voice, else any of its base language; never another's.
void DocumentsTest::voiceFollowsTheLanguage_data() {
    QTest::addColumn<QString>("language");
    QTest::addColumn<QByteArray>("voice");
    QTest::newRow("the very language") << "en-GB" << QByteArray("gmw/en");
    QTest::newRow("its base language's own voice") << "fr-CA" << QByteArray("roa/fr");
    QTest::newRow("a voice of the base language") << "de" << QByteArray("gmw/de-AT");
    QTest::newRow("written with an underscore") << "pt_BR" << QByteArray("roa/pt-BR");
    QTest::newRow("no voice for it") << "xx" << QByteArray();
    QTest::newRow("no language") << "" << QByteArray();
}

void DocumentsTest::voiceFollowsTheLanguage() {
    QFETCH(QString, language);
    const std::vector<SpeechVoice> voices = {
        {QStringLiteral("English (America)"), QStringLiteral("en-us"), "gmw/en-US"},
        {QStringLiteral("English (Great Britain)"), QStringLiteral("en-gb"), "gmw/en"},
        {QStringLiteral("French (Belgium)"), QStringLiteral("fr-be"), "roa/fr-BE"},
        {QStringLiteral("French (France)"), QStringLiteral("fr-fr"), "roa/fr"},
        {QStringLiteral("German (Austria)"), QStringLiteral("de-at"), "gmw/de-AT"},
        {QStringLiteral("Portuguese (Brazil)"), QStringLiteral("pt-br"), "roa/pt-BR"},
    };
    QTEST(VoiceForLanguage(voices, language), "voice");
}

QTEST_MAIN(DocumentsTest)
#include "tst_documents.moc"
