// A real Windows program for the process-start tests. Started as
// <folder>\<name>.exe it writes <name>.exe.started beside itself (the show
// state it was given, its command line and its process id), waits until
// <name>.exe.release appears (20 s at most), then writes <name>.exe.ended.
// Each report appears whole: it is written under another name first, so a
// test that sees it never reads it half written or still open.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string>

namespace {

void WriteText(const std::string &path, const std::string &text) {
    const std::string part = path + ".part";
    const HANDLE file = ::CreateFileA(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    ::CloseHandle(file);
    ::MoveFileExA(part.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

bool Exists(const std::string &path) {
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

} // namespace

int main() {
    char self[MAX_PATH];
    const DWORD length = ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return 2;
    const std::string base(self, length);

    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    ::GetStartupInfoA(&startup);
    const bool showSet = (startup.dwFlags & STARTF_USESHOWWINDOW) != 0;
    WriteText(base + ".started", "show=" + std::to_string(showSet ? startup.wShowWindow : -1) +
                                     "\ncommand=" + ::GetCommandLineA() +
                                     "\npid=" + std::to_string(::GetCurrentProcessId()) + "\n");

    for (int i = 0; i < 200 && !Exists(base + ".release"); ++i)
        ::Sleep(100);
    WriteText(base + ".ended", "ended\n");
    return 0;
}
