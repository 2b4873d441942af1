#include "pendingfile.h"

#include <cstdio>
#include <random>
#include <utility>
#include <windows.h>

namespace {

std::string Words(DWORD code) {
    switch (code) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return "the disk is full";
    default:
        break;
    }
    char *text = nullptr;
    const DWORD n = ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                         FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, code, 0, reinterpret_cast<char *>(&text), 0, nullptr);
    std::string words = n > 0 && text ? std::string(text, n) : "error " + std::to_string(code);
    ::LocalFree(text);
    while (!words.empty() && (words.back() == '\n' || words.back() == '\r' || words.back() == '.'))
        words.pop_back();
    return words;
}

class WinPendingFile final : public PendingFile {
public:
    WinPendingFile(std::filesystem::path target, std::wstring hidden, HANDLE file)
        : PendingFile(std::move(target)), hidden_(std::move(hidden)), file_(file) {}
    ~WinPendingFile() override {
        if (file_ != INVALID_HANDLE_VALUE)
            ::CloseHandle(file_);
        if (!placed_)
            ::DeleteFileW(hidden_.c_str());
    }

    bool Write(const void *data, std::size_t size) override {
        const char *from = static_cast<const char *>(data);
        while (size > 0 && Usable()) {
            const DWORD part = DWORD(size < 0x40000000 ? size : 0x40000000);
            DWORD written = 0;
            if (!::WriteFile(file_, from, part, &written, nullptr))
                return Failed(::GetLastError());
            if (written == 0)
                return Failed(ERROR_DISK_FULL);
            from += written;
            size -= written;
        }
        return Usable();
    }
    long long Read(void *data, std::size_t size) override {
        DWORD got = 0;
        if (!Usable())
            return -1;
        if (!::ReadFile(file_, data, DWORD(size < 0x40000000 ? size : 0x40000000), &got, nullptr))
            return Failed(::GetLastError()), -1;
        return got;
    }
    long long Seek(long long offset, int whence) override {
        LARGE_INTEGER to{}, at{};
        to.QuadPart = offset;
        const DWORD method = whence == SEEK_SET   ? FILE_BEGIN
                             : whence == SEEK_CUR ? FILE_CURRENT
                                                  : FILE_END;
        if (!Usable())
            return -1;
        if (!::SetFilePointerEx(file_, to, &at, method))
            return Failed(::GetLastError()), -1;
        return at.QuadPart;
    }
    long long Length() override {
        LARGE_INTEGER size{};
        if (!Usable())
            return -1;
        if (!::GetFileSizeEx(file_, &size))
            return Failed(::GetLastError()), -1;
        return size.QuadPart;
    }
    bool Truncate(long long length) override {
        LARGE_INTEGER to{}, here{}, zero{};
        to.QuadPart = length;
        if (!Usable())
            return false;
        // The end moves only to where the file pointer is: go there and back.
        if (!::SetFilePointerEx(file_, zero, &here, FILE_CURRENT) ||
            !::SetFilePointerEx(file_, to, nullptr, FILE_BEGIN) || !::SetEndOfFile(file_) ||
            !::SetFilePointerEx(file_, here, nullptr, FILE_BEGIN))
            return Failed(::GetLastError());
        return true;
    }
    const std::string &Error() const override { return error_; }

    bool Finish() override {
        if (Usable() && !::FlushFileBuffers(file_))
            Failed(::GetLastError());
        const HANDLE file = std::exchange(file_, INVALID_HANDLE_VALUE);
        if (file != INVALID_HANDLE_VALUE && !::CloseHandle(file) && error_.empty())
            error_ = Words(::GetLastError());
        return error_.empty();
    }
    bool Place(bool replace, std::string &error) override {
        if (file_ != INVALID_HANDLE_VALUE || !error_.empty()) {
            error = error_.empty() ? "it was not finished" : error_;
            return false;
        }
        // The name was hidden, the file is not.
        ::SetFileAttributesW(hidden_.c_str(), FILE_ATTRIBUTE_NORMAL);
        const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
        if (!::MoveFileExW(hidden_.c_str(), Target().c_str(), flags)) {
            const DWORD code = ::GetLastError();
            error = code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS
                        ? std::string("the file exists already")
                        : Words(code);
            return false;
        }
        placed_ = true;
        return true;
    }

private:
    bool Usable() const { return file_ != INVALID_HANDLE_VALUE && error_.empty(); }
    bool Failed(DWORD code) {
        if (error_.empty())
            error_ = Words(code);
        return false;
    }

    std::wstring hidden_;
    HANDLE file_;
    bool placed_ = false;
    std::string error_;
};

} // namespace

std::unique_ptr<PendingFile> PendingFile::Create(const std::filesystem::path &target,
                                                 std::string &error) {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path hidden =
            target.parent_path() /
            (L"." + target.filename().native() + L"." + std::to_wstring(random() % 1000000));
        const HANDLE file = ::CreateFileW(hidden.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                          CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
        if (file != INVALID_HANDLE_VALUE)
            return std::make_unique<WinPendingFile>(target, hidden.native(), file);
        if (::GetLastError() != ERROR_FILE_EXISTS) {
            error = Words(::GetLastError());
            return nullptr;
        }
    }
    error = Words(ERROR_FILE_EXISTS);
    return nullptr;
}

bool SameFile(const std::filesystem::path &a, const std::filesystem::path &b) {
    std::error_code code;
    return std::filesystem::equivalent(a, b, code) && !code;
}
