#pragma once

#include "app/textcommands.h"
#include "doubles.h"
#include "procstatus.h"

#include <QDir>
#include <QFile>
#include <QList>
#include <QString>
#include <QTest>
#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <string>
#include <thread>
#include <unistd.h>

// Should a reader block opening a FIFO, this opens the writing end after a
// while so that the test fails instead of hanging.
class FifoRescue {
public:
    explicit FifoRescue(const QString &fifo)
        : path_(QFile::encodeName(fifo).toStdString()), thread_([this] { Watch(); }) {}
    ~FifoRescue() {
        done_ = true;
        thread_.join();
    }
    bool Rescued() const { return rescued_; }

private:
    void Watch() {
        for (int i = 0; i < 50; ++i) {
            if (done_)
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        const int fd = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) {
            rescued_ = true;
            ::close(fd);
        }
    }

    std::string path_;
    std::atomic<bool> done_{false};
    std::atomic<bool> rescued_{false};
    std::thread thread_;
};

// Descriptors this process holds open right now.
inline int OpenDescriptorCount() {
    return ProcStatus::OpenDescriptors();
}

// File > Open goes on after the command returns: waits (never timing it) for
// the load under way to end. False if it never does.
inline bool FinishOpen(const TextCommands *commands) {
    return commands && QTest::qWaitFor([commands] { return !commands->Loading(); }, 600000);
}
