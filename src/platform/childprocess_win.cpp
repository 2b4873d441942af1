#include "childprocess.h"

#include <windows.h>

#include <algorithm>

namespace {

std::wstring Wide(const std::string &utf8) {
    if (utf8.empty())
        return {};
    const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring wide(std::size_t(std::max(size, 0)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), wide.data(), size);
    return wide;
}

// One argument as CommandLineToArgvW reads it back.
void AppendQuoted(std::wstring &line, const std::wstring &argument) {
    line += L'"';
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        line.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        line += c;
    }
    line.append(backslashes * 2, L'\\');
    line += L'"';
}

std::string LastError() {
    return "system error " + std::to_string(GetLastError());
}

class WindowsChildProcess final : public ChildProcess {
public:
    WindowsChildProcess(HANDLE process, HANDLE job, HANDLE in, HANDLE out, HANDLE wake, DWORD id)
        : process_(process), job_(job), in_(in), out_(out), wake_(wake), id_(id) {}

    ~WindowsChildProcess() override {
        CloseHandle(in_);
        CloseHandle(out_);
        Kill();
        WaitForSingleObject(process_, INFINITE);
        CloseHandle(process_);
        if (job_)
            CloseHandle(job_);
        CloseHandle(wake_);
    }

    Ready Wait(int timeoutMs) override {
        // Anonymous pipes cannot be waited on: look every millisecond.
        const ULONGLONG start = GetTickCount64();
        for (;;) {
            DWORD waiting = 0;
            if (!PeekNamedPipe(out_, nullptr, 0, nullptr, &waiting, nullptr) || waiting > 0)
                return Ready::Readable;
            if (WaitForSingleObject(wake_, 1) == WAIT_OBJECT_0)
                return Ready::Woken;
            if (timeoutMs >= 0 && GetTickCount64() - start >= ULONGLONG(timeoutMs))
                return Ready::TimedOut;
        }
    }

    std::ptrdiff_t Read(void *data, std::size_t size) override {
        DWORD waiting = 0;
        if (!PeekNamedPipe(out_, nullptr, 0, nullptr, &waiting, nullptr))
            return -1;
        if (waiting == 0)
            return 0;
        DWORD got = 0;
        const DWORD wanted = DWORD(std::min<std::size_t>(size, waiting));
        if (!ReadFile(out_, data, wanted, &got, nullptr))
            return -1;
        return std::ptrdiff_t(got);
    }

    // Anonymous pipes have no timed write; the child reads its input at once,
    // so a write waits only on a child that has stopped (and is then killed).
    bool Write(const void *data, std::size_t size, int) override {
        const char *at = static_cast<const char *>(data);
        while (size > 0) {
            DWORD put = 0;
            if (!WriteFile(in_, at, DWORD(std::min<std::size_t>(size, 1 << 20)), &put, nullptr))
                return false;
            at += put;
            size -= put;
        }
        return true;
    }

    void Wake() override { SetEvent(wake_); }
    void Kill() override { TerminateProcess(process_, 1); }
    long long Id() const override { return id_; }

private:
    HANDLE process_;
    HANDLE job_;
    HANDLE in_;
    HANDLE out_;
    HANDLE wake_;
    DWORD id_;
};

} // namespace

std::unique_ptr<ChildProcess> StartChildProcess(const std::string &path,
                                                const std::vector<std::string> &arguments,
                                                std::string &error) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE inRead = nullptr, inWrite = nullptr, outRead = nullptr, outWrite = nullptr;
    if (!CreatePipe(&inRead, &inWrite, &inherit, 0) ||
        !CreatePipe(&outRead, &outWrite, &inherit, 0)) {
        error = LastError();
        for (HANDLE h : {inRead, inWrite, outRead, outWrite})
            if (h)
                CloseHandle(h);
        return nullptr;
    }
    // Only the child's ends are inherited.
    SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);

    const std::wstring program = Wide(path);
    std::wstring line;
    AppendQuoted(line, program);
    for (const std::string &argument : arguments) {
        line += L' ';
        AppendQuoted(line, Wide(argument));
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inRead;
    startup.hStdOutput = outWrite;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION info{};
    const BOOL started =
        CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE,
                       CREATE_NO_WINDOW | CREATE_SUSPENDED, nullptr, nullptr, &startup, &info);
    if (!started)
        error = LastError();
    CloseHandle(inRead);
    CloseHandle(outWrite);
    if (!started) {
        CloseHandle(inWrite);
        CloseHandle(outRead);
        return nullptr;
    }
    // A job that ends the child when the last handle to it closes, even when
    // this process is killed.
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    if (job) {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
        AssignProcessToJobObject(job, info.hProcess);
    }
    ResumeThread(info.hThread);
    CloseHandle(info.hThread);
    HANDLE wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    return std::make_unique<WindowsChildProcess>(info.hProcess, job, inWrite, outRead, wake,
                                                 info.dwProcessId);
}

std::string ThisProgramFolder() {
    std::wstring path(32768, L'\0');
    const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
    if (n == 0 || n >= path.size())
        return {};
    path.resize(path.find_last_of(L"\\/", n));
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, path.data(), int(path.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string folder(std::size_t(size > 0 ? size : 0), '\0');
    if (size > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, path.data(), int(path.size()), folder.data(), size,
                              nullptr, nullptr);
    return folder;
}
