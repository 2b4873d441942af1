#include "registry.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

HKEY ToHandle(Reg::Key key) {
    return reinterpret_cast<HKEY>(key);
}

// The registry itself, through advapi32's single-byte (ANSI) entry points.
class WindowsRegistry final : public Registry {
public:
    Reg::Status OpenKey(Reg::Key root, const std::string &subKey, std::uint32_t samDesired,
                        Reg::Key *result) override {
        if (result == nullptr || subKey.find('\0') != std::string::npos)
            return Reg::kErrorInvalidParameter;
        HKEY opened = nullptr;
        const LONG status = ::RegOpenKeyExA(ToHandle(root), subKey.c_str(), 0,
                                            static_cast<REGSAM>(samDesired), &opened);
        *result = status == ERROR_SUCCESS ? reinterpret_cast<Reg::Key>(opened) : 0;
        return static_cast<Reg::Status>(status);
    }

    Reg::Status QueryValue(Reg::Key key, const std::string &valueName, std::uint32_t *type,
                           unsigned char *data, std::uint32_t *dataSize) override {
        if (valueName.find('\0') != std::string::npos)
            return Reg::kErrorInvalidParameter;
        DWORD valueType = REG_NONE;
        DWORD size = dataSize != nullptr ? static_cast<DWORD>(*dataSize) : 0;
        const LONG status = ::RegQueryValueExA(ToHandle(key), valueName.c_str(), nullptr,
                                               &valueType, data, dataSize ? &size : nullptr);
        if (type != nullptr)
            *type = static_cast<std::uint32_t>(valueType);
        if (dataSize != nullptr)
            *dataSize = static_cast<std::uint32_t>(size);
        return static_cast<Reg::Status>(status);
    }

    Reg::Status CloseKey(Reg::Key key) override {
        return static_cast<Reg::Status>(::RegCloseKey(ToHandle(key)));
    }
};

} // namespace

const char kRegistryFolderSeparator = '\\';

std::unique_ptr<Registry> CreateSystemRegistry() {
    return std::make_unique<WindowsRegistry>();
}
