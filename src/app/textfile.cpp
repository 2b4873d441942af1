#include "textfile.h"

#include "platform/codepage.h"
#include "platform/normalfile.h"
#include "platform/qt/nativename.h"
#include "platform/regularfile.h"

#include <QDir>

#include <QStringDecoder>
#include <algorithm>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// Qt's UTF-16 and UTF-32 decoders pass unpaired surrogates through; the text
// box must never hold broken UTF-16, so they become replacement characters.
QString ReplaceLoneSurrogates(QString text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            text[i] = QChar::ReplacementCharacter;
    }
    return text;
}

} // namespace

std::optional<QString> DecodeTextFile(std::string_view bytes) {
    const QByteArrayView data(bytes.data(), qsizetype(bytes.size()));
    if (const std::optional<QStringConverter::Encoding> marked =
            QStringConverter::encodingForData(data)) {
        // Read in the code page, a marked file's text would come out garbled.
        QStringDecoder decoder(*marked, QStringConverter::Flag::Stateless);
        return ReplaceLoneSurrogates(decoder.decode(data));
    }
    std::optional<std::u16string> text = DecodeSystemCodePage(bytes);
    if (!text)
        return std::nullopt;
    // Copied as it stands: QString::fromStdU16String would take a leading
    // U+FFFE for a byte-swapped mark and swap every character after it.
    return ReplaceLoneSurrogates(
        QString(reinterpret_cast<const QChar *>(text->data()), qsizetype(text->size())));
}

FoundTextFile FindTextFile(const QString &name) {
    FoundTextFile file;
    file.shown = QDir::toNativeSeparators(name);
    std::vector<std::string> natives = NativeFileNames(file.shown);
    file.sameNames = natives.size();
    if (natives.size() == 1 && NormalFileExists(natives.front()))
        file.native = std::move(natives.front());
    return file;
}

std::optional<QString>
ReadTextFile(const std::filesystem::path &path, std::size_t maxBytes,
             const std::function<bool(std::string_view bytes)> &beforeDecoding) {
    if (path.empty())
        return std::nullopt;
    // A file too big for memory is one more way for the read to fail.
    try {
        std::string bytes;
        if (ReadRegularFile(path, maxBytes, bytes) != ReadFileStatus::Ok)
            return std::nullopt;
        if (beforeDecoding && !beforeDecoding(bytes))
            return std::nullopt;
        return DecodeTextFile(bytes);
    } catch (const std::exception &) {
        return std::nullopt;
    }
}

TextShape MeasureText(QStringView text) {
    TextShape shape;
    shape.chars = std::uint64_t(text.size());
    std::uint64_t line = 0;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = text[i].unicode();
        if (c == u'\r' && i + 1 < size && text[i + 1] == u'\n')
            continue; // CR LF is one break, counted at the LF
        if (c == u'\n' || c == u'\r' || c == u'\u2029') {
            shape.longestLine = std::max(shape.longestLine, line);
            ++shape.lines;
            line = 0;
        } else {
            ++line;
        }
    }
    shape.longestLine = std::max(shape.longestLine, line);
    return shape;
}

TextShape LeastShape(std::string_view bytes) {
    TextShape shape;
    // No character takes more than four bytes.
    shape.chars = bytes.size() / 4;
    const QByteArrayView data(bytes.data(), qsizetype(bytes.size()));
    // In UTF-16 or UTF-32 a byte 0x0A need not be a line feed; in the code
    // pages and UTF-8 it always is, and nothing else breaks a line... except
    // CR and U+2029, which only add lines.
    if (const auto marked = QStringConverter::encodingForData(data);
        marked && *marked != QStringConverter::Utf8)
        return shape;
    std::uint64_t line = 0;
    for (const char c : bytes) {
        if (c == '\n') {
            ++shape.lines;
            shape.longestLine = std::max(shape.longestLine, line);
            line = 0;
        } else {
            ++line;
        }
    }
    shape.longestLine = std::max(shape.longestLine, line) / 4;
    return shape;
}

// The costs below were measured with bench/text/bench_textbudget (Qt 6.4,
// Debian 12, x86-64, 800x600 box without wrapping), peak RSS added:
//   1,000,001 lines of "a":  +136 MB on filling (142 B/line), +454 MB once
//                            a resize or new font lays every line out (476 B/line)
//   200,001 lines of 70 chars: +92 MB (482 B/line, text 2 B/char)
//   one line of 1,000,000 / 4,000,000 chars: +41 / +163 MB (43 B/char), laid
//                            out whole in 0.8 / 3.5 s whenever it is in view
// While loading, the decoded text (2 B/char), the box's own copy (2 B/char)
// and its growth (up to twice that) are held at once: 8 B/char.
namespace {
constexpr std::uint64_t kBytesPerLine = 480;
constexpr std::uint64_t kBytesPerChar = 8;
constexpr std::uint64_t kBytesPerLongestLineChar = 44;
constexpr std::uint64_t kBytesPerFormerChar = 2; // kept to put back on Cancel
// The program itself, voice and window, before any text.
constexpr std::uint64_t kProgramBytes = std::uint64_t(256) * 1024 * 1024;
} // namespace

std::uint64_t LoadCostBytes(const TextShape &shape, std::uint64_t formerChars) {
    return shape.lines * kBytesPerLine + shape.chars * kBytesPerChar +
           shape.longestLine * kBytesPerLongestLineChar + formerChars * kBytesPerFormerChar;
}

// So: 480 * lines + 8 * chars + 44 * longest line + 2 * former chars
// <= 1536 MB - 256 MB; about 2.7 million short lines at most.
bool FitsMemoryBudget(const TextShape &shape, std::uint64_t formerChars) {
    return LoadCostBytes(shape, formerChars) <= kMemoryBudgetBytes - kProgramBytes;
}

// A line is laid out whole, on the window's thread, each time it comes into
// view or the box changes size or font: 0.8 s per million characters.
bool FitsLongestLine(const TextShape &shape) {
    return shape.longestLine <= kMaxLineChars;
}
