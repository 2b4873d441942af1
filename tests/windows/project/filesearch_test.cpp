// The normal-file search against a real Windows file system (under Wine):
// files made with the attributes Windows gives them, looked for by name.
#include "check.h"
#include "platform/normalfile.h"
#include "scratch.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string>
#include <vector>

namespace {

struct Row {
    const char *name;
    std::string path; // relative names are taken from the scratch folder
    bool expected;
};

void TestAttributes(const std::string &dir) {
    MakeFile(dir + "\\normal.txt", "text");
    MakeFile(dir + "\\readonly.txt", "text", FILE_ATTRIBUTE_READONLY);
    MakeFile(dir + "\\archive.txt", "text", FILE_ATTRIBUTE_ARCHIVE);
    MakeFile(dir + "\\empty.txt", "");
    MakeFile(dir + "\\hidden.txt", "text", FILE_ATTRIBUTE_HIDDEN);
    MakeFile(dir + "\\system.txt", "text", FILE_ATTRIBUTE_SYSTEM);
    MakeFile(dir + "\\hiddensystem.txt", "text", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    MakeFile(dir + "\\readonlyhidden.txt", "text", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    MakeFolder(dir + "\\folder");
    MakeFolder(dir + "\\hidden folder");
    ::SetFileAttributesA((dir + "\\hidden folder").c_str(), FILE_ATTRIBUTE_HIDDEN);
    MakeFile(dir + "\\hidden folder\\inside.txt", "text");
    MakeFolder(dir + "\\with space");
    MakeFile(dir + "\\with space\\MSINFO32.EXE", "not a program");

    char system[MAX_PATH];
    const UINT systemLength = ::GetSystemDirectoryA(system, MAX_PATH);
    const std::string systemDir(system, systemLength < MAX_PATH ? systemLength : 0);

    const std::vector<Row> rows = {
        {"the system's own MSINFO32.EXE", systemDir + "\\MSINFO32.EXE", true},
        {"normal file", dir + "\\normal.txt", true},
        {"read-only file", dir + "\\readonly.txt", true},
        {"archive file", dir + "\\archive.txt", true},
        {"empty file", dir + "\\empty.txt", true},
        {"hidden file", dir + "\\hidden.txt", false},
        {"system file", dir + "\\system.txt", false},
        {"hidden system file", dir + "\\hiddensystem.txt", false},
        {"read-only hidden file", dir + "\\readonlyhidden.txt", false},
        {"folder", dir + "\\folder", false},
        {"folder with trailing backslash", dir + "\\folder\\", false},
        {"normal file in hidden folder", dir + "\\hidden folder\\inside.txt", true},
        {"name in other case", dir + "\\NORMAL.TXT", true},
        {"forward slashes", Slashed(dir) + "/normal.txt", true},
        {"doubled backslash", dir + "\\with space\\\\MSINFO32.EXE", true},
        {"folder name with space", dir + "\\with space\\MSINFO32.EXE", true},
        {"missing file", dir + "\\missing.txt", false},
        {"file in missing folder", dir + "\\nowhere\\normal.txt", false},
        {"file name with trailing backslash", dir + "\\normal.txt\\", false},
        {"relative name", "normal.txt", true},
        {"relative hidden name", "hidden.txt", false},
        {"empty name", "", false},
        {"star matching a normal file", dir + "\\norm*.txt", false},
        {"star matching only hidden files", dir + "\\hidd*", false},
        {"question mark matching a normal file", dir + "\\n?rmal.txt", false},
        {"DOS wildcard", dir + "\\normal<", false},
        {"console device in a folder", dir + "\\CON", false},
        {"null device", "NUL", false},
        {"serial device", dir + "\\COM1", false},
        {"drive root", dir.substr(0, 3), false},
        {"name longer than MAX_PATH", dir + "\\" + std::string(300, 'x') + ".txt", false},
        {"zero inside the name", std::string("normal.txt\0.hidden", 18), false},
    };
    ::SetCurrentDirectoryA(dir.c_str());
    for (const Row &row : rows)
        check::Equal(std::string("NormalFileExists/") + row.name, "found",
                     NormalFileExists(row.path), row.expected);
    ::SetCurrentDirectoryA((dir + "\\..").c_str()); // a current folder cannot be removed
}

} // namespace

int main() {
    const std::string dir = MakeScratchFolder("filesearch");
    TestAttributes(dir);
    RemoveTree(dir);
    return check::Finish("filesearch_test");
}
