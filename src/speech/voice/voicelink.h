#pragma once

#include "speech/voice/voiceprotocol.h"

#include <QByteArray>
#include <QString>
#include <atomic>
#include <memory>
#include <vector>

class ChildProcess;

// One of espeak-ng's voices.
struct SpeechVoice {
    QString name;          // e.g. "English (America)"
    QString language;      // e.g. "en-us"
    QByteArray identifier; // what selects it, e.g. "gmw/en-US"
};

// The conversation with one voice helper process: its start and hello, then
// messages both ways. One thread talks; Wake may come from any thread.
class VoiceLink {
public:
    struct Message {
        voice::Kind kind{};
        std::vector<char> body;
    };
    enum class Received { Message, Woken, Silent, Gone };
    // What a helper offers, as it says when it starts.
    struct Hello {
        int sampleRate = 0;
        QByteArray defaultVoice;
        std::vector<SpeechVoice> voices;
    };

    // Starts the helper at `path` and waits up to `limitMs` for its hello, or
    // until `stop` is set. Null, with `error` saying why, when none comes.
    static std::unique_ptr<VoiceLink> Start(const QString &path, int limitMs,
                                            const std::atomic<bool> &stop, Hello &hello,
                                            QString &error);
    ~VoiceLink(); // kills and collects the helper

    // The next message, waiting at most `timeoutMs` for output.
    Received Receive(Message &message, int timeoutMs);
    bool Send(const std::vector<char> &message);
    void Wake();
    long long Id() const;

private:
    explicit VoiceLink(std::unique_ptr<ChildProcess> child);

    std::unique_ptr<ChildProcess> child_;
    std::vector<char> input_; // read, not yet taken
    std::size_t inputFrom_ = 0;
};
