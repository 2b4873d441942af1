#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

// A helper program of ours run as a child, talked to through pipes on its
// standard input and output (its standard error is ours). Kept free of Qt so
// that it builds with nothing but the C++ library and the Windows SDK.
//
// One thread reads and writes; Wake may be called from any thread. Ending the
// object kills the child and waits for it. A child whose standard input ends
// is expected to exit, so it never outlives this process, however it ends.
class ChildProcess {
public:
    virtual ~ChildProcess() = default;

    enum class Ready { Readable, Woken, TimedOut };
    // Waits until output can be read (or the child has gone), Wake is called,
    // or `timeoutMs` passes (negative: no limit).
    virtual Ready Wait(int timeoutMs) = 0;
    // What output is there, up to `size` bytes, without waiting; 0 when
    // nothing is waiting, -1 once the child has gone.
    virtual std::ptrdiff_t Read(void *data, std::size_t size) = 0;
    // Writes all of `data`; false when the child has gone or has not taken it
    // within `timeoutMs`.
    virtual bool Write(const void *data, std::size_t size, int timeoutMs) = 0;
    // Makes a Wait under way, or the next one, return Woken.
    virtual void Wake() = 0;
    // Ends the child at once (a child that stopped answering).
    virtual void Kill() = 0;
    virtual long long Id() const = 0;
};

// The folder of the running program itself, where its helper programs are
// looked for; empty when the system will not say.
std::string ThisProgramFolder();

// Starts the program at `path` with `arguments`. Null, with `error` saying
// why, when it cannot be started.
std::unique_ptr<ChildProcess> StartChildProcess(const std::string &path,
                                                const std::vector<std::string> &arguments,
                                                std::string &error);
