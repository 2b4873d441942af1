#include "codepage.h"

#include <climits>
#include <windows.h>

std::optional<std::u16string> DecodeSystemCodePage(std::string_view bytes) {
    if (bytes.empty())
        return std::u16string();
    if (bytes.size() > INT_MAX)
        return std::nullopt;
    const int inLength = static_cast<int>(bytes.size());
    // No MB_ERR_INVALID_CHARS: undefined bytes become the default character.
    const int outLength = ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), inLength, nullptr, 0);
    if (outLength <= 0)
        return std::nullopt;
    std::u16string text(static_cast<std::size_t>(outLength), u'\0');
    const int written = ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), inLength,
                                              reinterpret_cast<wchar_t *>(text.data()), outLength);
    if (written <= 0)
        return std::nullopt;
    text.resize(static_cast<std::size_t>(written));
    return text;
}
