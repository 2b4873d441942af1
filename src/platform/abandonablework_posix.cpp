#include "abandonablework.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

void Drain(int fd) {
    char bytes[64];
    while (::read(fd, bytes, sizeof bytes) > 0) {
    }
}

bool WriteAll(int fd, const char *data, std::size_t size) {
    while (size > 0) {
        const ssize_t put = ::write(fd, data, size);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        data += put;
        size -= std::size_t(put);
    }
    return true;
}

// A copy shares each open file's place with this process, so its reading
// would move ours (Festival looks words up in files it keeps open): in the
// copy, each file read from is opened again, at the same place.
bool ReopenFilesRead(int keep) {
    constexpr int kMost = 256;
    int fds[kMost];
    int count = 0;
    DIR *dir = ::opendir("/proc/self/fd");
    if (!dir)
        return false;
    while (const dirent *entry = ::readdir(dir)) {
        char *end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || fd == ::dirfd(dir) || fd == keep)
            continue;
        if (count == kMost) {
            ::closedir(dir);
            return false;
        }
        fds[count++] = int(fd);
    }
    ::closedir(dir);
    for (int i = 0; i < count; ++i) {
        const int fd = fds[i];
        struct stat was {};
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags < 0 || (flags & O_ACCMODE) != O_RDONLY || ::fstat(fd, &was) != 0 ||
            !S_ISREG(was.st_mode))
            continue;
        char link[64];
        std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
        char path[PATH_MAX];
        const ssize_t length = ::readlink(link, path, sizeof path - 1);
        if (length <= 0)
            return false;
        path[length] = '\0';
        const int fresh = ::open(path, O_RDONLY | O_CLOEXEC);
        struct stat is {};
        if (fresh < 0 || ::fstat(fresh, &is) != 0 || is.st_dev != was.st_dev ||
            is.st_ino != was.st_ino) {
            if (fresh >= 0)
                ::close(fresh);
            return false;
        }
        const off_t at = ::lseek(fd, 0, SEEK_CUR);
        const int descriptorFlags = ::fcntl(fd, F_GETFD);
        const bool moved = at < 0 || ::lseek(fresh, at, SEEK_SET) == at;
        const bool replaced = moved && ::dup2(fresh, fd) == fd;
        ::close(fresh);
        if (!replaced || ::fcntl(fd, F_SETFD, descriptorFlags) != 0)
            return false;
    }
    return true;
}

[[noreturn]] void RunCopy(const std::function<std::vector<char>()> &work, pid_t parent, int out) {
    // Dies with the thread that made it, which is the helper's only one
    // that speaks: it never outlives the helper.
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent)
        ::_exit(1);
    if (!ReopenFilesRead(out))
        ::_exit(1);
    const std::vector<char> result = work();
    ::_exit(WriteAll(out, result.data(), result.size()) ? 0 : 1);
}

} // namespace

Wake::Wake() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0) {
        read_ = ends[0];
        write_ = ends[1];
    }
}

Wake::~Wake() {
    if (read_ >= 0)
        ::close(read_);
    if (write_ >= 0)
        ::close(write_);
}

void Wake::Raise() {
    if (!raised_.exchange(true) && write_ >= 0)
        (void)!::write(write_, "!", 1);
}

void Wake::Lower() {
    if (raised_.exchange(false) && read_ >= 0)
        Drain(read_);
}

namespace {

// Kills the copy if it still runs (`kill`), and collects it: its wait status.
int End(AbandonableCopy &copy, bool kill) {
    int status = 0;
    if (copy.output >= 0)
        ::close(copy.output);
    if (copy.process > 0) {
        if (kill)
            ::kill(pid_t(copy.process), SIGKILL);
        while (::waitpid(pid_t(copy.process), &status, 0) < 0 && errno == EINTR) {
        }
    }
    copy.process = -1;
    copy.output = -1;
    return status;
}

} // namespace

AbandonableCopy::~AbandonableCopy() {
    End(*this, true);
}

namespace AbandonableWork {

void Begin(const std::function<std::vector<char>()> &work, AbandonableCopy &copy) {
    End(copy, true);
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return;
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0)
        RunCopy(work, parent, ends[1]);
    ::close(ends[1]);
    if (pid < 0) { // EAGAIN, ENOMEM
        ::close(ends[0]);
        return;
    }
    copy.process = pid;
    copy.output = ends[0];
}

Outcome Wait(AbandonableCopy &copy, const Wake &wake, std::vector<char> &result) {
    result.clear();
    if (copy.process <= 0 || wake.Handle() < 0) {
        End(copy, true);
        return Outcome::NotRun;
    }
    bool abandoned = false, failed = false;
    char buffer[65536];
    for (;;) {
        pollfd fds[2] = {{copy.output, POLLIN, 0}, {wake.Handle(), POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            failed = true;
            break;
        }
        if (fds[1].revents != 0) {
            abandoned = true;
            break;
        }
        const ssize_t got = ::read(copy.output, buffer, sizeof buffer);
        if (got > 0) {
            result.insert(result.end(), buffer, buffer + got);
        } else if (got == 0) {
            break;
        } else if (errno != EINTR) {
            failed = true;
            break;
        }
    }
    const int status = End(copy, abandoned || failed);
    if (abandoned) {
        result.clear();
        return Outcome::Abandoned;
    }
    if (failed || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        result.clear();
        return Outcome::NotRun;
    }
    return Outcome::Done;
}

} // namespace AbandonableWork
