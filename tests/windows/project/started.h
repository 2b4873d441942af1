#pragma once

// Watching copies of marker.exe that a test has started.
#include "check.h"
#include "scratch.h"

#include <string>
#include <utility>
#include <vector>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

// Waits for the copy at `program` to report its start, checks that it got a
// normal window and is still running (nobody waited for it), then lets it end
// and waits until it is gone, so that the next start meets no program of an
// earlier row still on its way out.
inline void ExpectStarted(const std::string &where, const std::string &program) {
    const bool started = WaitForFile(program + ".started", 20);
    check::True(where, "program started", started);
    if (!started)
        return;
    const std::string report = ReadFile(program + ".started");
    check::True(where, "shown normally (show=1)", report.rfind("show=1\n", 0) == 0);
    check::True(where, "still running after the start returned", !FileExists(program + ".ended"));
    // Still running, as it waits for the release: its id names it alone.
    const auto pid = report.find("\npid=");
    const HANDLE process =
        pid == std::string::npos
            ? nullptr
            : ::OpenProcess(SYNCHRONIZE, FALSE, std::stoul(report.substr(pid + 5)));
    check::True(where, "program found by its id", process != nullptr);
    MakeFile(program + ".release", "");
    check::True(where, "program ended", WaitForFile(program + ".ended", 20));
    if (process) {
        check::True(where, "program gone", ::WaitForSingleObject(process, 20000) == WAIT_OBJECT_0);
        ::CloseHandle(process);
    }
}

// Programs that must not run. Checked all at once at the end, a few seconds
// after the last start, by which time any of them would have reported.
class NotStarted {
public:
    void Add(const std::string &where, const std::string &program) {
        rows_.push_back({where, program});
    }
    ~NotStarted() {
        ::Sleep(3000);
        for (const auto &[where, program] : rows_)
            check::True(where, "no program started", !FileExists(program + ".started"));
    }

private:
    std::vector<std::pair<std::string, std::string>> rows_;
};
