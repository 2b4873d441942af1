#pragma once

#include <string>

// A directory search for a normal file: true only when `nativePath` names an
// existing regular file that is neither hidden nor a system file. Directories,
// devices and pipes never count, so a later read of the file cannot hang.
// Free of Qt, so the Windows half builds with only the Windows SDK.
bool NormalFileExists(const std::string &nativePath);
