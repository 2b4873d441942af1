#include "documentfixtures.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <stdexcept>
#include <zip.h>

QByteArray MakeZip(const QList<ZipEntry> &entries) {
    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.filePath(QStringLiteral("made.zip")));
    int error = 0;
    zip_t *zip = zip_open(path.constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!zip)
        throw std::runtime_error("zip_open");
    QList<QByteArray> kept; // libzip reads the data when it closes
    for (const ZipEntry &entry : entries) {
        kept.append(entry.data);
        zip_source_t *source =
            zip_source_buffer(zip, kept.back().constData(), zip_uint64_t(kept.back().size()), 0);
        const zip_int64_t index =
            zip_file_add(zip, entry.name.toUtf8().constData(), source, ZIP_FL_ENC_UTF_8);
        if (index < 0)
            throw std::runtime_error("zip_file_add");
        zip_set_file_compression(zip, zip_uint64_t(index),
                                 entry.stored ? ZIP_CM_STORE : ZIP_CM_DEFLATE, 9);
    }
    if (zip_close(zip) != 0)
        throw std::runtime_error("zip_close");
    QFile file(QFile::decodeName(path));
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("read zip");
    return file.readAll();
}

QByteArray Xhtml(const QString &body, const QString &lang, bool xhtml11) {
    const QString langs =
        lang.isEmpty() ? QString() : QStringLiteral(" xml:lang=\"%1\" lang=\"%1\"").arg(lang);
    const QString doctype =
        xhtml11 ? QStringLiteral("<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.1//EN\" "
                                 "\"http://www.w3.org/TR/xhtml11/DTD/xhtml11.dtd\">")
                : QStringLiteral("<!DOCTYPE html>");
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n%3\n"
                          "<html xmlns=\"http://www.w3.org/1999/xhtml\" "
                          "xmlns:epub=\"http://www.idpf.org/2007/ops\"%1>\n"
                          "<head><title>Part</title><style>p { margin: 0 }</style></head>\n"
                          "<body>%2</body></html>\n")
        .arg(langs, body, doctype)
        .toUtf8();
}

QByteArray MakeEpub(const QList<EpubPart> &parts, const QString &language, const QByteArray &ncx,
                    const QList<ZipEntry> &extra) {
    QString manifest;
    QString spine;
    for (const EpubPart &part : parts) {
        manifest += QStringLiteral("<item id=\"%1\" href=\"%2\" media-type=\"application/"
                                   "xhtml+xml\"%3/>\n")
                        .arg(part.id, part.href,
                             part.properties.isEmpty()
                                 ? QString()
                                 : QStringLiteral(" properties=\"%1\"").arg(part.properties));
        spine += QStringLiteral("<itemref idref=\"%1\"%2/>\n")
                     .arg(part.id, part.linear ? QString() : QStringLiteral(" linear=\"no\""));
    }
    if (!ncx.isEmpty())
        manifest += QStringLiteral(
            "<item id=\"ncx\" href=\"toc.ncx\" media-type=\"application/x-dtbncx+xml\"/>\n");
    const QString opf =
        QStringLiteral(
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<package xmlns=\"http://www.idpf.org/2007/opf\" version=\"3.0\" "
            "unique-identifier=\"id\">\n"
            "<metadata xmlns:dc=\"http://purl.org/dc/elements/1.1/\">"
            "<dc:identifier id=\"id\">urn:uuid:1</dc:identifier><dc:title>A Book</dc:title>%1"
            "</metadata>\n<manifest>\n%2</manifest>\n<spine%3>\n%4</spine>\n</package>\n")
            .arg(language.isEmpty() ? QString()
                                    : QStringLiteral("<dc:language>%1</dc:language>").arg(language),
                 manifest, ncx.isEmpty() ? QString() : QStringLiteral(" toc=\"ncx\""), spine);
    QList<ZipEntry> entries = {
        {QStringLiteral("mimetype"), "application/epub+zip", true},
        {QStringLiteral("META-INF/container.xml"),
         "<?xml version=\"1.0\"?>\n<container version=\"1.0\" "
         "xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\"><rootfiles>"
         "<rootfile full-path=\"OEBPS/content.opf\" "
         "media-type=\"application/oebps-package+xml\"/></rootfiles></container>\n"},
        {QStringLiteral("OEBPS/content.opf"), opf.toUtf8()},
    };
    if (!ncx.isEmpty())
        entries.append({QStringLiteral("OEBPS/toc.ncx"), ncx});
    for (const EpubPart &part : parts)
        entries.append({QStringLiteral("OEBPS/") + part.href, part.content});
    entries.append(extra);
    return MakeZip(entries);
}

QByteArray MakeDocx(const QString &body, const QString &language) {
    const QByteArray w = "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"";
    QByteArray styles =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<w:styles " + w + ">";
    if (!language.isEmpty())
        styles += "<w:docDefaults><w:rPrDefault><w:rPr><w:lang w:val=\"" + language.toUtf8() +
                  "\"/></w:rPr></w:rPrDefault></w:docDefaults>";
    styles += "<w:style w:type=\"paragraph\" w:styleId=\"Heading1\"><w:name w:val=\"heading "
              "1\"/></w:style><w:style w:type=\"paragraph\" w:styleId=\"Heading2\"><w:name "
              "w:val=\"heading 2\"/><w:pPr><w:outlineLvl w:val=\"1\"/></w:pPr></w:style>"
              "<w:style w:type=\"paragraph\" w:styleId=\"ListParagraph\"><w:name w:val=\"List "
              "Paragraph\"/></w:style></w:styles>\n";
    const QByteArray document =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<w:document " + w +
        "><w:body>" + body.toUtf8() + "</w:body></w:document>\n";
    return MakeZip({
        {QStringLiteral("[Content_Types].xml"),
         "<?xml version=\"1.0\"?><Types "
         "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"/>"},
        {QStringLiteral("word/document.xml"), document},
        {QStringLiteral("word/styles.xml"), styles},
    });
}

QByteArray MakeOdt(const QString &text, const QString &language) {
    const QByteArray ns = "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
                          "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
                          "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
                          "xmlns:dc=\"http://purl.org/dc/elements/1.1/\" "
                          "xmlns:meta=\"urn:oasis:names:tc:opendocument:xmlns:meta:1.0\"";
    const QByteArray content =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document-content " + ns +
        "><office:body><office:text>" + text.toUtf8() +
        "</office:text></office:body></office:document-content>\n";
    QList<ZipEntry> entries = {
        {QStringLiteral("mimetype"), "application/vnd.oasis.opendocument.text", true},
        {QStringLiteral("content.xml"), content},
    };
    if (!language.isEmpty())
        entries.append({QStringLiteral("meta.xml"),
                        "<?xml version=\"1.0\"?><office:document-meta " + ns +
                            "><office:meta><dc:language>" + language.toUtf8() +
                            "</dc:language></office:meta></office:document-meta>"});
    return MakeZip(entries);
}

QByteArray MakePdf(const QList<QStringList> &pages, const QString &header, bool numbers) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setResolution(72); // a point per pixel
    writer.setPageSize(QPageSize(QPageSize::A5));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    QPainter painter(&writer);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(11);
    painter.setFont(font);
    const int height = writer.height();
    for (qsizetype p = 0; p < pages.size(); ++p) {
        if (p > 0)
            writer.newPage();
        if (!header.isEmpty())
            painter.drawText(60, 30, header);
        int y = 80;
        for (const QString &line : pages[p]) {
            if (!line.isEmpty())
                painter.drawText(50, y, line);
            y += 15;
        }
        if (numbers)
            painter.drawText(200, height - 25, QString::number(p + 1));
    }
    painter.end();
    return buffer.data();
}

QByteArray MakePicturePdf() {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setResolution(72);
    QPainter painter(&writer);
    QImage scan(200, 100, QImage::Format_RGB32);
    scan.fill(Qt::white);
    QPainter ink(&scan);
    ink.fillRect(20, 40, 160, 8, Qt::black); // a line of "writing"
    ink.end();
    painter.drawImage(QRect(40, 40, 400, 200), scan);
    painter.end();
    return buffer.data();
}
