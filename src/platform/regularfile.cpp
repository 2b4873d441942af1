#include "regularfile.h"

#include <algorithm>

ReadFileStatus ReadToEnd(std::size_t expected, std::size_t maxBytes, std::string &bytes,
                         const ReadSome &readSome) {
    bytes.clear();
    maxBytes = std::min(maxBytes, bytes.max_size() - 1);
    bytes.resize(std::min(expected, maxBytes) + 1);
    std::size_t used = 0;
    for (;;) {
        if (used == bytes.size()) {
            if (used > maxBytes)
                break;
            bytes.resize(std::min(bytes.size() * 2, maxBytes + 1));
        }
        const long long got = readSome(bytes.data() + used, bytes.size() - used);
        if (got < 0) {
            bytes.clear();
            return ReadFileStatus::ReadFailed;
        }
        if (got == 0)
            break;
        used += static_cast<std::size_t>(got);
    }
    if (used > maxBytes) {
        bytes.clear();
        return ReadFileStatus::TooLarge;
    }
    bytes.resize(used);
    return ReadFileStatus::Ok;
}
