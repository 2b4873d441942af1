// GetKeyValue and the registry wrapper against Wine's real registry. run.sh
// writes the values below HKEY_LOCAL_MACHINE\SOFTWARE\Zavren Tests before this
// runs: those named "reg ..." with `wine reg add`, the others with regwrite.exe,
// which stores exact bytes.
#include "check.h"
#include "info/sysinfo.h"
#include "platform/registry.h"

#include <string>
#include <vector>

namespace {

constexpr char kKey[] = "SOFTWARE\\Zavren Tests";
const std::string kBefore = "before";

enum class Outcome { True, False, Fails };

std::string ShowOutcome(Outcome o) {
    return o == Outcome::True ? "true" : o == Outcome::False ? "false" : "failure";
}

struct Row {
    const char *name;
    std::string key;
    std::string value;
    Outcome expected;
    std::string text; // KeyVal afterwards; it holds kBefore on entry
};

void TestGetKeyValue(Registry &registry) {
    const std::string a1023(1023, 'a');
    const std::string a1024(1024, 'a');
    const std::vector<Row> rows = {
        // Strings.
        {"string stored with its zero", kKey, "sz zero", Outcome::True, "C:\\Tools\\tool.exe"},
        {"string stored without its zero", kKey, "sz nozero", Outcome::True, "C:\\Tools\\tool.exe"},
        {"one-character string without zero", kKey, "sz one", Outcome::True, "x"},
        {"string ending in two zeros keeps one", kKey, "sz twozeros", Outcome::True,
         std::string("ab\0", 3)},
        {"string in the ANSI code page", kKey, "sz ansi", Outcome::True, "caf\xe9"},
        {"string by reg add", kKey, "reg sz", Outcome::True, "C:\\Program Files\\Tool\\tool.exe"},
        {"empty string by reg add", kKey, "reg sz empty", Outcome::True, ""},
        // 32-bit numbers.
        {"32-bit value", kKey, "dword", Outcome::True, "305419896"},
        {"32-bit value with zero high byte", kKey, "dword small", Outcome::True, "5"},
        {"32-bit zero", kKey, "dword zero", Outcome::True, "0"},
        {"32-bit value with top bit set", kKey, "dword top", Outcome::True, "-2147483648"},
        {"32-bit all ones", kKey, "dword ones", Outcome::True, "-1"},
        {"32-bit value by reg add", kKey, "reg dword", Outcome::True, "305419896"},
        // Other types leave the text alone.
        {"binary value", kKey, "binary", Outcome::True, kBefore},
        {"binary by reg add", kKey, "reg binary", Outcome::True, kBefore},
        {"expandable string by reg add", kKey, "reg expand", Outcome::True, kBefore},
        {"multi-string by reg add", kKey, "reg multi", Outcome::True, kBefore},
        // Empty data.
        {"string with empty data", kKey, "sz empty data", Outcome::Fails, kBefore},
        {"32-bit type with empty data", kKey, "dword empty data", Outcome::Fails, kBefore},
        {"binary with empty data by reg add", kKey, "reg binary empty", Outcome::Fails, kBefore},
        // Sizes around the 1024-byte buffer.
        {"1023 characters and zero", kKey, "sz 1023 zero", Outcome::True, a1023},
        {"1024 characters without zero", kKey, "sz 1024 nozero", Outcome::True, a1024},
        {"1024 characters and zero", kKey, "sz 1024 zero", Outcome::False, ""},
        {"1025 bytes of binary", kKey, "binary 1025", Outcome::False, ""},
        // Nothing there.
        {"missing value", kKey, "no such value", Outcome::False, ""},
        {"missing key", std::string(kKey) + "\\No Such Key", "sz zero", Outcome::False, ""},
        {"unnamed value never set", kKey, "", Outcome::False, ""},
    };
    for (const Row &row : rows) {
        const std::string where = std::string("GetKeyValue/") + row.name;
        std::string text = kBefore;
        Outcome got = Outcome::Fails;
        try {
            got = SysInfo::GetKeyValue(registry, Reg::kHKeyLocalMachine, row.key, row.value, text)
                      ? Outcome::True
                      : Outcome::False;
        } catch (const SysInfo::KeyValueError &) {
        }
        check::Equal(where, "result", ShowOutcome(got), ShowOutcome(row.expected));
        check::Equal(where, "KeyVal", text, row.text);
    }
}

// The wrapper's own promises: status codes, sizes, and a buffer left alone
// when the value does not fit.
void TestWrapper(Registry &registry) {
    Reg::Key key = 0;
    check::Equal("Registry/missing key", "status",
                 registry.OpenKey(Reg::RootKey(Reg::kHKeyLocalMachine), "SOFTWARE\\No Such Key",
                                  Reg::kKeyRead, &key),
                 Reg::kErrorFileNotFound);

    const Reg::Status opened =
        registry.OpenKey(Reg::RootKey(Reg::kHKeyLocalMachine), kKey, SysInfo::kOpenAccess, &key);
    check::Equal("Registry/open with the launcher's access", "status", opened, Reg::kErrorSuccess);
    if (opened != Reg::kErrorSuccess)
        return;

    std::vector<unsigned char> buffer(1024, 0);
    std::uint32_t size = 1024;
    std::uint32_t type = 99;
    check::Equal("Registry/too long", "status",
                 registry.QueryValue(key, "sz 1024 zero", &type, buffer.data(), &size),
                 Reg::kErrorMoreData);
    check::Equal("Registry/too long", "size", size, 1025u);
    check::Equal("Registry/too long", "first byte", static_cast<int>(buffer[0]), 0);

    size = 1024;
    check::Equal("Registry/string without zero", "status",
                 registry.QueryValue(key, "sz nozero", &type, buffer.data(), &size),
                 Reg::kErrorSuccess);
    check::Equal("Registry/string without zero", "type", type, Reg::kTypeSz);
    check::Equal("Registry/string without zero", "size", size, 17u);

    size = 1024;
    check::Equal("Registry/missing value", "status",
                 registry.QueryValue(key, "no such value", &type, buffer.data(), &size),
                 Reg::kErrorFileNotFound);
    check::Equal("Registry/close", "status", registry.CloseKey(key), Reg::kErrorSuccess);
}

} // namespace

int main() {
    const auto registry = CreateSystemRegistry();
    TestGetKeyValue(*registry);
    TestWrapper(*registry);
    return check::Finish("registry_test");
}
