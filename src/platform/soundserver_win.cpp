#include "soundserver.h"

// Windows audio needs no server to be started by the user.
std::string SoundServer::Problem() {
    return {};
}
