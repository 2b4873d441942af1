#pragma once

#include <cstdint>
#include <memory>
#include <string>

// Read access to the system registry with the calling conventions of
// RegOpenKeyExA / RegQueryValueExA / RegCloseKey: Windows status codes, value
// types, raw value bytes and an in/out byte count. Kept free of Qt so that it
// builds with nothing but the C++ library and the Windows SDK.
namespace Reg {

using Status = std::int32_t; // LONG
using Key = std::uintptr_t;  // HKEY

inline constexpr Status kErrorSuccess = 0;
inline constexpr Status kErrorFileNotFound = 2;
inline constexpr Status kErrorAccessDenied = 5;
inline constexpr Status kErrorInvalidHandle = 6;
inline constexpr Status kErrorInvalidParameter = 87;
inline constexpr Status kErrorMoreData = 234;

inline constexpr std::uint32_t kTypeNone = 0;
inline constexpr std::uint32_t kTypeSz = 1;
inline constexpr std::uint32_t kTypeExpandSz = 2;
inline constexpr std::uint32_t kTypeBinary = 3;
inline constexpr std::uint32_t kTypeDword = 4;
inline constexpr std::uint32_t kTypeMultiSz = 7;
inline constexpr std::uint32_t kTypeQword = 11;

// Predefined roots, as the 32-bit values callers pass around.
inline constexpr std::uint32_t kHKeyClassesRoot = 0x80000000u;
inline constexpr std::uint32_t kHKeyCurrentUser = 0x80000001u;
inline constexpr std::uint32_t kHKeyLocalMachine = 0x80000002u;
inline constexpr std::uint32_t kHKeyUsers = 0x80000003u;

inline constexpr std::uint32_t kKeyQueryValue = 0x0001;
inline constexpr std::uint32_t kKeyRead = 0x20019;

// A predefined root as a handle: Windows sign-extends the 32-bit value
// (HKEY_LOCAL_MACHINE is 0xFFFFFFFF80000002 in a 64-bit process).
inline Key RootKey(std::uint32_t root) {
    return static_cast<Key>(static_cast<std::intptr_t>(static_cast<std::int32_t>(root)));
}

} // namespace Reg

class Registry {
public:
    virtual ~Registry() = default;

    // RegOpenKeyExA(root, subKey, 0, samDesired, result).
    virtual Reg::Status OpenKey(Reg::Key root, const std::string &subKey, std::uint32_t samDesired,
                                Reg::Key *result) = 0;

    // RegQueryValueExA(key, valueName, nullptr, type, data, dataSize): on entry
    // *dataSize is the room at data; on return the bytes the value holds. A value
    // that does not fit gives kErrorMoreData with *dataSize set to what it needs.
    virtual Reg::Status QueryValue(Reg::Key key, const std::string &valueName, std::uint32_t *type,
                                   unsigned char *data, std::uint32_t *dataSize) = 0;

    // RegCloseKey(key).
    virtual Reg::Status CloseKey(Reg::Key key) = 0;
};

// The registry of this machine. Windows: advapi32. Elsewhere there is no
// registry; a small read-only view of the host stands in for it (see
// registry_posix.cpp for what it holds).
std::unique_ptr<Registry> CreateSystemRegistry();

// Joins a folder read from the registry to a file name in it: '\' on Windows,
// '/' on systems whose paths use that.
extern const char kRegistryFolderSeparator;
