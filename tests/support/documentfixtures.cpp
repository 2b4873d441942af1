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
            "<dc:identifier id=\"id\">urn:uuid:1</dc:identifier><dc:title>A Book</dc:title>"
            "<dc:creator>Ann Author</dc:creator>%1"
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

QByteArray MakeOutlinedPdf(const QList<QList<PdfLine>> &pages,
                           const QList<PdfOutlineEntry> &outline) {
    // Objects: 1 catalog, 2 pages, 3 outline root, 4 font, then per page its
    // page and contents, then the outline's entries.
    const int firstPage = 5;
    const int firstEntry = firstPage + 2 * int(pages.size());
    const auto pageRef = [&](int page) { return firstPage + 2 * page; };
    QList<QByteArray> objects(firstEntry + outline.size() - 1);
    QByteArray kids;
    for (int p = 0; p < pages.size(); ++p) {
        kids += QByteArray::number(pageRef(p)) + " 0 R ";
        QByteArray content = "BT /F1 12 Tf\n";
        for (const PdfLine &line : pages[p])
            content += "1 0 0 1 72 " + QByteArray::number(line.y) + " Tm (" + line.text.toLatin1() +
                       ") Tj\n";
        content += "ET\n";
        objects[pageRef(p) - 1] =
            "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources << /Font << /F1 4 "
            "0 R >> >> /Contents " +
            QByteArray::number(pageRef(p) + 1) + " 0 R >>";
        objects[pageRef(p)] = "<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" +
                              content + "endstream";
    }
    objects[0] = "<< /Type /Catalog /Pages 2 0 R /Outlines 3 0 R /PageMode /UseOutlines >>";
    objects[1] =
        "<< /Type /Pages /Kids [" + kids + "] /Count " + QByteArray::number(pages.size()) + " >>";
    objects[3] = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>";
    // Each entry's parent, and its siblings before and after.
    QList<int> parent(outline.size(), 3);
    for (int i = 0; i < outline.size(); ++i)
        if (outline[i].level == 2)
            for (int j = i - 1; j >= 0; --j)
                if (outline[j].level == 1) {
                    parent[i] = firstEntry + j;
                    break;
                }
    const auto ref = [](int object) { return QByteArray::number(object) + " 0 R"; };
    const auto children = [&](int of) {
        QList<int> found;
        for (int i = 0; i < outline.size(); ++i)
            if (parent[i] == of)
                found << firstEntry + i;
        return found;
    };
    const auto family = [&](int of) {
        const QList<int> kin = children(of);
        if (kin.isEmpty())
            return QByteArray();
        return " /First " + ref(kin.first()) + " /Last " + ref(kin.last()) + " /Count " +
               QByteArray::number(kin.size());
    };
    objects[2] = "<< /Type /Outlines" + family(3) + " >>";
    for (int i = 0; i < outline.size(); ++i) {
        const QList<int> kin = children(parent[i]);
        const qsizetype at = kin.indexOf(firstEntry + i);
        QByteArray entry = "<< /Title (" + outline[i].title.toLatin1() + ") /Parent " +
                           ref(parent[i]) + family(firstEntry + i);
        if (at > 0)
            entry += " /Prev " + ref(kin[at - 1]);
        if (at + 1 < kin.size())
            entry += " /Next " + ref(kin[at + 1]);
        entry += " /Dest [" + ref(pageRef(outline[i].page)) + " /XYZ 0 " +
                 QByteArray::number(outline[i].y) + " 0] >>";
        objects[firstEntry + i - 1] = entry;
    }
    QByteArray pdf = "%PDF-1.4\n";
    QList<qsizetype> offsets;
    for (int i = 0; i < objects.size(); ++i) {
        offsets << pdf.size();
        pdf += QByteArray::number(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const qsizetype xref = pdf.size();
    pdf += "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (const qsizetype offset : offsets)
        pdf += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    pdf += "trailer\n<< /Size " + QByteArray::number(objects.size() + 1) +
           " /Root 1 0 R >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
    return pdf;
}
