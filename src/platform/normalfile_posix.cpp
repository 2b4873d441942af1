#include "normalfile.h"

#include <sys/stat.h>

bool NormalFileExists(const std::string &nativePath) {
    if (nativePath.empty())
        return false;
    // Hidden on this platform means a name that starts with a dot.
    const auto slash = nativePath.find_last_of('/');
    const std::string name = slash == std::string::npos ? nativePath : nativePath.substr(slash + 1);
    if (name.empty() || name.front() == '.')
        return false;
    struct stat st {};
    return ::stat(nativePath.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}
