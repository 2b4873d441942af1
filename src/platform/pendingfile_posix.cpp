#include "pendingfile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

std::string Words(int code) {
    switch (code) {
    case ENOSPC:
        return "the disk is full";
    case EDQUOT:
        return "the disk quota is used up";
    case EFBIG:
        return "the file is larger than the disk allows";
    default:
        return std::strerror(code);
    }
}

class PosixPendingFile final : public PendingFile {
public:
    PosixPendingFile(std::filesystem::path target, std::string hidden, int fd)
        : PendingFile(std::move(target)), hidden_(std::move(hidden)), fd_(fd) {}
    ~PosixPendingFile() override {
        if (fd_ >= 0)
            ::close(fd_);
        if (!placed_)
            ::unlink(hidden_.c_str());
    }

    bool Write(const void *data, std::size_t size) override {
        const char *from = static_cast<const char *>(data);
        while (size > 0 && Usable()) {
            const ssize_t n = ::write(fd_, from, size);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return Failed(n < 0 ? errno : ENOSPC);
            from += n;
            size -= std::size_t(n);
        }
        return Usable();
    }
    long long Read(void *data, std::size_t size) override {
        if (!Usable())
            return -1;
        ssize_t n;
        do
            n = ::read(fd_, data, size);
        while (n < 0 && errno == EINTR);
        if (n < 0)
            Failed(errno);
        return n;
    }
    long long Seek(long long offset, int whence) override {
        if (!Usable())
            return -1;
        const off_t at = ::lseek(fd_, off_t(offset), whence);
        if (at < 0)
            Failed(errno);
        return at;
    }
    long long Length() override {
        struct stat st {};
        if (!Usable() || ::fstat(fd_, &st) != 0)
            return Failed(errno), -1;
        return st.st_size;
    }
    bool Truncate(long long length) override {
        if (!Usable())
            return false;
        int result;
        do
            result = ::ftruncate(fd_, off_t(length));
        while (result != 0 && errno == EINTR);
        return result == 0 || Failed(errno);
    }
    const std::string &Error() const override { return error_; }

    bool Finish() override {
        if (Usable() && ::fsync(fd_) != 0)
            Failed(errno);
        const int fd = std::exchange(fd_, -1);
        if (fd >= 0 && ::close(fd) != 0 && error_.empty())
            error_ = Words(errno);
        return error_.empty();
    }
    bool Place(bool replace, std::string &error) override {
        if (fd_ >= 0 || !error_.empty()) {
            error = error_.empty() ? "it was not finished" : error_;
            return false;
        }
        ::chmod(hidden_.c_str(), 0644);
        const std::string target = Target().native();
        int result;
        if (replace) {
            result = ::rename(hidden_.c_str(), target.c_str());
        } else {
            // No race: a file that appeared meanwhile is never replaced.
            result = ::link(hidden_.c_str(), target.c_str());
            if (result == 0)
                ::unlink(hidden_.c_str());
        }
        if (result != 0) {
            error = errno == EEXIST ? std::string("the file exists already") : Words(errno);
            return false;
        }
        placed_ = true;
        // The new name, too, is to survive a crash.
        const std::filesystem::path folder = Target().parent_path();
        const int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY);
        if (dir >= 0) {
            ::fsync(dir);
            ::close(dir);
        }
        return true;
    }

private:
    bool Usable() const { return fd_ >= 0 && error_.empty(); }
    bool Failed(int code) {
        if (error_.empty())
            error_ = Words(code);
        return false;
    }

    std::string hidden_;
    int fd_;
    bool placed_ = false;
    std::string error_;
};

} // namespace

std::unique_ptr<PendingFile> PendingFile::Create(const std::filesystem::path &target,
                                                 std::string &error) {
    const std::filesystem::path folder = target.parent_path();
    std::string hidden = (folder.empty() ? std::string() : folder.native() + "/") + "." +
                         target.filename().native() + ".XXXXXX";
    const int fd = ::mkostemp(hidden.data(), O_CLOEXEC);
    if (fd < 0) {
        error = Words(errno);
        return nullptr;
    }
    return std::make_unique<PosixPendingFile>(target, std::move(hidden), fd);
}

bool SameFile(const std::filesystem::path &a, const std::filesystem::path &b) {
    struct stat sa {
    }, sb{};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}
