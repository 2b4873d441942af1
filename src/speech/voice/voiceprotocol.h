#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

// What the editor and its voice helper (zavren-voice) say to each other over
// the helper's standard input and output. Both ends are built together and run
// on one machine, so numbers travel in the machine's own byte order.
// Every message is a header, then `size` bytes of body.
namespace voice {

enum class Kind : std::uint32_t {
    // Editor to helper.
    Speak = 1,    // job, rate, pitch, voice, text (UTF-8): abandons anything under way
    Settings = 2, // rate, pitch: heard from the next chunk
    Stop = 3,     // abandons what is under way
    // Helper to editor.
    Hello = 10, // sample rate (0: no voice), error, default voice, voices
    Chunk = 11, // job, events, samples
    Done = 12,  // job: synthesis of it has ended (finished or abandoned)
};

struct Header {
    Kind kind;
    std::uint32_t size;
};

// A word or phoneme espeak-ng placed: `sample` counts from the start of the
// job's audio; a word's place counts code points of the job's text from 1.
// PieceEnd: all of the text before `textPosition` has been said, so the last
// word need not wait for the next one's place to be heard.
struct Event {
    enum Type : std::uint32_t { Word = 1, Phoneme = 2, PieceEnd = 3 };
    std::uint32_t type = Word;
    std::int32_t sample = 0;
    std::int32_t textPosition = 0;
    std::int32_t length = 0;
    char phoneme[8] = {}; // not terminated when it fills all 8
};

struct VoiceInfo {
    std::string name;
    std::string language;
    std::string identifier;
};

// Builds one message.
class Writer {
public:
    explicit Writer(Kind kind) { Put(Header{kind, 0}); }
    template <typename T> Writer &Put(const T &value) { return Append(&value, sizeof value); }
    Writer &Put(std::string_view text) {
        Put(std::uint32_t(text.size()));
        return Append(text.data(), text.size());
    }
    template <typename T> Writer &PutArray(const T *values, std::size_t count) {
        Put(std::uint32_t(count));
        return Append(values, count * sizeof(T));
    }
    // The message, its header filled in.
    const std::vector<char> &Done() {
        const std::uint32_t size = std::uint32_t(data_.size() - sizeof(Header));
        std::memcpy(data_.data() + offsetof(Header, size), &size, sizeof size);
        return data_;
    }

private:
    Writer &Append(const void *bytes, std::size_t size) {
        if (size > 0) {
            const std::size_t at = data_.size();
            data_.resize(at + size);
            std::memcpy(data_.data() + at, bytes, size);
        }
        return *this;
    }

    std::vector<char> data_;
};

// Reads one message body; a short or malformed body leaves it !ok().
class Reader {
public:
    Reader(const char *data, std::size_t size) : at_(data), end_(data + size) {}
    template <typename T> T Get() {
        T value{};
        if (std::size_t(end_ - at_) < sizeof value) {
            ok_ = false;
            return value;
        }
        std::memcpy(&value, at_, sizeof value);
        at_ += sizeof value;
        return value;
    }
    std::string GetText() {
        const std::uint32_t size = Get<std::uint32_t>();
        if (!ok_ || std::size_t(end_ - at_) < size) {
            ok_ = false;
            return {};
        }
        std::string text(at_, size);
        at_ += size;
        return text;
    }
    template <typename T> std::vector<T> GetArray() {
        const std::uint32_t count = Get<std::uint32_t>();
        if (!ok_ || std::size_t(end_ - at_) / sizeof(T) < count) {
            ok_ = false;
            return {};
        }
        std::vector<T> values(count);
        if (count > 0)
            std::memcpy(values.data(), at_, count * sizeof(T));
        at_ += count * sizeof(T);
        return values;
    }
    bool ok() const { return ok_; }

private:
    const char *at_;
    const char *end_;
    bool ok_ = true;
};

// Bodies larger than this are not ours: the stream is broken.
constexpr std::uint32_t kMaxBody = 64u << 20;

} // namespace voice
