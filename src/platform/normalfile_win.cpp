#include "normalfile.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

// '*' and '?' are wildcards to FindFirstFileA, and '<', '>' and '"' are its DOS
// wildcards. None can stand in a real file name; a '?' also appears where a
// name had a character the ANSI code page cannot hold, and must not match some
// other file.
bool HasWildcard(const std::string &path) {
    return path.find_first_of("*?<>\"") != std::string::npos;
}

// CON, NUL, COM1, LPT1 and their like name devices in every folder, and the
// directory search reports them as ordinary files; reading one could hang.
bool NamesDevice(const std::string &path) {
    char full[MAX_PATH];
    const DWORD length = ::GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
    if (length == 0 || length >= MAX_PATH)
        return true;
    return std::string(full, length).rfind("\\\\.\\", 0) == 0;
}

constexpr DWORD kNotNormal = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN |
                             FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DEVICE;

} // namespace

bool NormalFileExists(const std::string &nativePath) {
    // A zero byte would end the name early and find some other file.
    if (nativePath.empty() || nativePath.find('\0') != std::string::npos ||
        HasWildcard(nativePath) || NamesDevice(nativePath))
        return false;
    WIN32_FIND_DATAA found;
    const HANDLE search = ::FindFirstFileA(nativePath.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    ::FindClose(search);
    return (found.dwFileAttributes & kNotNormal) == 0;
}
