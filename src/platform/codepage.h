#pragma once

#include <optional>
#include <string>
#include <string_view>

// Text in the system's code page: the ANSI code page on Windows, the locale's
// encoding (UTF-8 under Qt) elsewhere. Kept free of Qt so that the Windows
// half builds with nothing but the C++ library and the Windows SDK.
//
// Never fails on the bytes themselves: a byte sequence the code page does not
// define becomes the code page's replacement character, and a multi-byte
// character cut off at the end is replaced too, never read past. Empty only
// when the system cannot convert at all (on Windows, more than 2 GiB).
std::optional<std::u16string> DecodeSystemCodePage(std::string_view bytes);
