#pragma once

#include <QString>

// The outcome of a speech operation: empty on success, otherwise a
// human-readable description of what went wrong.
struct [[nodiscard]] SpeechStatus {
    QString error;
    bool ok() const { return error.isEmpty(); }
    static SpeechStatus Ok() { return {}; }
    static SpeechStatus Failed(const QString &description) { return {description}; }
};
