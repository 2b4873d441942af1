#include "sysinfo.h"

#include "platform/process.h"
#include "platform/registry.h"

#include <vector>

namespace SysInfo {

namespace {

// Closes the opened key however the reader leaves.
class OpenKey {
public:
    OpenKey(Registry &registry, Reg::Key key) : registry_(registry), key_(key) {}
    ~OpenKey() {
        try {
            registry_.CloseKey(key_);
        } catch (...) {
        }
    }
    OpenKey(const OpenKey &) = delete;
    OpenKey &operator=(const OpenKey &) = delete;

private:
    Registry &registry_;
    Reg::Key key_;
};

// The kept bytes from the last to the first, each as two hex digits, read as
// one signed 32-bit hexadecimal number: 01 00 00 gives 1, FF FF FF FF gives -1.
std::string DwordText(const unsigned char *bytes, std::uint32_t count) {
    if (count == 0)
        throw KeyValueError("a 32-bit value without digits");
    std::uint64_t value = 0;
    for (std::uint32_t i = count; i-- > 0;) {
        value = (value << 8) | bytes[i];
        if (value > 0xFFFFFFFFu)
            throw KeyValueError("a 32-bit value with more than 32 bits");
    }
    return std::to_string(static_cast<std::int32_t>(static_cast<std::uint32_t>(value)));
}

} // namespace

bool GetKeyValue(Registry &registry, std::uint32_t KeyRoot, const std::string &KeyName,
                 const std::string &SubKeyRef, std::string &KeyVal) {
    const Reg::Key root = Reg::RootKey(KeyRoot);
    Reg::Key key = 0;
    Reg::Status status = registry.OpenKey(root, KeyName, kOpenAccess, &key);
    // The access asked for above includes writing, which an unprivileged user
    // is refused below HKEY_LOCAL_MACHINE; reading is all that is needed.
    if (status == Reg::kErrorAccessDenied)
        status = registry.OpenKey(root, KeyName, Reg::kKeyRead, &key);
    if (status != Reg::kErrorSuccess) {
        KeyVal.clear();
        return false;
    }
    const OpenKey closer(registry, key);

    std::vector<unsigned char> buffer(kValueBufferSize, 0);
    std::uint32_t size = kValueBufferSize;
    std::uint32_t type = Reg::kTypeNone;
    status = registry.QueryValue(key, SubKeyRef, &type, buffer.data(), &size);
    if (status != Reg::kErrorSuccess || size > kValueBufferSize) {
        KeyVal.clear();
        return false;
    }
    if (size == 0)
        throw KeyValueError("a value with empty data");

    // A trailing zero is the string's terminator, not part of the text.
    const std::uint32_t kept = buffer[size - 1] == 0 ? size - 1 : size;
    if (type == Reg::kTypeSz)
        KeyVal.assign(buffer.begin(), buffer.begin() + kept);
    else if (type == Reg::kTypeDword)
        KeyVal = DwordText(buffer.data(), kept);
    return true;
}

bool StartSysInfo(Registry &registry, ProcessStarter &processes,
                  const FileSearch &normalFileExists) {
    try {
        std::string path;
        if (!GetKeyValue(registry, Reg::kHKeyLocalMachine, kPathKey, kPathValue, path)) {
            std::string folder;
            if (!GetKeyValue(registry, Reg::kHKeyLocalMachine, kLocationKey, kLocationValue,
                             folder))
                return false;
            std::string candidate = folder + kRegistryFolderSeparator + kProgramName;
            // A zero byte would cut the name short and find some other file.
            if (candidate.find('\0') != std::string::npos || !normalFileExists(candidate))
                return false;
            path = std::move(candidate);
        }
        // Started as it stands: a path naming no program fails here.
        return processes.StartDetached(path);
    } catch (const std::exception &) {
        return false;
    }
}

} // namespace SysInfo
