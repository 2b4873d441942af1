#pragma once

// Scratch files and folders for the tests that run under Wine.
#include <string>

// A new empty folder below the temporary folder, named after `tag`.
std::string MakeScratchFolder(const std::string &tag);
void MakeFolder(const std::string &path);
// Writes `bytes` to a new file and then gives it `attributes` (0: none).
void MakeFile(const std::string &path, const std::string &bytes, unsigned long attributes = 0);
bool FileExists(const std::string &path);
std::string ReadFile(const std::string &path);
// Waits up to `seconds` for `path` to appear.
bool WaitForFile(const std::string &path, int seconds);
// Removes a folder with everything in it, read-only and hidden files too.
void RemoveTree(const std::string &path);
// The same path with '/' for '\'.
std::string Slashed(std::string path);

// Writes a value below HKEY_LOCAL_MACHINE with exact bytes, creating the key.
void SetMachineValue(const std::string &key, const std::string &name, unsigned long type,
                     const std::string &bytes);
// Removes a key below HKEY_LOCAL_MACHINE with its values; a missing key is fine.
void DeleteMachineKey(const std::string &key);

// Copies the file; throws when it cannot.
void CopyFileTo(const std::string &from, const std::string &to);
// The folder this program was started from.
std::string ProgramFolder();
