#include "requestloop.h"

#include "speech/voice/voiceprotocol.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <thread>

namespace RequestLoop {
namespace {

std::mutex mutex;
std::condition_variable wake;
std::optional<Request> pending;      // guarded by mutex
std::atomic<bool> interrupt{false};  // set under mutex
std::atomic<std::int32_t> rate{-1};  // as last asked for
std::atomic<std::int32_t> pitch{-1}; //
Wake interruption;                   // raised with interrupt
std::FILE *output = stdout;          // set before reading starts

void Read() {
    for (;;) {
        voice::Header header{};
        if (std::fread(&header, sizeof header, 1, stdin) != 1 || header.size > voice::kMaxBody)
            std::_Exit(0);
        std::vector<char> body(header.size);
        if (header.size > 0 && std::fread(body.data(), header.size, 1, stdin) != 1)
            std::_Exit(0);
        voice::Reader reader(body.data(), body.size());
        if (header.kind == voice::Kind::Speak) {
            Request request;
            request.job = reader.Get<std::uint64_t>();
            request.rate = reader.Get<std::int32_t>();
            request.pitch = reader.Get<std::int32_t>();
            request.voice = reader.GetText();
            request.text = reader.GetText();
            if (!reader.ok())
                std::_Exit(2);
            std::lock_guard lock(mutex);
            pending = std::move(request);
            interrupt = true;
            interruption.Raise();
            wake.notify_one();
        } else if (header.kind == voice::Kind::Settings) {
            rate = reader.Get<std::int32_t>();
            pitch = reader.Get<std::int32_t>();
        } else if (header.kind == voice::Kind::Stop) {
            std::lock_guard lock(mutex);
            pending.reset();
            interrupt = true;
            interruption.Raise();
        }
    }
}

} // namespace

void StartReading() {
    // Reads until the editor goes, even while a synthesis hangs.
    std::thread(Read).detach();
}

Request Next() {
    std::unique_lock lock(mutex);
    wake.wait(lock, [] { return pending.has_value(); });
    Request request = std::move(*pending);
    pending.reset();
    interrupt = false;
    interruption.Lower();
    rate = request.rate;
    pitch = request.pitch;
    return request;
}

bool Interrupted() {
    return interrupt.load();
}

const Wake &Interruption() {
    return interruption;
}

std::int32_t Rate() {
    return rate.load();
}

std::int32_t Pitch() {
    return pitch.load();
}

void UseOutput(std::FILE *stream) {
    output = stream;
}

void Send(const std::vector<char> &message) {
    if (std::fwrite(message.data(), 1, message.size(), output) != message.size() ||
        std::fflush(output) != 0)
        std::_Exit(0); // the editor has gone
}

void SendDone(std::uint64_t job) {
    voice::Writer done(voice::Kind::Done);
    done.Put(job);
    Send(done.Done());
}

void Run(const std::function<bool()> &hello, const std::function<void(const Request &)> &speak) {
    const bool ready = hello();
    StartReading();
    if (!ready)
        for (;;)
            std::this_thread::sleep_for(std::chrono::hours(1));
    for (;;) {
        const Request request = Next();
        speak(request);
        SendDone(request.job);
    }
}

bool SendPiece(std::uint64_t job, const std::vector<std::int16_t> &samples,
               const std::vector<voice::Event> &marks, std::int32_t base, std::int32_t through,
               std::size_t chunkSamples, const std::function<void(std::size_t)> &chunkSent) {
    std::size_t nextMark = 0;
    for (std::size_t sent = 0; sent < samples.size() || nextMark < marks.size();) {
        if (Interrupted())
            return false;
        const std::size_t count = std::min(chunkSamples, samples.size() - sent);
        const bool last = sent + count >= samples.size();
        std::vector<voice::Event> chunkMarks;
        for (; nextMark < marks.size() &&
               (last || marks[nextMark].sample < std::int32_t(sent + count));
             ++nextMark) {
            voice::Event mark = marks[nextMark];
            mark.sample += base;
            chunkMarks.push_back(mark);
        }
        if (last) {
            voice::Event end;
            end.type = voice::Event::PieceEnd;
            end.sample = base + std::int32_t(samples.size());
            end.textPosition = through;
            chunkMarks.push_back(end);
        }
        voice::Writer chunk(voice::Kind::Chunk);
        chunk.Put(job);
        chunk.PutArray(chunkMarks.data(), chunkMarks.size());
        chunk.PutArray(samples.data() + sent, count);
        Send(chunk.Done());
        sent += count;
        chunkSent(count);
    }
    return true;
}

} // namespace RequestLoop
