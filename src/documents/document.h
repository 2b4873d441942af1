#pragma once

#include <QList>
#include <QString>

// A heading of a document: where it starts in the document's text.
struct DocumentSection {
    QString title;
    int level = 1;        // 1 for a chapter, deeper for its parts
    qsizetype offset = 0; // UTF-16 units into Document::text
};

// What the editor needs of a file: its words in reading order, its headings,
// and the language it says it is in (a BCP 47 tag such as "fr" or "en-GB";
// empty when it says none). A book may name its title and author; empty
// when it does not.
struct Document {
    QString text;
    QList<DocumentSection> sections;
    QString language;
    QString title;
    QString author;
};
