#include "process.h"

#include <vector>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

class WindowsProcessStarter final : public ProcessStarter {
public:
    bool StartDetached(const std::string &path) override {
        if (path.empty() || path.find('\0') != std::string::npos)
            return false;
        // The program is named on its own (lpApplicationName), so a path with
        // blanks cannot be read as a shorter program followed by arguments.
        const std::string quoted = "\"" + path + "\"";
        std::vector<char> commandLine(quoted.begin(), quoted.end());
        commandLine.push_back('\0');

        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_SHOWNORMAL;
        PROCESS_INFORMATION started{};
        if (!::CreateProcessA(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                              nullptr, &startup, &started))
            return false;
        // Let its window come to the front; it is not waited for.
        ::AllowSetForegroundWindow(started.dwProcessId);
        ::CloseHandle(started.hThread);
        ::CloseHandle(started.hProcess);
        return true;
    }
};

} // namespace

std::unique_ptr<ProcessStarter> CreateSystemProcessStarter() {
    return std::make_unique<WindowsProcessStarter>();
}
