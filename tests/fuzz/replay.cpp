// Runs a fuzz target over saved inputs without libFuzzer, so that the
// committed corpus is a regression test in every build. Takes files and
// folders; options starting with '-' (libFuzzer's) are ignored.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);

namespace {

bool Run(const std::filesystem::path &file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", file.c_str());
        return false;
    }
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
    // A copy of exactly the input's size, so that reading past it is caught.
    std::vector<std::uint8_t> exact(bytes.begin(), bytes.end());
    LLVMFuzzerTestOneInput(exact.empty() ? nullptr : exact.data(), exact.size());
    return true;
}

} // namespace

int main(int argc, char *argv[]) {
    std::vector<std::filesystem::path> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.starts_with('-'))
            continue;
        std::error_code error;
        if (std::filesystem::is_directory(arg, error)) {
            for (const auto &entry : std::filesystem::recursive_directory_iterator(arg))
                if (entry.is_regular_file())
                    files.push_back(entry.path());
        } else {
            files.emplace_back(arg);
        }
    }
    std::sort(files.begin(), files.end());
    int failed = 0;
    for (const auto &file : files) {
        // Named first, so that the input behind a crash is known.
        std::printf("%s\n", file.c_str());
        std::fflush(stdout);
        failed += Run(file) ? 0 : 1;
    }
    std::printf("%zu inputs run, %d unreadable\n", files.size(), failed);
    return failed == 0 && !files.empty() ? 0 : 1;
}
