#pragma once

#include <QString>
#include <string>
#include <vector>

// The file-system names a path typed or chosen in the toolkit can stand for.
// The toolkit reads a name that is not valid in the system's encoding with
// replacement characters, and such a name no longer finds its file; here the
// file is found again by reading its folder's names the same way. Mostly one
// name; several when more files read the same; never none (the path itself
// then, for the caller to find missing).
std::vector<std::string> NativeFileNames(const QString &path);
