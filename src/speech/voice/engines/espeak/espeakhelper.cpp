// zavren-voice: espeak-ng in a process of its own. espeak-ng 1.51 reads and
// writes freed memory on some text; here such a fault can only end this
// helper, which the editor replaces, never the editor with its text.
//
// Requests come on standard input, samples and marks go out on standard
// output (speech/voiceprotocol.h). The helper ends when its input ends, so it
// never outlives the editor.

#include "espeakhelper.h"

#include "platform/binarystdio.h"
#include "speech/helpers/requestloop.h"
#include "speech/voice/voiceprotocol.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <espeak-ng/speak_lib.h>
#include <thread>

namespace {

// Short pieces: a stop or a new rate is noticed quickly and the first sound
// leaves early.
constexpr int kChunkMs = 20;

// Owned by the synthesis (main) thread.
std::uint64_t currentJob = 0;
std::int32_t appliedRate = -1;
std::int32_t appliedPitch = -1;
std::string appliedVoice;
std::string defaultVoice;

// Set for a text that is to fail (only ever in the tests' own build).
const VoiceFaults *faults = nullptr;
bool faultArmed = false;
int faultIn = 0; // chunks still to send

void ApplySettings() {
    const std::int32_t wantedRate = RequestLoop::Rate();
    const std::int32_t wantedPitch = RequestLoop::Pitch();
    if (wantedRate != appliedRate && wantedRate >= 0) {
        espeak_SetParameter(espeakRATE, wantedRate, 0);
        appliedRate = wantedRate;
    }
    if (wantedPitch != appliedPitch && wantedPitch >= 0) {
        espeak_SetParameter(espeakPITCH, wantedPitch, 0);
        appliedPitch = wantedPitch;
    }
}

void ApplyVoice(const std::string &voice) {
    const std::string wanted = voice.empty() ? defaultVoice : voice;
    if (wanted == appliedVoice)
        return;
    if (espeak_SetVoiceByName(wanted.c_str()) == EE_OK)
        appliedVoice = wanted;
    else if (espeak_SetVoiceByName(defaultVoice.c_str()) == EE_OK)
        appliedVoice = defaultVoice;
    // A voice brings settings of its own: pitch and speed are written afresh
    // so a slider position means the same in every voice.
    appliedRate = -1;
    appliedPitch = -1;
}

int OnSynth(short *samples, int count, espeak_EVENT *events) {
    if (RequestLoop::Interrupted())
        return 1;
    ApplySettings();
    std::vector<voice::Event> marks;
    for (espeak_EVENT *e = events; e && e->type != espeakEVENT_LIST_TERMINATED; ++e) {
        voice::Event mark;
        mark.sample = e->sample;
        if (e->type == espeakEVENT_WORD) {
            mark.type = voice::Event::Word;
            mark.textPosition = e->text_position;
            mark.length = e->length;
        } else if (e->type == espeakEVENT_PHONEME) {
            mark.type = voice::Event::Phoneme;
            std::memcpy(mark.phoneme, e->id.string, sizeof mark.phoneme);
        } else {
            continue;
        }
        marks.push_back(mark);
    }
    voice::Writer chunk(voice::Kind::Chunk);
    chunk.Put(currentJob);
    chunk.PutArray(marks.data(), marks.size());
    chunk.PutArray(samples, samples && count > 0 ? std::size_t(count) : 0);
    RequestLoop::Send(chunk.Done());
    if (faultArmed && samples && count > 0 && --faultIn <= 0)
        faults->FailNow();
    return RequestLoop::Interrupted() ? 1 : 0;
}

// Starts espeak-ng and tells the editor what it offers.
bool SayHello() {
    // Phoneme events, named in IPA, drive the face's mouth.
    const int sampleRate =
        espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, kChunkMs, nullptr,
                          espeakINITIALIZE_PHONEME_EVENTS | espeakINITIALIZE_PHONEME_IPA |
                              espeakINITIALIZE_DONT_EXIT);
    const bool ready = sampleRate > 0 && espeak_SetVoiceByName("en") == EE_OK;
    voice::Writer hello(voice::Kind::Hello);
    hello.Put(std::int32_t(ready ? sampleRate : 0));
    if (!ready) {
        hello.Put(std::string_view("its voice data is missing or unreadable."));
        RequestLoop::Send(hello.Done());
        return false;
    }
    hello.Put(std::string_view());
    // The voice set at start is the default; its file name is how it is chosen.
    if (const espeak_VOICE *current = espeak_GetCurrentVoice(); current && current->identifier)
        defaultVoice = current->identifier;
    appliedVoice = defaultVoice;
    hello.Put(std::string_view(defaultVoice));
    std::vector<voice::VoiceInfo> voices;
    for (const espeak_VOICE **list = espeak_ListVoices(nullptr); list && *list; ++list) {
        const espeak_VOICE &v = **list;
        if (!v.name || !v.identifier)
            continue;
        // The languages field is a list of (priority byte, name) pairs; the
        // first is the voice's own language.
        voices.push_back(
            {v.name, v.languages && v.languages[0] ? v.languages + 1 : "", v.identifier});
    }
    hello.Put(std::uint32_t(voices.size()));
    for (const voice::VoiceInfo &v : voices)
        hello.Put(std::string_view(v.name))
            .Put(std::string_view(v.language))
            .Put(std::string_view(v.identifier));
    RequestLoop::Send(hello.Done());
    espeak_SetSynthCallback(&OnSynth);
    return true;
}

} // namespace

int RunVoiceHelper(const VoiceFaults *failures) {
    faults = failures;
    UseBinaryStdio();
    RequestLoop::Run(SayHello, [](const RequestLoop::Request &request) {
        currentJob = request.job;
        ApplyVoice(request.voice);
        ApplySettings();
        faultArmed = faults && faults->FailsOn(request.text);
        faultIn = 500 / kChunkMs;
        // Plain text only: no espeakSSML, so '<' in the text is never a tag.
        espeak_Synth(request.text.c_str(), request.text.size() + 1, 0, POS_CHARACTER, 0,
                     espeakCHARS_UTF8, nullptr, nullptr);
    });
}
