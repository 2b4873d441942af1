#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

class ProcessStarter;
class Registry;

// Finding and starting the system information tool, and the registry reader
// it uses. Free of Qt: only the C++ library and the platform wrappers.
namespace SysInfo {

inline constexpr char kPathKey[] = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
inline constexpr char kPathValue[] = "PATH";
inline constexpr char kLocationKey[] = "SOFTWARE\\Microsoft\\Shared Tools Location";
inline constexpr char kLocationValue[] = "MSINFO";
inline constexpr char kProgramName[] = "MSINFO32.EXE";

// Query value, set value, create subkey, enumerate subkeys, notify, create
// link, read control.
inline constexpr std::uint32_t kOpenAccess = 0x2003F;
inline constexpr std::uint32_t kValueBufferSize = 1024;

// A value that was read but cannot be turned into text: empty data, or a
// 32-bit number with no digits or more than 32 bits.
class KeyValueError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads value `SubKeyRef` of key `KeyName` below the root `KeyRoot` into
// `KeyVal`. A string (type 1) comes back without its terminating zero, a
// 32-bit number (type 4) as signed decimal text; any other type leaves
// `KeyVal` as it was. False, with `KeyVal` empty, when the key or value
// cannot be read or the value is longer than 1024 bytes. Throws
// KeyValueError for a value it cannot turn into text. The key is closed on
// every path.
bool GetKeyValue(Registry &registry, std::uint32_t KeyRoot, const std::string &KeyName,
                 const std::string &SubKeyRef, std::string &KeyVal);

using FileSearch = std::function<bool(const std::string &path)>;

// Starts the system information tool: the program named by the first
// registry value, or else MSINFO32.EXE in the folder named by the second,
// provided `normalFileExists` finds it there. False when the tool could not
// be found or started; the caller tells the user.
bool StartSysInfo(Registry &registry, ProcessStarter &processes,
                  const FileSearch &normalFileExists);

} // namespace SysInfo
