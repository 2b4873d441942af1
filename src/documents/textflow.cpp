#include "textflow.h"

#include "documents/documenterror.h"
#include "documents/documentfile.h"

#include <QRegularExpression>
#include <algorithm>

namespace {

bool IsGap(QChar c) {
    return c.isSpace() || c == QChar::ParagraphSeparator || c == QChar::LineSeparator;
}

} // namespace

TextFlow::TextFlow(bool headingsAreSections) : headingsAreSections_(headingsAreSections) {
}

void TextFlow::Widen(Gap gap) {
    gap_ = std::max(gap_, gap);
}

void TextFlow::Put(QChar c) {
    if (c == QChar(0x00AD) || c.unicode() == 0 || c == QChar::ObjectReplacementCharacter)
        return; // soft hyphens and placeholders are never read
    if (!text_.isEmpty()) {
        switch (gap_) {
        case Gap::None:
            break;
        case Gap::Space:
            text_ += u' ';
            break;
        case Gap::Tab:
            text_ += u'\t';
            break;
        case Gap::Line:
            text_ += u'\n';
            break;
        case Gap::Paragraph:
            text_ += QLatin1String("\n\n");
            break;
        }
    }
    if (headingDepth_ > 0) {
        if (headingStart_ < 0)
            headingStart_ = text_.size();
        else if (gap_ != Gap::None)
            headingSpace_ = true;
        if (headingSpace_ && !headingTitle_.isEmpty())
            headingTitle_ += u' ';
        headingSpace_ = false;
        headingTitle_ += c;
    }
    gap_ = Gap::None;
    if (!marks_.isEmpty()) {
        for (DocumentSection &mark : marks_) {
            mark.offset = text_.size();
            sections_.append(std::move(mark));
        }
        marks_.clear();
    }
    if (text_.size() >= kMaxDocumentChars)
        throw DocumentError{QStringLiteral("it holds more text than the window can show (over "
                                           "%L1 million characters).")
                                .arg(kMaxDocumentChars / 1000000)};
    text_ += c;
}

void TextFlow::Text(QStringView text) {
    for (const QChar c : text) {
        if (IsGap(c))
            Widen(Gap::Space);
        else
            Put(c);
    }
}

void TextFlow::Verbatim(QStringView text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            continue;
        if (c == u'\n' || c == u'\r')
            Widen(Gap::Line);
        else
            Put(c == u'\t' || !IsGap(c) ? c : QChar(u' '));
    }
}

void TextFlow::Space() {
    Widen(Gap::Space);
}

void TextFlow::LineBreak() {
    Widen(Gap::Line);
}

void TextFlow::EndLine() {
    Widen(Gap::Line);
}

void TextFlow::EndBlock() {
    Widen(Gap::Paragraph);
}

void TextFlow::Cell() {
    Widen(Gap::Tab);
}

void TextFlow::BeginHeading(int level) {
    EndBlock();
    if (headingDepth_++ > 0)
        return;
    headingLevel_ = std::clamp(level, 1, 9);
    headingStart_ = -1;
    headingTitle_.clear();
    headingSpace_ = false;
}

void TextFlow::EndHeading() {
    if (headingDepth_ == 0)
        return;
    if (--headingDepth_ == 0) {
        if (headingsAreSections_ && headingStart_ >= 0 && !headingTitle_.isEmpty())
            sections_.append({headingTitle_, headingLevel_, headingStart_});
        headingStart_ = -1;
    }
    EndBlock();
}

void TextFlow::Mark(const QString &title, int level) {
    const QString tidy = title.simplified();
    if (!tidy.isEmpty())
        marks_.append({tidy, std::clamp(level, 1, 9), 0});
}

void TextFlow::SetLanguage(const QString &language) {
    if (language_.isEmpty())
        language_ = TidyLanguage(language);
}

Document TextFlow::Finish() {
    for (DocumentSection &mark : marks_) { // sections with no words after them
        mark.offset = text_.size();
        sections_.append(std::move(mark));
    }
    marks_.clear();
    std::stable_sort(
        sections_.begin(), sections_.end(),
        [](const DocumentSection &a, const DocumentSection &b) { return a.offset < b.offset; });
    Document document;
    document.text = std::move(text_);
    document.sections = std::move(sections_);
    document.language = language_;
    return document;
}

QString TidyLanguage(QStringView tag) {
    QString tidy = tag.trimmed().toString();
    tidy.replace(u'_', u'-');
    static const QRegularExpression kTag(QStringLiteral("^[A-Za-z]{2,3}(-[A-Za-z0-9]{1,8})*$"));
    if (!kTag.match(tidy).hasMatch())
        return {};
    const qsizetype dash = tidy.indexOf(u'-');
    const QString base = tidy.left(dash < 0 ? tidy.size() : dash).toLower();
    if (base == QLatin1String("und") || base == QLatin1String("mul") ||
        base == QLatin1String("zxx"))
        return {};
    return dash < 0 ? base : base + tidy.mid(dash);
}
