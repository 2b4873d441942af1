#include "regularfile.h"

#include <windows.h>

namespace {

class Handle {
public:
    explicit Handle(HANDLE h) : h_(h) {}
    ~Handle() {
        if (h_ != INVALID_HANDLE_VALUE)
            ::CloseHandle(h_);
    }
    Handle(const Handle &) = delete;
    Handle &operator=(const Handle &) = delete;
    HANDLE get() const { return h_; }

private:
    HANDLE h_;
};

} // namespace

ReadFileStatus ReadRegularFile(const std::filesystem::path &path, std::size_t maxBytes,
                               std::string &bytes) {
    bytes.clear();
    const Handle file(::CreateFileW(path.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE)
        return ReadFileStatus::CannotOpen;

    // Consoles (CON), pipes and other devices would wait for input.
    if (::GetFileType(file.get()) != FILE_TYPE_DISK)
        return ReadFileStatus::NotRegular;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file.get(), &info))
        return ReadFileStatus::ReadFailed;
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return ReadFileStatus::NotRegular;

    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size))
        return ReadFileStatus::ReadFailed;
    if (size.QuadPart < 0 || static_cast<unsigned long long>(size.QuadPart) > maxBytes)
        return ReadFileStatus::TooLarge;

    return ReadToEnd(static_cast<std::size_t>(size.QuadPart), maxBytes, bytes,
                     [&file](char *into, std::size_t room) -> long long {
                         const DWORD ask = room > 0x4000000 ? 0x4000000 : static_cast<DWORD>(room);
                         DWORD got = 0;
                         if (!::ReadFile(file.get(), into, ask, &got, nullptr))
                             return -1;
                         return got;
                     });
}
