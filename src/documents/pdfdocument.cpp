// PDF through poppler: the words of each page in poppler's reading order,
// put back into lines and paragraphs. What repeats at the top or foot of the
// pages (running heads, page numbers) is left out; a word broken by a
// hyphen at a line's end is made whole again; the outline gives the sections.
#include "documents/documenterror.h"
#include "documents/documentfile.h"
#include "documents/readers.h"

#include <QHash>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <memory>
#include <poppler-qt6.h>
#include <vector>

namespace {

struct Line {
    QString text;
    QRectF box;
};

struct PageLines {
    std::vector<Line> lines;
    QSizeF size;
};

// A word as it is read: the typesetter's ligatures (fi, fl...) undone.
QString Word(QString word) {
    for (qsizetype i = 0; i < word.size(); ++i) {
        const char16_t c = word[i].unicode();
        if (c >= 0xFB00 && c <= 0xFB06) {
            const QString letters = word[i].decomposition();
            word.replace(i, 1, letters);
            i += letters.size() - 1;
        }
    }
    return word;
}

// The page's words joined into lines: poppler links each word to the next
// on its line.
PageLines ReadPage(const Poppler::Page &page) {
    PageLines result;
    result.size = page.pageSizeF();
    const std::vector<std::unique_ptr<Poppler::TextBox>> words = page.textList();
    const Poppler::TextBox *previous = nullptr;
    for (const std::unique_ptr<Poppler::TextBox> &word : words) {
        if (!previous || previous->nextWord() != word.get()) {
            result.lines.push_back(Line{Word(word->text()), word->boundingBox()});
        } else {
            Line &line = result.lines.back();
            if (previous->hasSpaceAfter())
                line.text += u' ';
            line.text += Word(word->text());
            line.box = line.box.united(word->boundingBox());
        }
        previous = word.get();
    }
    return result;
}

// A line near the top or the foot of its page, where running heads and
// page numbers stand.
bool InMargin(const Line &line, const QSizeF &page) {
    const double middle = line.box.center().y();
    return middle < page.height() * 0.12 || middle > page.height() * 0.88;
}

// What a running head keeps from page to page: its words, numbers aside.
QString MarginKey(const QString &text) {
    QString key = text.simplified().toLower();
    for (QChar &c : key)
        if (c.isDigit())
            c = u'#';
    return key;
}

bool IsPageNumber(const QString &key) {
    static const QRegularExpression kNumber(
        QStringLiteral("^[\\W_]*(page\\s*)?(#+|[ivxlcdm]+)(\\s*(of|/)\\s*#+)?[\\W_]*$"));
    return kNumber.match(key).hasMatch();
}

bool EndsSentence(const QString &text) {
    if (text.isEmpty())
        return true;
    static const QString kEnds = QStringLiteral(".!?:;\"')]\u201D\u2019\u2026");
    return kEnds.contains(text.back());
}

// Joins a line onto the paragraph: across a hyphen that broke a word in two,
// without one.
void Join(QString &paragraph, const QString &line) {
    if (paragraph.isEmpty()) {
        paragraph = line;
        return;
    }
    const qsizetype n = paragraph.size();
    const bool broken = n >= 2 &&
                        (paragraph.back() == u'-' || paragraph.back() == QChar(0x2010) ||
                         paragraph.back() == QChar(0x00AD)) &&
                        paragraph.at(n - 2).isLetter() && !line.isEmpty() && line.front().isLower();
    if (broken)
        paragraph.chop(1);
    else
        paragraph += u' ';
    paragraph += line;
}

// Where each kept line went: for the outline's destinations.
struct Placed {
    int page;
    double top; // 0 at the page's top, 1 at its foot
    qsizetype offset;
};

void AddSections(const QVector<Poppler::OutlineItem> &items, int level,
                 const std::vector<Placed> &placed, QList<DocumentSection> &sections) {
    for (const Poppler::OutlineItem &item : items) {
        if (item.isNull())
            continue;
        const QSharedPointer<const Poppler::LinkDestination> destination = item.destination();
        const QString title = item.name().simplified();
        if (destination && !title.isEmpty() && destination->pageNumber() > 0) {
            const int page = destination->pageNumber() - 1;
            const double top = destination->isChangeTop() ? destination->top() : 0;
            const auto at = std::find_if(placed.begin(), placed.end(), [&](const Placed &p) {
                return p.page > page || (p.page == page && p.top >= top - 0.02);
            });
            if (at != placed.end())
                sections.append({title, std::min(level, 9), at->offset});
        }
        if (item.hasChildren())
            AddSections(item.children(), level + 1, placed, sections);
    }
}

} // namespace

Document ReadPdf(std::string_view bytes, const std::atomic<bool> *stop) {
    // poppler's complaints about damaged files are ours to tell
    static const bool quiet = [] {
        Poppler::setDebugErrorFunction([](const QString &, const QVariant &) {}, QVariant());
        return true;
    }();
    (void)quiet;
    std::unique_ptr<Poppler::Document> pdf =
        Poppler::Document::loadFromData(QByteArray(bytes.data(), qsizetype(bytes.size())));
    if (!pdf)
        throw DocumentError{QStringLiteral("it is a damaged or incomplete PDF.")};
    if (pdf->isLocked())
        throw DocumentError{QStringLiteral(
            "the PDF is protected by a password, and this program cannot ask for one.")};

    const int count = pdf->numPages();
    std::vector<PageLines> pages;
    pages.reserve(std::size_t(std::max(count, 0)));
    QHash<QString, int> repeats; // margin lines by how many pages have them
    int withText = 0;
    for (int i = 0; i < count; ++i) {
        ThrowIfStopped(stop);
        const std::unique_ptr<Poppler::Page> page(pdf->page(i));
        pages.push_back(page ? ReadPage(*page) : PageLines());
        QSet<QString> seen;
        for (const Line &line : pages.back().lines)
            if (InMargin(line, pages.back().size))
                seen.insert(MarginKey(line.text));
        for (const QString &key : seen)
            ++repeats[key];
        withText += pages.back().lines.empty() ? 0 : 1;
    }
    if (withText == 0)
        throw DocumentError{QStringLiteral("This PDF has no text to read: \"%1\" holds only "
                                           "pictures of its pages, such as a scan."),
                            true};
    const int often = std::max(2, int(std::ceil(withText * 0.3)));

    QString text;
    QString paragraph;
    std::vector<Placed> placed;
    std::vector<Placed> pendingPlaced; // the paragraph's lines, by offset into it
    const auto flush = [&] {
        if (paragraph.isEmpty())
            return;
        if (!text.isEmpty())
            text += QLatin1String("\n\n");
        for (Placed p : pendingPlaced) {
            p.offset += text.size();
            placed.push_back(p);
        }
        text += paragraph;
        if (text.size() > kMaxDocumentChars)
            throw DocumentError{QStringLiteral("it holds more text than the window can show.")};
        paragraph.clear();
        pendingPlaced.clear();
    };
    for (std::size_t p = 0; p < pages.size(); ++p) {
        const PageLines &page = pages[p];
        const Line *previous = nullptr;
        for (const Line &line : page.lines) {
            const QString words = line.text.simplified();
            if (words.isEmpty())
                continue;
            if (InMargin(line, page.size)) {
                const QString key = MarginKey(words);
                if (IsPageNumber(key) || repeats.value(key) >= often)
                    continue;
            }
            bool newParagraph = false;
            if (previous) {
                const double height = std::max(previous->box.height(), 1.0);
                const double gap = line.box.top() - previous->box.bottom();
                newParagraph = gap > height * 0.6 || line.box.bottom() < previous->box.top() ||
                               line.box.left() > previous->box.left() + height;
            } else {
                // A page goes on with the last one's paragraph unless that ended a sentence.
                newParagraph = EndsSentence(paragraph);
            }
            if (newParagraph)
                flush();
            Join(paragraph, words);
            const double top = page.size.height() > 0 ? line.box.top() / page.size.height() : 0;
            pendingPlaced.push_back(Placed{int(p), top, paragraph.size() - words.size()});
            previous = &line;
        }
    }
    flush();

    Document document;
    document.text = std::move(text);
    AddSections(pdf->outline(), 1, placed, document.sections);
    std::stable_sort(
        document.sections.begin(), document.sections.end(),
        [](const DocumentSection &a, const DocumentSection &b) { return a.offset < b.offset; });
    return document;
}
