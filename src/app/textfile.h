#pragma once

#include <QString>
#include <cstddef>
#include <optional>
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

// Reads and decodes a whole text file. Empty when the file cannot be opened or
// read, is not a regular file, or is longer than `maxBytes`. The file is
// closed again whatever happens.
std::optional<QString> ReadTextFile(const QString &path, std::size_t maxBytes = kMaxTextFileBytes);
