#pragma once

#include <string>

// Faults on purpose, for the tests of what a failing voice costs: the helper
// that ships has none.
class VoiceFaults {
public:
    virtual ~VoiceFaults() = default;
    // Whether speaking `text` is to fail, half a second in.
    virtual bool FailsOn(const std::string &text) const = 0;
    [[noreturn]] virtual void FailNow() const = 0;
};

// The helper's whole life: hello, then requests until its input ends.
int RunVoiceHelper(const VoiceFaults *faults = nullptr);
