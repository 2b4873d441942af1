#include "childprocess.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

void CloseIfOpen(int &fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

class PosixChildProcess final : public ChildProcess {
public:
    PosixChildProcess(pid_t pid, int in, int out, int wakeRead, int wakeWrite)
        : pid_(pid), in_(in), out_(out), wakeRead_(wakeRead), wakeWrite_(wakeWrite) {}

    ~PosixChildProcess() override {
        CloseIfOpen(in_);
        CloseIfOpen(out_);
        Kill();
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        CloseIfOpen(wakeRead_);
        CloseIfOpen(wakeWrite_);
    }

    Ready Wait(int timeoutMs) override {
        pollfd fds[2] = {{out_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
        int got;
        do {
            got = ::poll(fds, 2, timeoutMs);
        } while (got < 0 && errno == EINTR);
        if (got > 0 && fds[1].revents) {
            char drain[64];
            while (::read(wakeRead_, drain, sizeof drain) > 0) {
            }
            return Ready::Woken;
        }
        return got > 0 ? Ready::Readable : Ready::TimedOut;
    }

    std::ptrdiff_t Read(void *data, std::size_t size) override {
        for (;;) {
            const ssize_t got = ::read(out_, data, size);
            if (got > 0)
                return got;
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0 && errno == EAGAIN)
                return 0;
            return -1;
        }
    }

    bool Write(const void *data, std::size_t size, int timeoutMs) override {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        const char *at = static_cast<const char *>(data);
        while (size > 0) {
            const ssize_t put = ::write(in_, at, size);
            if (put > 0) {
                at += put;
                size -= std::size_t(put);
                continue;
            }
            if (put < 0 && errno == EINTR)
                continue;
            if (put < 0 && errno != EAGAIN)
                return false; // EPIPE: the child has gone
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return false;
            pollfd fd{in_, POLLOUT, 0};
            ::poll(&fd, 1, int(left.count()));
        }
        return true;
    }

    void Wake() override {
        const char one = 1;
        [[maybe_unused]] const ssize_t put = ::write(wakeWrite_, &one, 1);
    }

    void Kill() override { ::kill(pid_, SIGKILL); }
    long long Id() const override { return pid_; }

private:
    pid_t pid_;
    int in_;
    int out_;
    int wakeRead_;
    int wakeWrite_;
};

} // namespace

std::unique_ptr<ChildProcess> StartChildProcess(const std::string &path,
                                                const std::vector<std::string> &arguments,
                                                std::string &error) {
    // A write to a child that has gone must fail, not end this process.
    static const bool pipeSignalIgnored = [] {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        return ::sigaction(SIGPIPE, &ignore, nullptr) == 0;
    }();
    (void)pipeSignalIgnored;

    int in[2] = {-1, -1};
    int out[2] = {-1, -1};
    int wake[2] = {-1, -1};
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 ||
        ::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        error = std::strerror(errno);
        for (int *fd : {&in[0], &in[1], &out[0], &out[1], &wake[0], &wake[1]})
            CloseIfOpen(*fd);
        return nullptr;
    }
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>(path.c_str()));
    for (const std::string &argument : arguments)
        argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    // Nothing else of ours: sound-server handles, files being read...
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults, none;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    pid_t pid = -1;
    const int failed =
        ::posix_spawn(&pid, path.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    CloseIfOpen(in[0]);
    CloseIfOpen(out[1]);
    if (failed != 0) {
        error = std::strerror(failed);
        for (int *fd : {&in[1], &out[0], &wake[0], &wake[1]})
            CloseIfOpen(*fd);
        return nullptr;
    }
    ::fcntl(in[1], F_SETFL, O_NONBLOCK);
    ::fcntl(out[0], F_SETFL, O_NONBLOCK);
    return std::make_unique<PosixChildProcess>(pid, in[1], out[0], wake[0], wake[1]);
}

std::string ThisProgramFolder() {
    std::string path(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
    if (n <= 0 || std::size_t(n) >= path.size())
        return {};
    path.resize(std::size_t(n));
    return path.substr(0, path.rfind('/'));
}
