#pragma once

#include <memory>
#include <string>

// Starting a program by its path as a separate process. Kept free of Qt so that
// it builds with nothing but the C++ library and the Windows SDK.
class ProcessStarter {
public:
    virtual ~ProcessStarter() = default;

    // Starts the program at `path`, exactly as given (no search, no arguments),
    // with its window shown normally and given the focus, and returns without
    // waiting for it. False when it could not be started: no such file, not a
    // program, no permission, or a path holding a zero character.
    virtual bool StartDetached(const std::string &path) = 0;
};

std::unique_ptr<ProcessStarter> CreateSystemProcessStarter();
