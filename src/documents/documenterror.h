#pragma once

#include <QString>

// Why a document cannot be read, said to the user after "The file "NAME"
// cannot be opened: ", or, when `whole`, as the whole message with %1 for the
// file's name.
struct DocumentError {
    QString reason;
    bool whole = false;
};

// The read was stopped by its caller.
struct DocumentCancelled {};

#include <atomic>

inline void ThrowIfStopped(const std::atomic<bool> *stop) {
    if (stop && stop->load(std::memory_order_relaxed))
        throw DocumentCancelled{};
}
