#include "regularfile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

} // namespace

ReadFileStatus ReadRegularFile(const std::filesystem::path &path, std::size_t maxBytes,
                               std::string &bytes) {
    bytes.clear();
    // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused below.
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return ReadFileStatus::CannotOpen;
    const Descriptor file(fd);

    struct stat st {};
    if (::fstat(file.get(), &st) != 0)
        return ReadFileStatus::ReadFailed;
    if (!S_ISREG(st.st_mode))
        return ReadFileStatus::NotRegular;
    if (st.st_size < 0 || static_cast<unsigned long long>(st.st_size) > maxBytes)
        return ReadFileStatus::TooLarge;

    return ReadToEnd(static_cast<std::size_t>(st.st_size), maxBytes, bytes,
                     [&file](char *into, std::size_t room) -> long long {
                         for (;;) {
                             const ssize_t got = ::read(file.get(), into, room);
                             if (got >= 0 || errno != EINTR)
                                 return got;
                         }
                     });
}
