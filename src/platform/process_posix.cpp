#include "process.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Closes every descriptor from `from` up, except `keep`. Runs between fork and
// exec, so only system calls: no allocation, no directory stream.
void CloseFrom(int from, int keep) {
#ifdef SYS_close_range
    // Linux 5.9 and later; the last descriptor number stands for "all the rest".
    bool done = true;
    if (keep > from)
        done = ::syscall(SYS_close_range, unsigned(from), unsigned(keep - 1), 0u) == 0;
    if (done && ::syscall(SYS_close_range, unsigned(std::max(from, keep + 1)), ~0u, 0u) == 0)
        return;
#endif
    // Older kernels: the open descriptors as /proc lists them.
    const int dir = ::open("/proc/self/fd", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        alignas(8) char buffer[4096];
        for (;;) {
            const long got = ::syscall(SYS_getdents64, dir, buffer, sizeof buffer);
            if (got <= 0)
                break;
            for (long at = 0; at < got;) {
                const auto *entry = reinterpret_cast<const struct dirent64 *>(buffer + at);
                at += entry->d_reclen;
                int fd = 0;
                const char *c = entry->d_name;
                if (*c < '0' || *c > '9')
                    continue;
                for (; *c >= '0' && *c <= '9'; ++c)
                    fd = fd * 10 + (*c - '0');
                if (fd >= from && fd != keep && fd != dir)
                    ::close(fd);
            }
        }
        ::close(dir);
        return;
    }
    // No /proc either: every number the process may use.
    struct rlimit limit {};
    const long most = ::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY
                          ? long(limit.rlim_cur)
                          : 65536L;
    for (long fd = from; fd < most; ++fd)
        if (fd != keep)
            ::close(int(fd));
}

void ReportAndExit(int fd, int code) {
    const int error = errno;
    [[maybe_unused]] const ssize_t written = ::write(fd, &error, sizeof error);
    ::_exit(code);
}

// Double fork: the program becomes a child of init in a session of its own, so
// it is never waited for, never left a zombie and outlives this program. A
// close-on-exec pipe tells whether the exec itself worked.
class PosixProcessStarter final : public ProcessStarter {
public:
    bool StartDetached(const std::string &path) override {
        if (path.empty() || path.find('\0') != std::string::npos)
            return false;
        // Prepared before forking: the children may only make async-signal-safe calls.
        const char *file = path.c_str();
        char *const argv[] = {const_cast<char *>(file), nullptr};
        sigset_t all;
        sigemptyset(&all);
        struct sigaction byDefault {};
        byDefault.sa_handler = SIG_DFL;
        sigemptyset(&byDefault.sa_mask);

        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            return false;
        const pid_t child = ::fork();
        if (child < 0) {
            ::close(fds[0]);
            ::close(fds[1]);
            return false;
        }
        if (child == 0) {
            ::close(fds[0]);
            ::setsid();
            const pid_t grandchild = ::fork();
            if (grandchild < 0)
                ReportAndExit(fds[1], 1);
            if (grandchild > 0)
                ::_exit(0);
            ::sigprocmask(SIG_SETMASK, &all, nullptr);
            ::sigaction(SIGPIPE, &byDefault, nullptr);
            ::sigaction(SIGCHLD, &byDefault, nullptr);
            // The program gets standard input, output and error and nothing
            // else of ours (sound server handles, files being read...).
            CloseFrom(3, fds[1]);
            ::execv(file, argv);
            ReportAndExit(fds[1], 127);
        }
        ::close(fds[1]);
        int error = 0;
        ssize_t got;
        do {
            got = ::read(fds[0], &error, sizeof error);
        } while (got < 0 && errno == EINTR);
        ::close(fds[0]);
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        // Nothing on the pipe: the exec closed it, so the program is running.
        return got == 0;
    }
};

} // namespace

std::unique_ptr<ProcessStarter> CreateSystemProcessStarter() {
    return std::make_unique<PosixProcessStarter>();
}
