#include "markupdocument.h"

#include "documents/documenterror.h"
#include "documents/readers.h"
#include "documents/textflow.h"

#include <QRegularExpression>
#include <QStringConverter>
#include <QXmlStreamReader>
#include <cmark.h>
#include <cstdlib>
#include <libxml/HTMLparser.h>
#include <libxml/tree.h>
#include <memory>
#include <vector>

namespace {

// What an element says of itself that decides how it is read.
struct Element {
    QString name; // lower case, without prefix
    QString id;
    QString lang;
    QString type; // epub:type
    QString role;
    QString style;
    bool hidden = false;
};

bool HasToken(const QString &list, QLatin1String token) {
    const QStringList tokens = list.split(u' ', Qt::SkipEmptyParts);
    return std::any_of(tokens.begin(), tokens.end(), [&](const QString &t) {
        return t.compare(token, Qt::CaseInsensitive) == 0 ||
               t.endsWith(QLatin1Char(':') + token, Qt::CaseInsensitive);
    });
}

// Never read: what the page only draws, runs or hides, its navigation, and
// notes (whose marks would break the sentence they sit in).
bool Unread(const Element &e) {
    static const QLatin1String kNames[] = {
        QLatin1String("script"), QLatin1String("style"),    QLatin1String("nav"),
        QLatin1String("head"),   QLatin1String("template"), QLatin1String("noscript"),
        QLatin1String("svg"),    QLatin1String("iframe"),   QLatin1String("object"),
        QLatin1String("embed"),  QLatin1String("audio"),    QLatin1String("video"),
        QLatin1String("canvas"), QLatin1String("select"),   QLatin1String("textarea"),
        QLatin1String("input"),  QLatin1String("rt"),       QLatin1String("rp"),
        QLatin1String("button"), QLatin1String("img"),      QLatin1String("map")};
    for (const QLatin1String name : kNames)
        if (e.name == name)
            return true;
    if (e.hidden)
        return true;
    static const QRegularExpression kHidden(
        QStringLiteral("(^|;)\\s*(display\\s*:\\s*none|visibility\\s*:\\s*hidden)"),
        QRegularExpression::CaseInsensitiveOption);
    if (!e.style.isEmpty() && kHidden.match(e.style).hasMatch())
        return true;
    for (const QLatin1String token :
         {QLatin1String("pagebreak"), QLatin1String("footnote"), QLatin1String("endnote"),
          QLatin1String("endnotes"), QLatin1String("rearnote"), QLatin1String("rearnotes"),
          QLatin1String("noteref"), QLatin1String("toc"), QLatin1String("landmarks")})
        if (HasToken(e.type, token))
            return true;
    for (const QLatin1String role :
         {QLatin1String("doc-pagebreak"), QLatin1String("doc-footnote"),
          QLatin1String("doc-endnote"), QLatin1String("doc-endnotes"), QLatin1String("doc-noteref"),
          QLatin1String("navigation"), QLatin1String("doc-toc")})
        if (HasToken(e.role, role))
            return true;
    return false;
}

enum class Kind { Inline, Unread, Block, Heading, Line, Cell, Pre, Break };

Kind KindOf(const Element &e) {
    if (Unread(e))
        return Kind::Unread;
    const QString &n = e.name;
    if (n.size() == 2 && n[0] == u'h' && n[1] >= u'1' && n[1] <= u'6')
        return Kind::Heading;
    if (n == QLatin1String("li") || n == QLatin1String("tr") || n == QLatin1String("dt") ||
        n == QLatin1String("dd"))
        return Kind::Line;
    if (n == QLatin1String("td") || n == QLatin1String("th"))
        return Kind::Cell;
    if (n == QLatin1String("pre"))
        return Kind::Pre;
    if (n == QLatin1String("br"))
        return Kind::Break;
    static const QLatin1String kBlocks[] = {
        QLatin1String("p"),       QLatin1String("div"),        QLatin1String("blockquote"),
        QLatin1String("section"), QLatin1String("article"),    QLatin1String("header"),
        QLatin1String("footer"),  QLatin1String("aside"),      QLatin1String("main"),
        QLatin1String("figure"),  QLatin1String("figcaption"), QLatin1String("address"),
        QLatin1String("center"),  QLatin1String("dl"),         QLatin1String("hr"),
        QLatin1String("form"),    QLatin1String("fieldset"),   QLatin1String("caption"),
        QLatin1String("details"), QLatin1String("summary"),    QLatin1String("body"),
        QLatin1String("table"),   QLatin1String("ul"),         QLatin1String("ol"),
        QLatin1String("title"),   QLatin1String("legend"),     QLatin1String("hgroup"),
        QLatin1String("thead"),   QLatin1String("tbody"),      QLatin1String("tfoot")};
    for (const QLatin1String block : kBlocks)
        if (n == block)
            return Kind::Block;
    return Kind::Inline;
}

// Turns elements and their words, as either parser meets them, into text.
class Walker {
public:
    Walker(TextFlow &flow, const std::function<void(const QString &)> &onId)
        : flow_(flow), onId_(onId) {}

    void Open(const Element &e) {
        if (unread_ > 0) {
            ++unread_;
            return;
        }
        const Kind kind = KindOf(e);
        if (kind == Kind::Unread) {
            unread_ = 1;
            return;
        }
        if (!e.id.isEmpty() && onId_)
            onId_(e.id);
        if (e.name == QLatin1String("html") && !e.lang.isEmpty())
            flow_.SetLanguage(e.lang);
        switch (kind) {
        case Kind::Heading:
            flow_.BeginHeading(e.name[1].digitValue());
            break;
        case Kind::Block:
            flow_.EndBlock();
            break;
        case Kind::Line:
            flow_.EndLine();
            break;
        case Kind::Cell:
            flow_.Cell();
            break;
        case Kind::Pre:
            flow_.EndBlock();
            ++pre_;
            break;
        case Kind::Break:
            flow_.LineBreak();
            break;
        case Kind::Inline:
        case Kind::Unread:
            break;
        }
        open_.push_back(kind);
    }

    void Close() {
        if (unread_ > 0) {
            --unread_;
            return;
        }
        if (open_.empty())
            return;
        const Kind kind = open_.back();
        open_.pop_back();
        switch (kind) {
        case Kind::Heading:
            flow_.EndHeading();
            break;
        case Kind::Block:
            flow_.EndBlock();
            break;
        case Kind::Line:
            flow_.EndLine();
            break;
        case Kind::Pre:
            --pre_;
            flow_.EndBlock();
            break;
        default:
            break;
        }
    }

    void Characters(QStringView text) {
        if (unread_ > 0)
            return;
        if (pre_ > 0)
            flow_.Verbatim(text);
        else
            flow_.Text(text);
    }

private:
    TextFlow &flow_;
    const std::function<void(const QString &)> &onId_;
    std::vector<Kind> open_;
    int unread_ = 0;
    int pre_ = 0;
};

Element FromXml(const QXmlStreamReader &reader) {
    Element e;
    e.name = reader.name().toString().toLower();
    for (const QXmlStreamAttribute &a : reader.attributes()) {
        const QStringView name = a.name();
        if (name == QLatin1String("id"))
            e.id = a.value().toString();
        else if (name == QLatin1String("lang") && (e.lang.isEmpty() || !a.prefix().isEmpty()))
            e.lang = a.value().toString();
        else if (name == QLatin1String("type") && !a.prefix().isEmpty())
            e.type = a.value().toString();
        else if (name == QLatin1String("role"))
            e.role = a.value().toString();
        else if (name == QLatin1String("style"))
            e.style = a.value().toString();
        else if (name == QLatin1String("hidden"))
            e.hidden = true;
        else if (name == QLatin1String("aria-hidden"))
            e.hidden = a.value().compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
    }
    return e;
}

QString Utf8(const xmlChar *text) {
    return text ? QString::fromUtf8(reinterpret_cast<const char *>(text)) : QString();
}

QString Property(xmlNode *node, const char *name) {
    xmlChar *value = xmlGetProp(node, reinterpret_cast<const xmlChar *>(name));
    QString text = Utf8(value);
    xmlFree(value);
    return text;
}

bool HasProperty(xmlNode *node, const char *name) {
    return xmlHasProp(node, reinterpret_cast<const xmlChar *>(name)) != nullptr;
}

Element FromHtml(xmlNode *node) {
    Element e;
    e.name = Utf8(node->name).toLower();
    e.id = Property(node, "id");
    e.lang = Property(node, "lang");
    if (HasProperty(node, "xml:lang"))
        e.lang = Property(node, "xml:lang");
    e.type = Property(node, "epub:type");
    e.role = Property(node, "role");
    e.style = Property(node, "style");
    e.hidden =
        HasProperty(node, "hidden") ||
        Property(node, "aria-hidden").compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
    return e;
}

// Walks libxml2's tree without recursion: a page may nest deeper than a
// stack would bear.
void WalkHtml(xmlNode *root, Walker &walker) {
    xmlNode *node = root;
    while (node) {
        if (node->type == XML_ELEMENT_NODE) {
            walker.Open(FromHtml(node));
            if (node->children) {
                node = node->children;
                continue;
            }
            walker.Close();
        } else if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) {
            walker.Characters(Utf8(node->content));
        }
        while (node && !node->next) {
            node = node->parent;
            if (!node || node == root->parent)
                return;
            if (node->type == XML_ELEMENT_NODE)
                walker.Close();
        }
        if (node)
            node = node->next;
    }
}

// HTML from bytes: libxml2 finds the encoding from a byte-order mark or the
// page's own meta tag; without either, UTF-8 if the bytes are that.
Document ParseHtml(std::string_view bytes, const char *encoding) {
    const int options = HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
                        HTML_PARSE_NONET | HTML_PARSE_NOBLANKS;
    std::unique_ptr<xmlDoc, void (*)(xmlDocPtr)> doc(
        htmlReadMemory(bytes.data(), int(std::min<std::size_t>(bytes.size(), INT_MAX)), nullptr,
                       encoding, options),
        xmlFreeDoc);
    if (!doc)
        throw DocumentError{QStringLiteral("it is not a web page that can be read.")};
    TextFlow flow;
    const std::function<void(const QString &)> none;
    Walker walker(flow, none);
    WalkHtml(xmlDocGetRootElement(doc.get()), walker);
    return flow.Finish();
}

bool NamesCharset(std::string_view bytes) {
    const QByteArray head =
        QByteArray(bytes.data(), qsizetype(std::min<std::size_t>(bytes.size(), 4096))).toLower();
    return head.contains("charset") || head.contains("encoding=");
}

} // namespace

QString HtmlEntities::resolveUndeclaredEntity(const QString &name) {
    const QByteArray latin = name.toLatin1();
    const htmlEntityDesc *entity =
        htmlEntityLookup(reinterpret_cast<const xmlChar *>(latin.constData()));
    if (!entity)
        return {};
    const char32_t code = entity->value;
    return QString::fromUcs4(&code, 1);
}

void ThrowIfMalformed(const QXmlStreamReader &reader, const QString &part) {
    if (!reader.hasError())
        return;
    throw DocumentError{QStringLiteral("its part \"%1\" is not well-formed XML (line %2: %3).")
                            .arg(part)
                            .arg(reader.lineNumber())
                            .arg(reader.errorString())};
}

void ReadXhtmlInto(TextFlow &flow, const QByteArray &xml, const QString &part,
                   const std::function<void(const QString &)> &onId) {
    QXmlStreamReader reader(xml);
    HtmlEntities entities;
    reader.setEntityResolver(&entities);
    Walker walker(flow, onId);
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement:
            walker.Open(FromXml(reader));
            break;
        case QXmlStreamReader::EndElement:
            walker.Close();
            break;
        case QXmlStreamReader::Characters:
            walker.Characters(reader.text());
            break;
        case QXmlStreamReader::EntityReference:
            walker.Characters(entities.resolveUndeclaredEntity(reader.name().toString()));
            break;
        default:
            break;
        }
    }
    ThrowIfMalformed(reader, part);
    flow.EndBlock();
}

Document ReadHtml(std::string_view bytes) {
    const bool utf8 =
        QStringConverter::encodingForData(QByteArrayView(bytes.data(), qsizetype(bytes.size()))) ||
                NamesCharset(bytes)
            ? false
            : QByteArrayView(bytes.data(), qsizetype(bytes.size())).isValidUtf8();
    return ParseHtml(bytes, utf8 ? "UTF-8" : nullptr);
}

// Markdown through cmark to HTML, read as any page is. Its text is UTF-8,
// or else taken in the system's code page.
Document ReadMarkdown(std::string_view bytes) {
    const QByteArrayView view(bytes.data(), qsizetype(bytes.size()));
    QByteArray utf8;
    if (const auto marked = QStringConverter::encodingForData(view)) {
        QStringDecoder decoder(*marked);
        utf8 = QString(decoder.decode(view)).toUtf8();
    } else if (view.isValidUtf8()) {
        utf8 = view.toByteArray();
    } else {
        utf8 = QString::fromLocal8Bit(view).toUtf8();
    }
    std::unique_ptr<char, void (*)(void *)> html(
        cmark_markdown_to_html(utf8.constData(), std::size_t(utf8.size()), CMARK_OPT_DEFAULT),
        std::free);
    if (!html)
        throw DocumentError{QStringLiteral("it is not Markdown that can be read.")};
    const std::string_view page(html.get());
    if (page.empty())
        return {};
    return ParseHtml(page, "UTF-8");
}
