#include "voicelink.h"

#include "platform/childprocess.h"

#include <QFileInfo>
#include <algorithm>
#include <cstring>

namespace {
// A write the helper has not taken by then means it has stopped reading.
constexpr int kWriteLimitMs = 1000;
// How often a wait for the hello looks whether it is still wanted.
constexpr int kStartStepMs = 50;
} // namespace

VoiceLink::VoiceLink(std::unique_ptr<ChildProcess> child) : child_(std::move(child)) {
}

VoiceLink::~VoiceLink() = default;

std::unique_ptr<VoiceLink> VoiceLink::Start(const QString &path, int limitMs,
                                            const std::atomic<bool> &stop, Hello &hello,
                                            QString &error) {
    std::string why;
    std::unique_ptr<ChildProcess> child = StartChildProcess(path.toStdString(), {}, why);
    if (!child) {
        error = QFileInfo::exists(path) ? QStringLiteral("its helper %1 cannot be run (%2).")
                                              .arg(path, QString::fromLocal8Bit(why.c_str()))
                                        : QStringLiteral("its helper %1 is missing.").arg(path);
        return nullptr;
    }
    std::unique_ptr<VoiceLink> link(new VoiceLink(std::move(child)));
    Message message;
    Received got = Received::Silent;
    for (int waited = 0;
         waited < limitMs && !stop && got != Received::Message && got != Received::Gone;
         waited += kStartStepMs)
        got = link->Receive(message, kStartStepMs);
    voice::Reader reader(message.body.data(), message.body.size());
    if (got != Received::Message || message.kind != voice::Kind::Hello) {
        error = QStringLiteral("its helper %1 did not start.").arg(path);
        return nullptr;
    }
    hello.sampleRate = reader.Get<std::int32_t>();
    const std::string problem = reader.GetText();
    if (hello.sampleRate <= 0) {
        error = QString::fromStdString(problem);
        return nullptr;
    }
    hello.defaultVoice = QByteArray::fromStdString(reader.GetText());
    const std::uint32_t count = reader.Get<std::uint32_t>();
    for (std::uint32_t i = 0; i < count && reader.ok(); ++i) {
        SpeechVoice v;
        v.name = QString::fromStdString(reader.GetText()).trimmed();
        v.language = QString::fromStdString(reader.GetText());
        v.identifier = QByteArray::fromStdString(reader.GetText());
        if (reader.ok() && !v.name.isEmpty() && !v.identifier.isEmpty())
            hello.voices.push_back(std::move(v));
    }
    return link;
}

bool VoiceLink::Send(const std::vector<char> &message) {
    return child_->Write(message.data(), message.size(), kWriteLimitMs);
}

void VoiceLink::Wake() {
    child_->Wake();
}

long long VoiceLink::Id() const {
    return child_->Id();
}

VoiceLink::Received VoiceLink::Receive(Message &message, int timeoutMs) {
    for (;;) {
        const std::size_t held = input_.size() - inputFrom_;
        if (held >= sizeof(voice::Header)) {
            voice::Header header;
            std::memcpy(&header, input_.data() + inputFrom_, sizeof header);
            if (header.size > voice::kMaxBody)
                return Received::Gone; // not our helper speaking
            if (held >= sizeof header + header.size) {
                const char *body = input_.data() + inputFrom_ + sizeof header;
                message.kind = header.kind;
                message.body.assign(body, body + header.size);
                inputFrom_ += sizeof header + header.size;
                if (inputFrom_ == input_.size()) {
                    input_.clear();
                    inputFrom_ = 0;
                }
                return Received::Message;
            }
        }
        if (inputFrom_ > 0 && inputFrom_ * 2 > input_.size()) {
            input_.erase(input_.begin(), input_.begin() + std::ptrdiff_t(inputFrom_));
            inputFrom_ = 0;
        }
        char buffer[64 * 1024];
        const std::ptrdiff_t got = child_->Read(buffer, sizeof buffer);
        if (got < 0)
            return Received::Gone;
        if (got > 0) {
            input_.insert(input_.end(), buffer, buffer + got);
            continue;
        }
        const ChildProcess::Ready ready = child_->Wait(timeoutMs);
        if (ready == ChildProcess::Ready::Woken)
            return Received::Woken;
        if (ready == ChildProcess::Ready::TimedOut)
            return Received::Silent;
    }
}
