#pragma once

#include <QString>

// The program's name and version: the caption, the About window and the title
// of every message box all take them from here.
namespace AppIdentity {

inline constexpr char kTitle[] = "Zavren Speech";
inline constexpr int kMajor = 1;
inline constexpr int kMinor = 0;
inline constexpr int kRevision = 0;

inline QString Title() {
    return QString::fromLatin1(kTitle);
}

// "1.0.0": decimal, no leading zeros.
inline QString VersionText() {
    return QStringLiteral("%1.%2.%3").arg(kMajor).arg(kMinor).arg(kRevision);
}

} // namespace AppIdentity
