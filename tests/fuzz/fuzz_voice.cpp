// Any text, in any voice, through the voice's own process: the program never
// crashes, and every word it is told of lies inside the text. A voice that
// faults on the text (espeak-ng 1.51 does on some scripts) costs only its
// helper, which is replaced; how often that happened is printed at the end.
//   scripts/fuzz.sh --seconds 600 fuzz_voice
#include "fuzzcheck.h"
#include "speech/voice/speechengine.h"

#include <QString>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {

// Kept to the very end, so the count can be told at exit.
SpeechEngine &Engine() {
    static auto *engine = [] {
        auto *held = new std::shared_ptr<SpeechEngine>(SpeechEngine::Acquire());
        std::atexit(
            [] { std::fprintf(stderr, "voice helper replaced %d times\n", Engine().Restarts()); });
        return held;
    }();
    return **engine;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 1)
        return 0;
    SpeechEngine &engine = Engine();
    FUZZ_CHECK(engine.StartupError().isEmpty(), "the voice did not start");
    const auto &voices = engine.Voices();
    // The first byte picks the voice; the rest is UTF-16, broken pairs and all.
    const QByteArray voice = voices[data[0] % voices.size()].identifier;
    const QString text =
        QString::fromUtf16(reinterpret_cast<const char16_t *>(data + 1), qsizetype((size - 1) / 2));
    auto channel = std::make_shared<SpeechChannel>(1 << 20);
    channel->rate = 450;
    channel->pitch = 50;
    const std::uint64_t generation = channel->queue.Begin();
    channel->timeline.Begin(generation);
    engine.Speak(channel, generation, SpeechRequest{text, 0, 0, voice});
    std::vector<std::int16_t> pulled(4096);
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!channel->queue.Drained() || channel->queue.Pull(pulled.data(), pulled.size()) > 0) {
        if (channel->queue.Pull(pulled.data(), pulled.size()) == 0)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        FUZZ_CHECK(std::chrono::steady_clock::now() < give_up, "the voice hung");
    }
    for (const SpeechMark &mark : channel->timeline.Pending())
        if (mark.kind == SpeechMark::Kind::Word)
            FUZZ_CHECK(mark.word.start >= 0 && mark.word.length > 0 &&
                           mark.word.start + mark.word.length <= text.size(),
                       "a word outside the text");
    channel->queue.Close();
    return 0;
}
