// The text file decoder over arbitrary bytes: it always answers, never
// hands the text box broken UTF-16, and passes plain UTF-8 through as it is.
#include "app/textfile.h"
#include "fuzzcheck.h"

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

bool StartsWith(std::string_view bytes, std::string_view mark) {
    return bytes.substr(0, mark.size()) == mark;
}

bool HasByteOrderMark(std::string_view bytes) {
    using namespace std::string_view_literals;
    return StartsWith(bytes, "\xEF\xBB\xBF"sv) || StartsWith(bytes, "\xFF\xFE"sv) ||
           StartsWith(bytes, "\xFE\xFF"sv) || StartsWith(bytes, "\x00\x00\xFE\xFF"sv);
}

// Strict UTF-8: no overlong forms, no surrogates, nothing past U+10FFFF.
bool IsValidUtf8(std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        int extra = 0;
        char32_t cp = 0;
        if (b < 0x80) {
            ++i;
            continue;
        } else if (b >= 0xC2 && b <= 0xDF) {
            extra = 1;
            cp = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            extra = 2;
            cp = b & 0x0F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            extra = 3;
            cp = b & 0x07;
        } else {
            return false;
        }
        if (i + extra >= bytes.size())
            return false;
        for (int k = 1; k <= extra; ++k) {
            const auto c = static_cast<unsigned char>(bytes[i + k]);
            if ((c & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (c & 0x3F);
        }
        if ((extra == 2 && cp < 0x800) || (extra == 3 && cp < 0x10000) || cp > 0x10FFFF ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}

bool SurrogatesPaired(const QString &text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate()) {
            if (i + 1 >= text.size() || !text.at(i + 1).isLowSurrogate())
                return false;
            ++i;
        } else if (c.isLowSurrogate()) {
            return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    const std::optional<QString> text = DecodeTextFile(bytes);
    FUZZ_CHECK(text.has_value(), "the decoder gave up on bytes it could replace");
    FUZZ_CHECK(SurrogatesPaired(*text), "the decoded text holds a lone surrogate");
    if (!HasByteOrderMark(bytes) && IsValidUtf8(bytes)) {
        // This system's code page is UTF-8: valid text arrives unchanged,
        // zero bytes and line breaks included.
        FUZZ_CHECK(text->toUtf8() == QByteArray(bytes.data(), qsizetype(bytes.size())),
                   "valid UTF-8 came out changed");
    }
    return 0;
}
