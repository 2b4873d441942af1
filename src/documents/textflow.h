#pragma once

#include "documents/document.h"

#include <QList>
#include <QString>
#include <QStringView>

// Builds a document's text from the pieces its reader finds, in reading
// order: runs of white space become one space, blocks are paragraphs with a
// blank line between them, list items and table rows lines of their own,
// table cells parted by a tab. Nothing is ever put before the first word or
// after the last. Headings become sections where they start.
class TextFlow {
public:
    // `headingsAreSections` false: sections come only from Mark.
    explicit TextFlow(bool headingsAreSections = true);

    // Words, their white space collapsed.
    void Text(QStringView text);
    // Words whose white space counts (preformatted): line breaks kept.
    void Verbatim(QStringView text);
    void Space();
    void LineBreak();
    void EndLine();  // a list item or table row ends
    void EndBlock(); // a paragraph ends
    void Cell();     // a table cell starts

    void BeginHeading(int level);
    void EndHeading();
    // A section from outside the text (a book's table of contents): it
    // starts where the next word does.
    void Mark(const QString &title, int level);

    qsizetype Size() const { return text_.size(); }
    void SetLanguage(const QString &language);

    Document Finish();

private:
    enum class Gap { None, Space, Tab, Line, Paragraph };
    void Widen(Gap gap);
    void Put(QChar c);

    QString text_;
    Gap gap_ = Gap::None;
    bool headingsAreSections_;
    int headingDepth_ = 0;
    int headingLevel_ = 1;
    qsizetype headingStart_ = -1;
    QString headingTitle_;
    bool headingSpace_ = false;
    QList<DocumentSection> sections_;
    QList<DocumentSection> marks_; // waiting for their first word
    QString language_;
};

// A language tag as the file gives it, made tidy ("en_GB" -> "en-GB"); empty
// when it is no tag at all.
QString TidyLanguage(QStringView tag);
