// FictionBook 2: the main body's sections, their titles as headings (nested
// sections one level deeper), paragraphs, poems line by line. The notes'
// body, pictures and the description are left out, but for the language.
#include "documents/documenterror.h"
#include "documents/markupdocument.h"
#include "documents/readers.h"
#include "documents/textflow.h"

#include <QXmlStreamReader>

Document ReadFb2(const QByteArray &xml, const std::atomic<bool> *stop) {
    QXmlStreamReader reader(xml);
    HtmlEntities entities;
    reader.setEntityResolver(&entities);
    TextFlow flow;
    int unread = 0;
    int depth = 0; // sections
    int titles = 0;
    bool inBody = false;
    bool inLang = false;
    bool inTitleInfo = false;
    bool inParagraph = false;
    const auto isBlock = [](QStringView n) {
        return n == QLatin1String("p") || n == QLatin1String("subtitle") ||
               n == QLatin1String("text-author") || n == QLatin1String("epigraph") ||
               n == QLatin1String("cite") || n == QLatin1String("poem") ||
               n == QLatin1String("stanza") || n == QLatin1String("empty-line") ||
               n == QLatin1String("table");
    };
    std::uint64_t seen = 0;
    while (!reader.atEnd()) {
        if ((++seen & 0xFFF) == 0)
            ThrowIfStopped(stop);
        const auto token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            const QStringView n = reader.name();
            if (unread > 0) {
                ++unread;
                continue;
            }
            if (n == QLatin1String("title-info"))
                inTitleInfo = true;
            else if (n == QLatin1String("lang") && inTitleInfo)
                inLang = true;
            else if (n == QLatin1String("body")) {
                const QStringView name = reader.attributes().value(QLatin1String("name"));
                if (name == QLatin1String("notes") || name == QLatin1String("comments"))
                    unread = 1;
                else
                    inBody = true;
            } else if (!inBody) {
                continue;
            } else if ((n == QLatin1String("a") && reader.attributes().value(QLatin1String(
                                                       "type")) == QLatin1String("note")) ||
                       n == QLatin1String("image") || n == QLatin1String("binary")) {
                unread = 1;
            } else if (n == QLatin1String("section")) {
                ++depth;
                flow.EndBlock();
            } else if (n == QLatin1String("title")) {
                if (titles++ == 0)
                    flow.BeginHeading(std::max(depth, 1));
            } else if (n == QLatin1String("v") || n == QLatin1String("tr")) {
                flow.EndLine();
                inParagraph = true;
            } else if (n == QLatin1String("td") || n == QLatin1String("th")) {
                flow.Cell();
                inParagraph = true;
            } else if (isBlock(n)) {
                if (titles > 0)
                    flow.Space(); // a title's paragraphs are one heading
                else
                    flow.EndBlock();
                inParagraph = n != QLatin1String("empty-line");
            }
        } else if (token == QXmlStreamReader::EndElement) {
            if (unread > 0) {
                --unread;
                continue;
            }
            const QStringView n = reader.name();
            if (n == QLatin1String("title-info"))
                inTitleInfo = false;
            else if (n == QLatin1String("lang"))
                inLang = false;
            else if (n == QLatin1String("body"))
                inBody = false;
            else if (!inBody)
                continue;
            else if (n == QLatin1String("section")) {
                --depth;
                flow.EndBlock();
            } else if (n == QLatin1String("title")) {
                if (--titles == 0)
                    flow.EndHeading();
            } else if (n == QLatin1String("v") || n == QLatin1String("tr")) {
                flow.EndLine();
            } else if (isBlock(n) && titles == 0) {
                flow.EndBlock();
            }
        } else if (token == QXmlStreamReader::Characters && unread == 0) {
            if (inLang)
                flow.SetLanguage(reader.text().toString());
            else if (inBody && (inParagraph || titles > 0))
                flow.Text(reader.text());
        } else if (token == QXmlStreamReader::EntityReference && unread == 0 && inBody) {
            flow.Text(entities.resolveUndeclaredEntity(reader.name().toString()));
        }
    }
    ThrowIfMalformed(reader, QStringLiteral("FictionBook"));
    return flow.Finish();
}
