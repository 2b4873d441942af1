#pragma once

#include <QString>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// The file-system names a path typed or chosen in the toolkit can stand for.
// The toolkit reads a name that is not valid in the system's encoding with
// replacement characters, and such a name no longer finds its file; here the
// file is found again by reading its folder's names the same way. Mostly one
// name; several when more files read the same; never none (the path itself
// then, for the caller to find missing).
std::vector<std::string> NativeFileNames(const QString &path);

// The system's path for a name chosen in the toolkit: the one file that reads
// that way where there is one, otherwise the name as written.
std::filesystem::path NativePath(const QString &path);
// A system path as messages show it.
QString ShownPath(const std::filesystem::path &path);

// The path a command-line argument names, by its bytes: `raw` as main() got
// it, `read` as the toolkit read it. A file:// URL names the bytes it escapes.
std::filesystem::path ArgumentPath(std::string_view raw, const QString &read);
// An argument that ArgumentPath reads back as this very path: the path itself
// where the toolkit spells it without loss, otherwise a file:// URL.
QString PathArgument(const std::filesystem::path &path);
