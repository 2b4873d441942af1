#pragma once

// The faults the tests' own voice helpers have: ZAVREN_VOICE_FAULT
// ("abort:WORD" or "hang:WORD") makes them crash, or stop answering, half a
// second into a text holding WORD.
#include "speech/voice/engines/espeak/espeakhelper.h"

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

class SwitchedFaults final : public VoiceFaults {
public:
    SwitchedFaults() {
        const char *value = std::getenv("ZAVREN_VOICE_FAULT");
        const std::string text = value ? value : "";
        const auto colon = text.find(':');
        const std::string kind = text.substr(0, colon);
        if (colon != std::string::npos && colon + 1 < text.size() &&
            (kind == "abort" || kind == "hang")) {
            hang_ = kind == "hang";
            word_ = text.substr(colon + 1);
        }
    }
    bool FailsOn(const std::string &text) const override {
        return !word_.empty() && text.find(word_) != std::string::npos;
    }
    [[noreturn]] void FailNow() const override {
        if (!hang_)
            std::abort();
        for (;;)
            std::this_thread::sleep_for(std::chrono::hours(1));
    }

private:
    bool hang_ = false;
    std::string word_; // empty: no fault
};
