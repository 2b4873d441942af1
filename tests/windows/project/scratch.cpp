#include "scratch.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>
#include <stdexcept>

std::string MakeScratchFolder(const std::string &tag) {
    char temp[MAX_PATH];
    const DWORD length = ::GetTempPathA(MAX_PATH, temp);
    if (length == 0 || length >= MAX_PATH)
        throw std::runtime_error("no temporary folder");
    // Wine hands out the same few process ids on every run, so the clock too.
    const std::string dir = std::string(temp, length) + "zavren-" + tag + "-" +
                            std::to_string(::GetCurrentProcessId()) + "-" +
                            std::to_string(::GetTickCount64());
    RemoveTree(dir);
    MakeFolder(dir);
    return dir;
}

void MakeFolder(const std::string &path) {
    if (!::CreateDirectoryA(path.c_str(), nullptr))
        throw std::runtime_error("cannot create " + path);
}

void MakeFile(const std::string &path, const std::string &bytes, unsigned long attributes) {
    const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        throw std::runtime_error("cannot create " + path);
    DWORD written = 0;
    const BOOL ok =
        ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(file);
    if (!ok || written != bytes.size())
        throw std::runtime_error("cannot write " + path);
    if (attributes != 0 && !::SetFileAttributesA(path.c_str(), attributes))
        throw std::runtime_error("cannot set attributes of " + path);
}

bool FileExists(const std::string &path) {
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ReadFile(const std::string &path) {
    // Sharing deletion too: a file just renamed into place may still be open
    // for that by the program that renamed it.
    const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {};
    std::string text;
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        text.append(buffer, got);
    ::CloseHandle(file);
    return text;
}

bool WaitForFile(const std::string &path, int seconds) {
    for (int i = 0; i < seconds * 20; ++i) {
        if (FileExists(path))
            return true;
        ::Sleep(50);
    }
    return FileExists(path);
}

namespace {

// Wide calls, so that names outside the ANSI code page go too.
void RemoveTreeW(const std::wstring &path) {
    WIN32_FIND_DATAW entry;
    const HANDLE search = ::FindFirstFileW((path + L"\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring child = path + L"\\" + name;
            ::SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTreeW(child);
            else
                ::DeleteFileW(child.c_str());
        } while (::FindNextFileW(search, &entry));
        ::FindClose(search);
    }
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::RemoveDirectoryW(path.c_str());
}

} // namespace

void RemoveTree(const std::string &path) {
    std::wstring wide(path.size(), L'\0');
    const int n = ::MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()),
                                        wide.data(), static_cast<int>(wide.size()));
    wide.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    if (!wide.empty())
        RemoveTreeW(wide);
}

std::string Slashed(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

void SetMachineValue(const std::string &key, const std::string &name, unsigned long type,
                     const std::string &bytes) {
    HKEY opened = nullptr;
    LONG status = ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                    nullptr, &opened, nullptr);
    if (status == ERROR_SUCCESS) {
        // A non-zero byte after the data: RegSetValueExA would otherwise count
        // a terminating zero the bytes do not have.
        const std::string data = bytes + '\xff';
        status = ::RegSetValueExA(opened, name.c_str(), 0, type,
                                  reinterpret_cast<const BYTE *>(data.data()),
                                  static_cast<DWORD>(bytes.size()));
        ::RegCloseKey(opened);
    }
    if (status != ERROR_SUCCESS)
        throw std::runtime_error("cannot write " + key + "\\" + name);
}

void DeleteMachineKey(const std::string &key) {
    ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());
}

void CopyFileTo(const std::string &from, const std::string &to) {
    if (!::CopyFileA(from.c_str(), to.c_str(), FALSE))
        throw std::runtime_error("cannot copy " + from + " to " + to);
}

std::string ProgramFolder() {
    char self[MAX_PATH];
    const DWORD length = ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        throw std::runtime_error("cannot name this program");
    std::string path(self, length);
    return path.substr(0, path.find_last_of('\\'));
}
