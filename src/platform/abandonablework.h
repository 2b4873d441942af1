#pragma once

#include <atomic>
#include <functional>
#include <vector>

// Work that a thread can drop part-way although the library doing it cannot:
// it runs in a copy of this process, which is killed when the wake comes
// first. Kept free of Qt, like the voice helpers that use it.

// Raised by one thread to end another's wait at once. Raise and Lower are
// called under one lock of the caller's.
class Wake {
public:
    Wake();
    ~Wake();
    Wake(const Wake &) = delete;
    Wake &operator=(const Wake &) = delete;

    void Raise();
    void Lower();
    bool Raised() const { return raised_.load(); }
    // What a wait watches: readable while raised (-1 where nothing is watched).
    int Handle() const { return read_; }

private:
    std::atomic<bool> raised_{false};
    int read_ = -1;
    int write_ = -1;
};

// A copy at work, begun ahead of the wait for its result. One never waited
// for is killed and collected when this goes.
struct AbandonableCopy {
    AbandonableCopy() = default;
    ~AbandonableCopy();
    AbandonableCopy(const AbandonableCopy &) = delete;
    AbandonableCopy &operator=(const AbandonableCopy &) = delete;

    long process = -1; // none while -1
    int output = -1;
};

namespace AbandonableWork {

enum class Outcome {
    Done,      // `result` holds what the work returned
    Abandoned, // the wake came first; the copy is killed and collected
    NotRun,    // no copy could be made, or it failed: the caller does the work itself
};

// Begins `work` in a copy of this process, ending any copy `copy` held;
// Wait takes its result, or drops it when `wake` comes first. The copy has
// no thread but the caller's: `work` may use what this thread set up, but no
// lock another thread may hold, and no stream shared with this process. It
// reads files at places of its own, and dies with this process. No copy
// made (`copy.process` stays -1): Wait says NotRun.
void Begin(const std::function<std::vector<char>()> &work, AbandonableCopy &copy);
Outcome Wait(AbandonableCopy &copy, const Wake &wake, std::vector<char> &result);

} // namespace AbandonableWork
