#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>

// Whole-file reading for the text loader. Kept free of Qt so that both halves
// build with nothing but the C++ library and the system's own headers.

enum class ReadFileStatus {
    Ok,
    CannotOpen, // missing, vanished, no permission
    NotRegular, // a directory, a pipe, a device: anything that is not a plain file
    TooLarge,   // longer than the caller is prepared to hold
    ReadFailed, // opened, but the bytes could not be read
};

// Reads the whole of a regular file into `bytes`. Anything that is not a
// regular file is refused without waiting on it (a pipe with no writer never
// blocks the call). A file longer than `maxBytes` is refused. Whatever
// happens, what was opened is closed before the call returns; on any failure
// `bytes` is left empty.
ReadFileStatus ReadRegularFile(const std::filesystem::path &path, std::size_t maxBytes,
                               std::string &bytes);

// The reading loop both halves share. `readSome` reads at most `room` bytes
// into `into` and returns how many it read, 0 at the end of the file, or a
// negative number on failure. `expected` is the size the file reported; one
// byte beyond it is asked for so that a file that grew meanwhile is noticed.
using ReadSome = std::function<long long(char *into, std::size_t room)>;
ReadFileStatus ReadToEnd(std::size_t expected, std::size_t maxBytes, std::string &bytes,
                         const ReadSome &readSome);
