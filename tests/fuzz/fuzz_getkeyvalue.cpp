// GetKeyValue over any value a registry can hold, and over registries that
// refuse, deny or misreport: the key is always closed, a false result always
// leaves the text empty, strings lose only their terminator, and numbers come
// back as signed decimal text.
//
// Input: byte 0 picks how opening the key goes, byte 1 how the query goes,
// bytes 2-5 the value's type (little-endian), the rest the value's data.
#include "fuzzcheck.h"
#include "info/sysinfo.h"
#include "platform/registry.h"

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

enum class Open { Granted, ReadOnly, Denied, Missing };
enum class Query { Honest, Missing, Oversized, ShortBuffer };

// One key holding one value, answering as RegOpenKeyExA and RegQueryValueExA
// do, or misbehaving as told.
class OneValueRegistry final : public Registry {
public:
    Open open = Open::Granted;
    Query query = Query::Honest;
    std::uint32_t type = 0;
    std::vector<unsigned char> bytes;
    std::set<Reg::Key> openKeys;
    int opened = 0;

    Reg::Status OpenKey(Reg::Key, const std::string &, std::uint32_t samDesired,
                        Reg::Key *result) override {
        *result = 0;
        switch (open) {
        case Open::Missing:
            return Reg::kErrorFileNotFound;
        case Open::Denied:
            return Reg::kErrorAccessDenied;
        case Open::ReadOnly:
            if (samDesired != Reg::kKeyRead)
                return Reg::kErrorAccessDenied;
            break;
        case Open::Granted:
            break;
        }
        *result = Reg::Key(0x1000 + 4 * ++opened);
        openKeys.insert(*result);
        return Reg::kErrorSuccess;
    }

    Reg::Status QueryValue(Reg::Key key, const std::string &, std::uint32_t *valueType,
                           unsigned char *data, std::uint32_t *dataSize) override {
        FUZZ_CHECK(openKeys.count(key) == 1, "queried a key that is not open");
        const auto needed = static_cast<std::uint32_t>(bytes.size());
        switch (query) {
        case Query::Missing:
            return Reg::kErrorFileNotFound;
        case Query::Oversized: // claims more bytes than it was given room for
            *valueType = type;
            *dataSize = *dataSize + 1 + needed;
            return Reg::kErrorSuccess;
        case Query::ShortBuffer:
        case Query::Honest:
            break;
        }
        *valueType = type;
        const std::uint32_t room = *dataSize;
        *dataSize = needed;
        if (room < needed || query == Query::ShortBuffer)
            return Reg::kErrorMoreData;
        if (needed != 0)
            std::memcpy(data, bytes.data(), needed);
        return Reg::kErrorSuccess;
    }

    Reg::Status CloseKey(Reg::Key key) override {
        FUZZ_CHECK(openKeys.erase(key) == 1, "closed a key that is not open");
        return Reg::kErrorSuccess;
    }
};

bool IsInt32Text(const std::string &text, std::int32_t &value) {
    const char *end = text.data() + text.size();
    const auto [ptr, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && ptr == end;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 6)
        return 0;
    OneValueRegistry registry;
    registry.open = static_cast<Open>(data[0] % 4);
    registry.query = static_cast<Query>(data[1] % 4);
    registry.type = std::uint32_t(data[2]) | std::uint32_t(data[3]) << 8 |
                    std::uint32_t(data[4]) << 16 | std::uint32_t(data[5]) << 24;
    registry.bytes.assign(data + 6, data + size);

    const std::string before = "left as it was";
    std::string text = before;
    bool result = false;
    bool threw = false;
    try {
        result = SysInfo::GetKeyValue(registry, Reg::kHKeyLocalMachine, SysInfo::kPathKey,
                                      SysInfo::kPathValue, text);
    } catch (const SysInfo::KeyValueError &) {
        threw = true;
    }
    FUZZ_CHECK(registry.openKeys.empty(), "the key was left open");

    const std::vector<unsigned char> &value = registry.bytes;
    const bool readable = registry.open != Open::Denied && registry.open != Open::Missing &&
                          registry.query == Query::Honest && value.size() <= 1024;
    if (threw) {
        FUZZ_CHECK(readable, "failed outright on a value that could not be read");
        FUZZ_CHECK(value.empty() || registry.type == Reg::kTypeDword,
                   "failed outright on a non-empty value that is not a number");
        return 0;
    }
    if (!result) {
        FUZZ_CHECK(text.empty(), "a false result left text behind");
        FUZZ_CHECK(!readable, "a readable value was reported unreadable");
        return 0;
    }
    FUZZ_CHECK(readable, "an unreadable value was reported read");
    FUZZ_CHECK(!value.empty(), "empty data was reported read");
    const std::size_t kept = value.back() == 0 ? value.size() - 1 : value.size();
    if (registry.type == Reg::kTypeSz) {
        FUZZ_CHECK(text == std::string(value.begin(), value.begin() + kept),
                   "a string came back other than stored, less its terminator");
    } else if (registry.type == Reg::kTypeDword) {
        std::int32_t number = 0;
        FUZZ_CHECK(IsInt32Text(text, number), "a number came back as no 32-bit decimal");
        std::uint64_t expected = 0;
        for (std::size_t i = kept; i-- > 0;)
            expected = (expected << 8) | value[i];
        FUZZ_CHECK(expected <= 0xFFFFFFFFu, "a number wider than 32 bits was read");
        FUZZ_CHECK(number == std::int32_t(std::uint32_t(expected)),
                   "a number came back with another value");
    } else {
        FUZZ_CHECK(text == before, "a value of another type changed the text");
    }
    return 0;
}
