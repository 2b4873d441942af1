#pragma once

#include "platform/abandonablework.h"
#include "speech/voice/voiceprotocol.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

// What every voice helper shares: requests read from standard input on a
// thread of their own, a one-slot mailbox (a new Speak replaces one not yet
// started and interrupts the one under way), and messages written to
// standard output. Input that ends or is not ours ends the helper.
namespace RequestLoop {

struct Request {
    std::uint64_t job = 0;
    std::int32_t rate = 0;
    std::int32_t pitch = 0;
    std::string voice;
    std::string text;
};

// A helper's whole life: `hello` says what it offers (false: it cannot
// speak, and waits to be ended), then each request goes to `speak`, with Done
// after it. Reading goes on meanwhile, so the helper ends with its input.
[[noreturn]] void Run(const std::function<bool()> &hello,
                      const std::function<void(const Request &)> &speak);
// Starts reading; returns at once.
void StartReading();
// Waits for the next Speak, its rate and pitch becoming the ones asked for.
Request Next();
// A Stop or a newer Speak came after the request under way.
bool Interrupted();
// The same, for a wait to watch (AbandonableWork::Wait).
const Wake &Interruption();
// Rate and pitch as last asked for, by the request or a Settings message since.
std::int32_t Rate();
std::int32_t Pitch();
// Where messages go from now on: standard output unless told otherwise.
void UseOutput(std::FILE *output);
// Writes one message; a closed output (the editor has gone) ends the helper.
void Send(const std::vector<char> &message);
// Says that synthesis of `job` has ended, finished or abandoned.
void SendDone(std::uint64_t job);
// Sends a piece of `job`'s speech in chunks of at most `chunkSamples`, each
// with the marks that fall in it (the piece's marks count from its start;
// they go out `base` samples on), the last chunk saying that the text ends
// before code point `through` (from 1). `chunkSent` hears each chunk's count.
// False when interrupted part-way.
bool SendPiece(std::uint64_t job, const std::vector<std::int16_t> &samples,
               const std::vector<voice::Event> &marks, std::int32_t base, std::int32_t through,
               std::size_t chunkSamples, const std::function<void(std::size_t)> &chunkSent);

} // namespace RequestLoop
