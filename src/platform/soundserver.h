#pragma once

#include <string>

// Whether the desktop's sound server can be reached right now.
namespace SoundServer {
// Empty when a connection succeeds; otherwise a short reason, such as
// "no sound server is running".
std::string Problem();
} // namespace SoundServer
