#include "documentfile.h"

#include "documents/documenterror.h"
#include "documents/readers.h"
#include "documents/ziparchive.h"

#include <QByteArray>
#include <QStringConverter>
#include <QStringDecoder>
#include <libxml/parser.h>
#include <new>

namespace {

bool EndsWith(QStringView name, std::initializer_list<const char *> endings) {
    for (const char *ending : endings)
        if (name.endsWith(QLatin1String(ending), Qt::CaseInsensitive))
            return true;
    return false;
}

// The start of a file that may be markup, as text: enough to see its first
// element. Marked UTF-16 and UTF-32 are decoded; anything else is read as
// Latin-1, which keeps ASCII as it is.
QString Head(std::string_view bytes) {
    const QByteArrayView head(bytes.data(), qsizetype(std::min<std::size_t>(bytes.size(), 4096)));
    if (const auto marked = QStringConverter::encodingForData(head)) {
        QStringDecoder decoder(*marked);
        return decoder.decode(head);
    }
    return QString::fromLatin1(head);
}

// The first element's name, past white space, the XML declaration,
// comments and the document type (whose name counts too): lower case.
QString FirstElement(const QString &head) {
    qsizetype i = 0;
    const qsizetype n = head.size();
    while (i < n) {
        while (i < n && (head[i].isSpace() || head[i] == QChar(0xFEFF)))
            ++i;
        if (i >= n || head[i] != u'<')
            return {};
        if (head.mid(i, 4) == QLatin1String("<!--")) {
            const qsizetype end = head.indexOf(QLatin1String("-->"), i + 4);
            if (end < 0)
                return {};
            i = end + 3;
            continue;
        }
        if (head.mid(i, 2) == QLatin1String("<?")) {
            const qsizetype end = head.indexOf(QLatin1String("?>"), i + 2);
            if (end < 0)
                return {};
            i = end + 2;
            continue;
        }
        const bool doctype =
            head.mid(i, 9).compare(QLatin1String("<!doctype"), Qt::CaseInsensitive) == 0;
        i += doctype ? 9 : 1;
        while (doctype && i < n && head[i].isSpace())
            ++i;
        const qsizetype start = i;
        while (i < n && (head[i].isLetterOrNumber() || head[i] == u':' || head[i] == u'-'))
            ++i;
        QString name = head.mid(start, i - start).toLower();
        const qsizetype colon = name.indexOf(u':');
        return colon < 0 ? name : name.mid(colon + 1);
    }
    return {};
}

Document ReadZip(std::string_view bytes, const std::atomic<bool> *stop) {
    ZipArchive zip(bytes);
    QString mimetype;
    if (zip.Has(QStringLiteral("mimetype")))
        mimetype = QString::fromLatin1(zip.Read(QStringLiteral("mimetype"))).trimmed();
    if (mimetype == QLatin1String("application/epub+zip") ||
        zip.Has(QStringLiteral("META-INF/container.xml")))
        return ReadEpub(zip, stop);
    if (mimetype == QLatin1String("application/vnd.oasis.opendocument.text") ||
        (mimetype.isEmpty() && zip.Has(QStringLiteral("content.xml"))))
        return ReadOdt(zip);
    if (zip.Has(QStringLiteral("word/document.xml")))
        return ReadDocx(zip);
    const QStringList names = zip.Names();
    for (const QString &name : names)
        if (name.endsWith(QLatin1String(".fb2"), Qt::CaseInsensitive))
            return ReadFb2(zip.Read(name), stop);
    throw DocumentError{QStringLiteral(
        "it is a zip archive, but not a document this program reads (EPUB, DOCX, ODT or FB2).")};
}

} // namespace

DocumentFormat RecogniseDocument(std::string_view bytes, QStringView fileName) {
    // A PDF's header may follow some bytes of other things; a text that
    // merely speaks of one has no end-of-file mark at its end.
    const std::size_t header = bytes.substr(0, 1024).find("%PDF-");
    if (header == 0 ||
        (header != std::string_view::npos &&
         bytes.substr(bytes.size() - std::min<std::size_t>(bytes.size(), 1024)).find("%%EOF") !=
             std::string_view::npos))
        return DocumentFormat::Pdf;
    if (bytes.starts_with("PK\x03\x04") || bytes.starts_with("PK\x05\x06"))
        return DocumentFormat::Zip;
    if (bytes.starts_with("{\\rtf"))
        return DocumentFormat::Rtf;
    const QString element = FirstElement(Head(bytes));
    if (element == QLatin1String("html"))
        return DocumentFormat::Html;
    if (element == QLatin1String("fictionbook"))
        return DocumentFormat::Fb2;
    // A page that starts with anything else (a fragment, a stray line) is
    // known by its name, as Markdown is: its bytes are any text's.
    if (EndsWith(fileName, {".html", ".htm", ".xhtml", ".xht"}) && Head(bytes).contains(u'<'))
        return DocumentFormat::Html;
    if (EndsWith(fileName, {".md", ".markdown", ".mkd", ".mdown", ".mkdn"}))
        return DocumentFormat::Markdown;
    return DocumentFormat::Text;
}

DocumentResult ReadDocument(std::string_view bytes, DocumentFormat format, const QString &fileName,
                            const std::atomic<bool> *stop) {
    static const bool xmlReady = [] {
        xmlInitParser();
        return true;
    }();
    (void)xmlReady;
    DocumentResult result;
    try {
        switch (format) {
        case DocumentFormat::Text:
            break;
        case DocumentFormat::Pdf:
            result.document = ReadPdf(bytes, stop);
            break;
        case DocumentFormat::Zip:
            result.document = ReadZip(bytes, stop);
            break;
        case DocumentFormat::Html:
            result.document = ReadHtml(bytes);
            break;
        case DocumentFormat::Markdown:
            result.document = ReadMarkdown(bytes);
            break;
        case DocumentFormat::Fb2:
            result.document = ReadFb2(QByteArray(bytes.data(), qsizetype(bytes.size())), stop);
            break;
        case DocumentFormat::Rtf:
            throw DocumentError{QStringLiteral(
                "it is an RTF document, which this program does not read; save it as DOCX, ODT "
                "or plain text to open it.")};
        }
        ThrowIfStopped(stop);
        if (result.document.text.isEmpty())
            throw DocumentError{QStringLiteral("it holds no text to read.")};
    } catch (const DocumentError &error) {
        result.document = Document();
        result.error = error.whole ? error.reason.arg(fileName)
                                   : QStringLiteral("The file \"%1\" cannot be opened: %2")
                                         .arg(fileName, error.reason);
    } catch (const DocumentCancelled &) {
        result.document = Document();
        result.cancelled = true;
    } catch (const std::bad_alloc &) {
        result.document = Document();
        result.error = QStringLiteral("The file \"%1\" cannot be opened: there is not enough "
                                      "memory to read it.")
                           .arg(fileName);
    }
    return result;
}
