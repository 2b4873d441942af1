// Office documents: Word's DOCX (word/document.xml, headings by their styles'
// outline levels) and OpenDocument text (content.xml). Paragraphs, headings,
// list items and table rows; notes, comments, headers and footers are left out.
#include "documents/documenterror.h"
#include "documents/markupdocument.h"
#include "documents/readers.h"
#include "documents/textflow.h"
#include "documents/ziparchive.h"

#include <QHash>
#include <QRegularExpression>
#include <QXmlStreamReader>

namespace {

constexpr QLatin1String kWord("http://schemas.openxmlformats.org/wordprocessingml/2006/main");

struct WordStyles {
    QHash<QString, int> headingLevels; // style id -> 1 for Heading 1...
    QString language;
};

// Headings are told by their style: its outline level, or a name such as
// "heading 2" (Word's own names are English whatever the user's language).
WordStyles ReadWordStyles(ZipArchive &zip) {
    WordStyles styles;
    const QString name = QStringLiteral("word/styles.xml");
    if (!zip.Has(name))
        return styles;
    QXmlStreamReader reader(zip.Read(name));
    QString id;
    bool inDefaults = false;
    static const QRegularExpression kHeading(QStringLiteral("^heading (\\d)$"),
                                             QRegularExpression::CaseInsensitiveOption);
    while (!reader.atEnd()) {
        const auto token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            const QStringView n = reader.name();
            const QXmlStreamAttributes a = reader.attributes();
            const QString val = a.value(kWord, QLatin1String("val")).toString();
            if (n == QLatin1String("docDefaults"))
                inDefaults = true;
            else if (n == QLatin1String("lang") && inDefaults && styles.language.isEmpty())
                styles.language = val;
            else if (n == QLatin1String("style"))
                id = a.value(kWord, QLatin1String("type")) == QLatin1String("paragraph")
                         ? a.value(kWord, QLatin1String("styleId")).toString()
                         : QString();
            else if (n == QLatin1String("name") && !id.isEmpty()) {
                if (const auto m = kHeading.match(val); m.hasMatch())
                    styles.headingLevels.insert(id, m.captured(1).toInt());
                else if (val.compare(QLatin1String("title"), Qt::CaseInsensitive) == 0)
                    styles.headingLevels.insert(id, 1);
            } else if (n == QLatin1String("outlineLvl") && !id.isEmpty()) {
                const int level = val.toInt() + 1;
                if (level >= 1 && level <= 9)
                    styles.headingLevels.insert(id, level);
            }
        } else if (token == QXmlStreamReader::EndElement) {
            if (reader.name() == QLatin1String("docDefaults"))
                inDefaults = false;
            else if (reader.name() == QLatin1String("style"))
                id.clear();
        }
    }
    ThrowIfMalformed(reader, name);
    return styles;
}

// Where a paragraph stands: a heading, a list item, in a table cell.
struct Paragraph {
    int heading = 0;
    bool listItem = false;
};

} // namespace

Document ReadDocx(ZipArchive &zip) {
    const WordStyles styles = ReadWordStyles(zip);
    const QString name = QStringLiteral("word/document.xml");
    QXmlStreamReader reader(zip.Read(name));
    TextFlow flow;
    flow.SetLanguage(styles.language);
    int cells = 0;       // table cells we are in
    int unread = 0;      // inside something never read
    bool inText = false; // w:t
    bool lastWasItem = false;
    bool tableOfContents = false;
    Paragraph paragraph;
    bool open = false;
    const auto startParagraph = [&] {
        if (cells > 0)
            flow.Space();
        else if (paragraph.heading > 0)
            flow.BeginHeading(paragraph.heading);
        else if (paragraph.listItem && lastWasItem)
            flow.EndLine();
        else
            flow.EndBlock();
    };
    while (!reader.atEnd()) {
        const auto token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            const QStringView n = reader.name();
            if (unread > 0) {
                ++unread;
                continue;
            }
            // Deleted text, field codes, the second copy of drawings, notes' marks
            if (n == QLatin1String("del") || n == QLatin1String("instrText") ||
                n == QLatin1String("Fallback") || n == QLatin1String("delText") ||
                n == QLatin1String("footnoteReference") || n == QLatin1String("endnoteReference") ||
                n == QLatin1String("commentReference")) {
                unread = 1;
            } else if (n == QLatin1String("docPartGallery")) {
                // A table of contents Word made: its entries repeat the headings.
                tableOfContents = reader.attributes().value(kWord, QLatin1String("val")) ==
                                  QLatin1String("Table of Contents");
            } else if (n == QLatin1String("sdtContent") && tableOfContents) {
                tableOfContents = false;
                unread = 1;
            } else if (n == QLatin1String("p")) {
                paragraph = Paragraph();
                open = false;
            } else if (n == QLatin1String("pStyle")) {
                paragraph.heading = styles.headingLevels.value(
                    reader.attributes().value(kWord, QLatin1String("val")).toString());
            } else if (n == QLatin1String("outlineLvl")) {
                const int level =
                    reader.attributes().value(kWord, QLatin1String("val")).toInt() + 1;
                if (level >= 1 && level <= 9)
                    paragraph.heading = level;
            } else if (n == QLatin1String("numPr")) {
                paragraph.listItem = true;
            } else if (n == QLatin1String("tr")) {
                flow.EndLine();
            } else if (n == QLatin1String("tc")) {
                ++cells;
                flow.Cell();
            } else if (n == QLatin1String("tbl")) {
                flow.EndBlock();
            } else if (n == QLatin1String("t")) {
                inText = true;
            } else if (n == QLatin1String("tab") || n == QLatin1String("noBreakHyphen")) {
                if (open)
                    flow.Text(n == QLatin1String("tab") ? QStringView(u" ") : QStringView(u"-"));
            } else if ((n == QLatin1String("br") || n == QLatin1String("cr")) && open) {
                flow.LineBreak();
            }
        } else if (token == QXmlStreamReader::EndElement) {
            if (unread > 0) {
                --unread;
                continue;
            }
            const QStringView n = reader.name();
            if (n == QLatin1String("t")) {
                inText = false;
            } else if (n == QLatin1String("p")) {
                if (open) {
                    if (paragraph.heading > 0 && cells == 0)
                        flow.EndHeading();
                    lastWasItem = paragraph.listItem && cells == 0;
                }
                open = false;
            } else if (n == QLatin1String("tc")) {
                --cells;
            } else if (n == QLatin1String("tr")) {
                flow.EndLine();
            } else if (n == QLatin1String("tbl")) {
                flow.EndBlock();
                lastWasItem = false;
            }
        } else if (token == QXmlStreamReader::Characters && inText && unread == 0) {
            if (!open) { // the properties come first, so they are known by now
                open = true;
                startParagraph();
            }
            flow.Text(reader.text());
        }
    }
    ThrowIfMalformed(reader, name);
    return flow.Finish();
}

namespace {

constexpr QLatin1String kOdfText("urn:oasis:names:tc:opendocument:xmlns:text:1.0");
constexpr QLatin1String kOdfFo("urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0");

QString OdtLanguage(ZipArchive &zip) {
    for (const char *part : {"meta.xml", "styles.xml"}) {
        const QString name = QString::fromLatin1(part);
        if (!zip.Has(name))
            continue;
        QXmlStreamReader reader(zip.Read(name));
        bool inLanguage = false;
        while (!reader.atEnd()) {
            const auto token = reader.readNext();
            if (token == QXmlStreamReader::StartElement) {
                if (reader.name() == QLatin1String("language"))
                    inLanguage = true;
                else if (reader.name() == QLatin1String("text-properties")) {
                    const QString language =
                        reader.attributes().value(kOdfFo, QLatin1String("language")).toString();
                    const QString country =
                        reader.attributes().value(kOdfFo, QLatin1String("country")).toString();
                    if (!language.isEmpty() && language != QLatin1String("none"))
                        return country.isEmpty() || country == QLatin1String("none")
                                   ? language
                                   : language + u'-' + country;
                }
            } else if (token == QXmlStreamReader::Characters && inLanguage) {
                return reader.text().trimmed().toString();
            }
        }
        ThrowIfMalformed(reader, name);
    }
    return {};
}

} // namespace

Document ReadOdt(ZipArchive &zip) {
    const QString name = QStringLiteral("content.xml");
    QXmlStreamReader reader(zip.Read(name));
    TextFlow flow;
    flow.SetLanguage(OdtLanguage(zip));
    int unread = 0;
    int inBody = 0;
    int items = 0; // list items we are in
    int cells = 0;
    bool lastWasItem = false;
    std::vector<int> open; // 0 paragraph, n heading level n
    while (!reader.atEnd()) {
        const auto token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            const QStringView n = reader.name();
            if (unread > 0) {
                ++unread;
                continue;
            }
            if (n == QLatin1String("body")) {
                ++inBody;
                continue;
            }
            if (!inBody)
                continue;
            if (n == QLatin1String("note") || n == QLatin1String("annotation") ||
                n == QLatin1String("tracked-changes") || n == QLatin1String("sequence-decls") ||
                n == QLatin1String("desc") || n == QLatin1String("title") ||
                n == QLatin1String("table-of-content") || n == QLatin1String("index-title")) {
                unread = 1;
            } else if (n == QLatin1String("h")) {
                int level =
                    reader.attributes().value(kOdfText, QLatin1String("outline-level")).toInt();
                if (cells > 0) {
                    flow.Space();
                    open.push_back(0);
                } else {
                    flow.BeginHeading(level > 0 ? level : 1);
                    open.push_back(level > 0 ? level : 1);
                }
            } else if (n == QLatin1String("p")) {
                if (cells > 0)
                    flow.Space();
                else if (items > 0 && lastWasItem)
                    flow.EndLine();
                else
                    flow.EndBlock();
                lastWasItem = items > 0;
                open.push_back(0);
            } else if (n == QLatin1String("list-item")) {
                ++items;
            } else if (n == QLatin1String("list")) {
                if (items == 0)
                    lastWasItem = false;
            } else if (n == QLatin1String("table-row")) {
                flow.EndLine();
            } else if (n == QLatin1String("table-cell")) {
                ++cells;
                flow.Cell();
            } else if (n == QLatin1String("table")) {
                flow.EndBlock();
            } else if (n == QLatin1String("s") || n == QLatin1String("tab")) {
                flow.Text(u" ");
            } else if (n == QLatin1String("line-break")) {
                flow.LineBreak();
            }
        } else if (token == QXmlStreamReader::EndElement) {
            if (unread > 0) {
                --unread;
                continue;
            }
            const QStringView n = reader.name();
            if (n == QLatin1String("body")) {
                --inBody;
            } else if ((n == QLatin1String("h") || n == QLatin1String("p")) && !open.empty()) {
                if (open.back() > 0) {
                    flow.EndHeading();
                    lastWasItem = false;
                }
                open.pop_back();
            } else if (n == QLatin1String("list-item")) {
                --items;
            } else if (n == QLatin1String("table-cell")) {
                --cells;
            } else if (n == QLatin1String("table-row")) {
                flow.EndLine();
            } else if (n == QLatin1String("table")) {
                flow.EndBlock();
                lastWasItem = false;
            }
        } else if (token == QXmlStreamReader::Characters && unread == 0 && !open.empty()) {
            flow.Text(reader.text());
        }
    }
    ThrowIfMalformed(reader, name);
    return flow.Finish();
}
