#include "abandonablework.h"

// No copy of a process to be had: the work is always the caller's.
Wake::Wake() = default;

Wake::~Wake() = default;

void Wake::Raise() {
    raised_ = true;
}

void Wake::Lower() {
    raised_ = false;
}

AbandonableCopy::~AbandonableCopy() = default;

namespace AbandonableWork {

void Begin(const std::function<std::vector<char>()> &, AbandonableCopy &) {
}

Outcome Wait(AbandonableCopy &, const Wake &, std::vector<char> &result) {
    result.clear();
    return Outcome::NotRun;
}

} // namespace AbandonableWork
