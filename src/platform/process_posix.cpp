#include "process.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

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
