#pragma once

// A few lines of test support for the programs that run under Wine, where
// QtTest is not available: named checks, data rows, and the closing count.
#include <cstdio>
#include <string>

namespace check {

inline int passed = 0;
inline int failed = 0;

inline std::string Show(bool v) {
    return v ? "true" : "false";
}

// Quoted, with control and non-ASCII bytes as \xNN; long texts cut short.
inline std::string Show(const std::string &v) {
    if (v.size() > 60)
        return Show(v.substr(0, 20)) + "... (" + std::to_string(v.size()) + " bytes)";
    std::string out = "\"";
    for (const unsigned char c : v) {
        if (c >= 0x20 && c < 0x7f) {
            out += static_cast<char>(c);
        } else {
            char code[8];
            std::snprintf(code, sizeof code, "\\x%02x", c);
            out += code;
        }
    }
    return out + '"';
}

inline std::string Show(const char *v) {
    return Show(std::string(v));
}
template <typename T> std::string Show(const T &v) {
    return std::to_string(v);
}

// One check of one row; `where` names the test and the row.
template <typename A, typename E>
void Equal(const std::string &where, const char *what, const A &actual, const E &expected) {
    if (actual == expected) {
        ++passed;
        return;
    }
    ++failed;
    std::printf("FAIL %s: %s is %s, expected %s\n", where.c_str(), what, Show(actual).c_str(),
                Show(expected).c_str());
}

inline void True(const std::string &where, const char *what, bool condition) {
    Equal(where, what, condition, true);
}

// The line the test runner reads; the exit status says the same.
inline int Finish(const char *program) {
    std::printf("%s: %d passed, %d failed\n", program, passed, failed);
    std::fflush(stdout);
    return failed == 0 ? 0 : 1;
}

} // namespace check
