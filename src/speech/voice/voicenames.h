#pragma once

#include <QString>

// A voice's name as the voice menu shows it: the language, and the variant
// within it ("English (America)" is "English" and "America"; "German" has no
// variant).
struct VoiceNameParts {
    QString language;
    QString variant;
};

VoiceNameParts SplitVoiceName(const QString &name);
