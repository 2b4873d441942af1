// StartSysInfo end to end under Wine: the two registry values written into the
// real registry, the real file search and real program starts.
#include "check.h"
#include "info/sysinfo.h"
#include "platform/normalfile.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "scratch.h"
#include "started.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string>
#include <vector>

namespace {

// A registry value as a row gives it: its type and bytes; type 0 means absent.
struct Value {
    unsigned long type = 0;
    std::string bytes;
};

Value Sz(const std::string &text) {
    return {REG_SZ, text + '\0'};
}

enum class Tool { None, Normal, Hidden, System, Folder };

struct Row {
    const char *name;
    Value path;            // ...\Shared Tools\MSINFO, "PATH"; "<dir>" becomes the row folder
    Value location;        // ...\Shared Tools Location, "MSINFO"; the same
    Tool tool;             // what <dir>\MSINFO32.EXE is
    bool expected;         // StartSysInfo's result
    std::string startedAt; // the program expected to run, below the row folder; empty: none
};

std::string Expand(std::string bytes, const std::string &dir) {
    const std::string mark = "<dir>";
    for (auto at = bytes.find(mark); at != std::string::npos; at = bytes.find(mark))
        bytes.replace(at, mark.size(), dir);
    return bytes;
}

void Write(const char *key, const char *name, const Value &value, const std::string &dir) {
    DeleteMachineKey(key);
    if (value.type != 0)
        SetMachineValue(key, name, value.type, Expand(value.bytes, dir));
}

void TestStartSysInfo(const std::string &scratch, const std::string &marker) {
    const Value none;
    const std::vector<Row> rows = {
        {"neither value", none, none, Tool::Normal, false, ""},
        {"path names a program", Sz("<dir>\\tool.exe"), none, Tool::None, true, "tool.exe"},
        {"path stored without zero",
         {REG_SZ, "<dir>\\tool.exe"},
         none,
         Tool::None,
         true,
         "tool.exe"},
        {"path naming no program stops there", Sz("<dir>\\missing.exe"), Sz("<dir>"), Tool::Normal,
         false, ""},
        {"path of binary type",
         {REG_BINARY, "<dir>\\tool.exe"},
         Sz("<dir>"),
         Tool::Normal,
         false,
         ""},
        {"path with empty data", {REG_SZ, ""}, Sz("<dir>"), Tool::Normal, false, ""},
        {"folder holding the tool", none, Sz("<dir>"), Tool::Normal, true, "MSINFO32.EXE"},
        {"folder ending in a backslash", none, Sz("<dir>\\"), Tool::Normal, true, "MSINFO32.EXE"},
        {"folder holding a hidden tool", none, Sz("<dir>"), Tool::Hidden, false, ""},
        {"folder holding a system tool", none, Sz("<dir>"), Tool::System, false, ""},
        {"folder holding a folder of that name", none, Sz("<dir>"), Tool::Folder, false, ""},
        {"folder without the tool", none, Sz("<dir>"), Tool::None, false, ""},
        {"folder that does not exist", none, Sz("<dir>\\nowhere"), Tool::None, false, ""},
        {"folder with empty data", none, {REG_SZ, ""}, Tool::Normal, false, ""},
    };
    NotStarted notStarted;
    int n = 0;
    for (const Row &row : rows) {
        const std::string where = std::string("StartSysInfo/") + row.name;
        const std::string dir = scratch + "\\case " + std::to_string(++n);
        MakeFolder(dir);
        CopyFileTo(marker, dir + "\\tool.exe");
        const std::string tool = dir + "\\MSINFO32.EXE";
        if (row.tool == Tool::Folder)
            MakeFolder(tool);
        else if (row.tool != Tool::None)
            CopyFileTo(marker, tool);
        if (row.tool == Tool::Hidden)
            ::SetFileAttributesA(tool.c_str(), FILE_ATTRIBUTE_HIDDEN);
        if (row.tool == Tool::System)
            ::SetFileAttributesA(tool.c_str(), FILE_ATTRIBUTE_SYSTEM);
        Write(SysInfo::kPathKey, SysInfo::kPathValue, row.path, dir);
        Write(SysInfo::kLocationKey, SysInfo::kLocationValue, row.location, dir);

        const auto registry = CreateSystemRegistry();
        const auto starter = CreateSystemProcessStarter();
        const bool got = SysInfo::StartSysInfo(
            *registry, *starter, [](const std::string &path) { return NormalFileExists(path); });
        check::Equal(where, "result", got, row.expected);
        for (const char *program : {"tool.exe", "MSINFO32.EXE"}) {
            if (row.startedAt == program)
                ExpectStarted(where, dir + "\\" + program);
            else if (row.tool != Tool::Folder || std::string(program) != "MSINFO32.EXE")
                notStarted.Add(where + " (" + program + ")", dir + "\\" + program);
        }
    }
}

} // namespace

int main() {
    const std::string scratch = MakeScratchFolder("sysinfo");
    TestStartSysInfo(scratch, ProgramFolder() + "\\marker.exe");
    DeleteMachineKey(SysInfo::kPathKey);
    DeleteMachineKey(SysInfo::kLocationKey);
    RemoveTree(scratch);
    return check::Finish("sysinfo_test");
}
