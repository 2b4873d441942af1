// Writes one registry value with exact bytes:
//   regwrite <key below HKLM> <value name> <type number> [<hex bytes>]
// `wine reg add` cannot store a string without its terminating zero; this can.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char **argv) {
    if (argc < 4 || argc > 5) {
        std::fprintf(stderr, "usage: regwrite KEY NAME TYPE [HEXBYTES]\n");
        return 2;
    }
    std::vector<unsigned char> data;
    const std::string hex = argc == 5 ? argv[4] : "";
    if (hex.size() % 2 != 0 ||
        hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
        std::fprintf(stderr, "regwrite: bad hex bytes\n");
        return 2;
    }
    for (std::size_t i = 0; i < hex.size(); i += 2)
        data.push_back(
            static_cast<unsigned char>(std::strtoul(hex.substr(i, 2).c_str(), nullptr, 16)));
    const auto count = static_cast<DWORD>(data.size());
    // RegSetValueExA counts a string's terminating zero itself when the byte
    // just past the data is zero (Windows does this, and so does Wine), so a
    // non-zero byte follows the data to keep the count exact.
    data.push_back(0xFF);

    HKEY key = nullptr;
    LONG status = ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, argv[1], 0, nullptr, 0, KEY_SET_VALUE,
                                    nullptr, &key, nullptr);
    if (status == ERROR_SUCCESS) {
        status = ::RegSetValueExA(key, argv[2], 0, std::strtoul(argv[3], nullptr, 10), data.data(),
                                  count);
        ::RegCloseKey(key);
    }
    if (status != ERROR_SUCCESS) {
        std::fprintf(stderr, "regwrite: %s\\%s failed with %ld\n", argv[1], argv[2], status);
        return 1;
    }
    return 0;
}
