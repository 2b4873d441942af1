#pragma once

#include <cstdio>
#include <cstdlib>

// A broken promise found by a fuzz target: report it and end the run, so that
// libFuzzer keeps the input and the corpus replay fails.
#define FUZZ_CHECK(condition, what)                                                                \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: %s (%s)\n", __FILE__, __LINE__, what, #condition);        \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)
