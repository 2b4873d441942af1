#pragma once

#include <QString>
#include <QStringView>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// The largest text file the program loads; anything longer is refused whole
// rather than half-loaded or left to exhaust memory.
inline constexpr std::size_t kMaxTextFileBytes = std::size_t(256) * 1024 * 1024;

// Decodes a text file's bytes: a leading UTF-8, UTF-16 or UTF-32 byte-order
// mark selects that encoding (the mark itself is dropped); without one the
// bytes are in the system's code page. Bytes the encoding does not define
// become replacement characters; line breaks are kept as they are. Empty only
// when the system cannot convert at all.
std::optional<QString> DecodeTextFile(std::string_view bytes);

// The file a name given by the user stands for (File > Open's choice, a file
// dropped on the window, the command line's), found once: `shown` is the name
// as messages give it, `native` the normal file's path in the system's own
// encoding, to be read by, empty when there is none. A name not valid in
// that encoding may stand for several files; `sameNames` says how many.
struct FoundTextFile {
    QString shown;
    std::string native;
    std::size_t sameNames = 1;

    bool Found() const { return !native.empty(); }
    bool Ambiguous() const { return sameNames > 1; }
};
FoundTextFile FindTextFile(const QString &name);

// Reads and decodes a whole text file. Empty when the file cannot be opened or
// read, is not a regular file, or is longer than `maxBytes`, and when
// `beforeDecoding`, shown the bytes read, says no. The file is closed again
// whatever happens.
std::optional<QString>
ReadTextFile(const std::filesystem::path &path, std::size_t maxBytes = kMaxTextFileBytes,
             const std::function<bool(std::string_view bytes)> &beforeDecoding = {});

// How a text splits into the text box's lines: its length in characters, its
// line count (a line break is LF, CR LF, CR or U+2029, as the box counts them)
// and its longest line.
struct TextShape {
    std::uint64_t chars = 0;
    std::uint64_t lines = 1;
    std::uint64_t longestLine = 0;
};
TextShape MeasureText(QStringView text);
// The least shape undecoded bytes can have as text, whatever their encoding:
// enough to refuse a file before decoding it.
TextShape LeastShape(std::string_view bytes);

// The most memory the program may hold at its peak while showing a file.
inline constexpr std::uint64_t kMemoryBudgetBytes = std::uint64_t(1536) * 1024 * 1024;

// The peak memory that loading a text of this shape adds, estimated from
// measured costs of the text box (see textfile.cpp). `formerChars` is the
// text the box holds now, kept until the new one is in.
std::uint64_t LoadCostBytes(const TextShape &shape, std::uint64_t formerChars = 0);

// Whether the program stays within the budget while loading the text.
bool FitsMemoryBudget(const TextShape &shape, std::uint64_t formerChars = 0);

// The longest line the box lays out without freezing the window for long.
inline constexpr std::uint64_t kMaxLineChars = std::uint64_t{512} * 1024;
bool FitsLongestLine(const TextShape &shape);
