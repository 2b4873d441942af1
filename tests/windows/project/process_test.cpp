// Starting real Windows programs (copies of marker.exe) under Wine.
#include "check.h"
#include "platform/process.h"
#include "scratch.h"
#include "started.h"

#include <string>
#include <vector>

namespace {

struct Row {
    const char *name;
    std::string folder;  // below the scratch folder; made if not empty
    std::string program; // file name the marker is copied to; empty: none
    std::string path;    // what StartDetached is given, relative to the scratch folder
    bool expected;
};

void TestStart(ProcessStarter &starter, const std::string &dir, const std::string &marker) {
    MakeFile(dir + "\\notes.exe", "plain text, not a program");
    MakeFolder(dir + "\\folder.exe");
    // A program that a start with an unquoted command line would run instead
    // of "My Tools\marker.exe".
    CopyFileTo(marker, dir + "\\My.exe");

    const std::vector<Row> rows = {
        {"plain folder", "plain", "marker.exe", "plain\\marker.exe", true},
        {"folder with spaces", "My Tools", "marker.exe", "My Tools\\marker.exe", true},
        {"folder with parentheses", "Program Files (x86)", "tool.exe",
         "Program Files (x86)\\tool.exe", true},
        {"program without .exe ending", "other", "tool.bin", "other\\tool.bin", true},
        {"upper-case name", "upper", "MSINFO32.EXE", "upper\\msinfo32.exe", true},
        {"missing program", "", "", "nothing.exe", false},
        {"text file named .exe", "", "", "notes.exe", false},
        {"folder named .exe", "", "", "folder.exe", false},
        {"missing folder", "", "", "nowhere\\marker.exe", false},
    };
    for (const Row &row : rows) {
        const std::string where = std::string("StartDetached/") + row.name;
        if (!row.folder.empty()) {
            MakeFolder(dir + "\\" + row.folder);
            CopyFileTo(marker, dir + "\\" + row.folder + "\\" + row.program);
        }
        const bool got = starter.StartDetached(dir + "\\" + row.path);
        check::Equal(where, "result", got, row.expected);
        if (row.expected && got)
            ExpectStarted(where, dir + "\\" + row.folder + "\\" + row.program);
    }
    NotStarted notStarted;
    notStarted.Add("StartDetached/folder with spaces", dir + "\\My.exe");

    check::Equal("StartDetached/empty path", "result", starter.StartDetached(""), false);
    check::Equal("StartDetached/zero inside the path", "result",
                 starter.StartDetached(dir + "\\plain\\marker.exe" + std::string(1, '\0') + "x"),
                 false);
}

} // namespace

int main() {
    const std::string dir = MakeScratchFolder("process");
    const auto starter = CreateSystemProcessStarter();
    TestStart(*starter, dir, ProgramFolder() + "\\marker.exe");
    RemoveTree(dir);
    return check::Finish("process_test");
}
