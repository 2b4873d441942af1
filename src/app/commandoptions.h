#pragma once

#include <QString>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

class QCommandLineParser;

// Exit statuses besides 0: a failure, and a command line that makes no sense.
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// Voices reading at once for --speak-to: at most this many, and by default
// one a processor.
inline constexpr int kMostJobs = 64;
int DefaultJobs();

// The options, with their help (the manual page is made from it too).
void DescribeOptions(QCommandLineParser &parser);

// Parses the arguments, answering --help and --version itself so that their
// output is checked. Empty to go on; otherwise the exit code.
std::optional<int> ParseOptions(QCommandLineParser &parser);

// "zavren-speech: MESSAGE" on standard error; returns `code`.
int Fail(const QString &message, int code = kExitFailed);

// Writes and flushes; false when the text did not all get out.
bool Print(const QString &text, std::FILE *to = stdout);
int CannotWriteOutput();
// Prints to standard output; the exit code.
int PrintAll(const QString &text);

// The bytes given for `--name`, as main() got them: the last one, as the
// parser takes it.
std::optional<std::string> RawValue(int argc, char *argv[], std::string_view name);

// A pitch or speed on the sliders' scale, or nothing when out of it.
std::optional<std::int32_t> SliderValue(const QString &text);
