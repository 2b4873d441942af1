#pragma once

#include <QByteArray>
#include <QString>
#include <QXmlStreamEntityResolver>
#include <functional>

class QXmlStreamReader;
class TextFlow;

// Reads one XHTML part of a book (strict XML; HTML's named entities such as
// &nbsp; are known) into `flow`. `onId` hears each element's id as the
// element starts, before its words. Throws DocumentError when the part is
// not well-formed.
void ReadXhtmlInto(TextFlow &flow, const QByteArray &xml, const QString &part,
                   const std::function<void(const QString &id)> &onId = {});

// HTML's named entities for an XML reader, from libxml2's table.
class HtmlEntities final : public QXmlStreamEntityResolver {
public:
    QString resolveUndeclaredEntity(const QString &name) override;
};

// Throws DocumentError when `reader` ended on an error in `part`.
void ThrowIfMalformed(const QXmlStreamReader &reader, const QString &part);
