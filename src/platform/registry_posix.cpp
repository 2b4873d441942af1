#include "registry.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// There is no registry here. The only thing asked of it is where the system
// information tool lives, so the view holds one key with one value: "PATH",
// the full path of the first well-known system-information program on the
// search path. With none installed the view is empty.
constexpr char kSysInfoKey[] = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
constexpr char kSysInfoValue[] = "PATH";

constexpr const char *kSysInfoPrograms[] = {
    "hardinfo", "hardinfo2", "kinfocenter", "gnome-system-monitor", "mate-system-monitor",
};

bool EqualsNoCase(const std::string &a, const char *b) {
    const std::size_t n = std::strlen(b);
    if (a.size() != n)
        return false;
    return std::equal(a.begin(), a.end(), b, [](char x, char y) {
        return std::toupper(static_cast<unsigned char>(x)) ==
               std::toupper(static_cast<unsigned char>(y));
    });
}

bool IsExecutableFile(const std::string &path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

// Only absolute folders count: a relative one would give no full path.
std::optional<std::string> FindSysInfoProgram() {
    const char *env = std::getenv("PATH");
    if (env == nullptr)
        return std::nullopt;
    const std::string searchPath(env);
    for (const char *program : kSysInfoPrograms) {
        std::size_t start = 0;
        while (start <= searchPath.size()) {
            std::size_t end = searchPath.find(':', start);
            if (end == std::string::npos)
                end = searchPath.size();
            std::string dir = searchPath.substr(start, end - start);
            start = end + 1;
            if (dir.empty() || dir.front() != '/')
                continue;
            while (dir.size() > 1 && dir.back() == '/')
                dir.pop_back();
            std::string candidate = dir == "/" ? "/" + std::string(program) : dir + "/" + program;
            if (IsExecutableFile(candidate))
                return candidate;
        }
    }
    return std::nullopt;
}

bool IsPredefinedRoot(Reg::Key key) {
    for (std::uint32_t root = Reg::kHKeyClassesRoot; root <= 0x80000006u; ++root) {
        if (key == Reg::RootKey(root))
            return true;
    }
    return false;
}

class HostRegistryView final : public Registry {
public:
    Reg::Status OpenKey(Reg::Key root, const std::string &subKey, std::uint32_t,
                        Reg::Key *result) override {
        if (result == nullptr)
            return Reg::kErrorInvalidParameter;
        *result = 0;
        std::lock_guard lock(mutex_);
        std::string path;
        if (root == Reg::RootKey(Reg::kHKeyLocalMachine)) {
            if (!EqualsNoCase(subKey, kSysInfoKey))
                return Reg::kErrorFileNotFound;
            std::optional<std::string> found = FindSysInfoProgram();
            if (!found)
                return Reg::kErrorFileNotFound;
            path = std::move(*found);
        } else if (IsPredefinedRoot(root)) {
            return Reg::kErrorFileNotFound;
        } else {
            // An open key of this view: it has no subkeys; "" opens it again.
            const auto it = open_.find(root);
            if (it == open_.end())
                return Reg::kErrorInvalidHandle;
            if (!subKey.empty())
                return Reg::kErrorFileNotFound;
            path = it->second;
        }
        next_ += 4;
        open_.emplace(next_, std::move(path));
        *result = next_;
        return Reg::kErrorSuccess;
    }

    Reg::Status QueryValue(Reg::Key key, const std::string &valueName, std::uint32_t *type,
                           unsigned char *data, std::uint32_t *dataSize) override {
        std::lock_guard lock(mutex_);
        const auto it = open_.find(key);
        if (it == open_.end())
            return IsPredefinedRoot(key) ? Reg::kErrorFileNotFound : Reg::kErrorInvalidHandle;
        if (!EqualsNoCase(valueName, kSysInfoValue))
            return Reg::kErrorFileNotFound;
        if (data != nullptr && dataSize == nullptr)
            return Reg::kErrorInvalidParameter;
        // Stored the way Windows stores a string value: with its terminating zero.
        const std::string &text = it->second;
        const auto needed = static_cast<std::uint32_t>(text.size() + 1);
        if (type != nullptr)
            *type = Reg::kTypeSz;
        if (dataSize == nullptr)
            return Reg::kErrorSuccess;
        const std::uint32_t room = *dataSize;
        *dataSize = needed;
        if (data == nullptr)
            return Reg::kErrorSuccess;
        if (room < needed)
            return Reg::kErrorMoreData;
        std::memcpy(data, text.c_str(), needed);
        return Reg::kErrorSuccess;
    }

    Reg::Status CloseKey(Reg::Key key) override {
        std::lock_guard lock(mutex_);
        if (open_.erase(key) == 1 || IsPredefinedRoot(key))
            return Reg::kErrorSuccess;
        return Reg::kErrorInvalidHandle;
    }

private:
    std::mutex mutex_;
    std::map<Reg::Key, std::string> open_; // handle -> the value it saw when opened
    Reg::Key next_ = 0x100;
};

} // namespace

const char kRegistryFolderSeparator = '/';

std::unique_ptr<Registry> CreateSystemRegistry() {
    return std::make_unique<HostRegistryView>();
}
