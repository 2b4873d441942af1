#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <utility>

// Documents made at run time for the tests and benchmarks: zip archives
// (EPUB, DOCX, ODT) written by libzip from small XML strings, and PDFs drawn
// by QPdfWriter (which needs a QGuiApplication).

struct ZipEntry {
    QString name;
    QByteArray data;
    bool stored = false; // not compressed (an EPUB's mimetype)
};
QByteArray MakeZip(const QList<ZipEntry> &entries);

// An XHTML page with `body` as its body's content; `xhtml11`: with the XHTML
// 1.1 document type older books carry, else HTML5's.
QByteArray Xhtml(const QString &body, const QString &lang = {}, bool xhtml11 = false);

struct EpubPart {
    EpubPart(QString id, QString href, QByteArray content, bool linear = true,
             QString properties = {})
        : id(std::move(id)), href(std::move(href)), content(std::move(content)), linear(linear),
          properties(std::move(properties)) {}
    QString id;
    QString href; // beside the package, in OEBPS/
    QByteArray content;
    bool linear = true;
    QString properties; // "nav" for the navigation document
};
// An EPUB whose package states `language` (none if empty); `ncx`, when
// given, is the EPUB 2 table of contents (OEBPS/toc.ncx). `extra` entries
// are added as they are (META-INF/encryption.xml...).
QByteArray MakeEpub(const QList<EpubPart> &parts, const QString &language,
                    const QByteArray &ncx = {}, const QList<ZipEntry> &extra = {});

// A DOCX of `body` (the content of w:body) with Word's heading styles.
QByteArray MakeDocx(const QString &body, const QString &language = {});
// An ODT of `text` (the content of office:text).
QByteArray MakeOdt(const QString &text, const QString &language = {});

// A PDF of pages of lines (an empty line leaves a paragraph's gap); each page
// gets `header` at its top and, when `numbers`, its number at its foot.
QByteArray MakePdf(const QList<QStringList> &pages, const QString &header = {},
                   bool numbers = false);
// A PDF whose only page is a picture: a scan.
QByteArray MakePicturePdf();

// A PDF written out object by object, for what QPdfWriter cannot make: an
// outline. Each page is lines of text at heights from the page's foot (in
// points, on a 595 x 842 page, Helvetica 12); each outline entry leads to a
// height on a page, level 2 entries nest under the level 1 before them.
struct PdfLine {
    int y;
    QString text; // ASCII
};
struct PdfOutlineEntry {
    QString title;
    int level;
    int page; // from 0
    int y;
};
QByteArray MakeOutlinedPdf(const QList<QList<PdfLine>> &pages,
                           const QList<PdfOutlineEntry> &outline);
