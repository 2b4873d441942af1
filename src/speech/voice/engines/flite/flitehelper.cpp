// zavren-voice-flite: Flite's voices in a process of their own, speaking the
// same protocol as zavren-voice (speech/voiceprotocol.h), so a fault in Flite
// costs only this helper.
//
// Flite synthesizes a whole piece at once and gives its timing afterwards:
// words and phones come from the utterance's Token and Segment relations.
// Pitch and speed are utterance features: a Settings message is heard from
// the next sentence. (A slider moved while speaking is heard sooner: the
// editor re-synthesises from the word being heard, whatever the engine.)

#include "flitehelper.h"

#include "platform/binarystdio.h"
#include "speech/helpers/requestloop.h"
#include "speech/voice/engines/englishtext.h"
#include "speech/voice/engines/espeak/espeakhelper.h"
#include "speech/voice/voiceprotocol.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <flite.h>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

extern "C" {
cst_voice *register_cmu_us_slt(const char *voxdir);
cst_voice *register_cmu_us_rms(const char *voxdir);
cst_voice *register_cmu_us_awb(const char *voxdir);
cst_voice *register_cmu_us_kal16(const char *voxdir);
cst_voice *register_cmu_us_kal(const char *voxdir);
}

namespace {

// espeak-ng's rate: the editor plays every engine through one stream, so
// Flite's voices (8 and 16 kHz) are resampled to it.
constexpr int kOutputRate = 22050;
constexpr int kChunkSamples = kOutputRate / 50; // 20 ms, as zavren-voice sends

// The slider's meaning arrives in espeak-ng's units (words per minute; pitch
// 0..99 with 50 the voice's own); these are their espeak-ng normals.
constexpr double kNormalRate = 175.0;
constexpr double kNormalPitch = 50.0;

struct FliteVoice {
    const char *id;   // what selects it, after the editor's "flite:"
    const char *name; // as the voice menu shows it
    cst_voice *(*registration)(const char *);
    cst_voice *voice = nullptr;
    float f0Mean = 0; // the voice's own, where it keeps one
};

FliteVoice voices[] = {
    {"slt", "English (Flite: slt)", &register_cmu_us_slt},
    {"rms", "English (Flite: rms)", &register_cmu_us_rms},
    {"awb", "English (Flite: awb)", &register_cmu_us_awb},
    {"kal16", "English (Flite: kal16)", &register_cmu_us_kal16},
    {"kal", "English (Flite: kal)", &register_cmu_us_kal},
};

const VoiceFaults *faults = nullptr;

std::int32_t ToSample(float seconds) {
    return std::max(0, static_cast<std::int32_t>(std::lround(seconds * kOutputRate)));
}

using EnglishText::Piece;

Piece Synthesize(FliteVoice &fv, const std::string &text, std::size_t from, std::size_t to,
                 std::int32_t wantedRate, std::int32_t wantedPitch) {
    Piece piece;
    cst_voice *v = fv.voice;
    // Speed: espeak-ng's words per minute as a stretch of Flite's durations.
    if (wantedRate > 0)
        feat_set_float(v->features, "duration_stretch",
                       float(kNormalRate / std::clamp<double>(wantedRate, 40, 1000)));
    // Pitch: 0..99 as about an octave and a half around the voice's own:
    // diphone voices carry their mean, the others take a shift.
    if (wantedPitch >= 0) {
        const double factor = std::pow(2.0, (wantedPitch - kNormalPitch) / 75.0);
        if (fv.f0Mean > 0)
            feat_set_float(v->features, "int_f0_target_mean", float(fv.f0Mean * factor));
        else
            feat_set_float(v->features, "f0_shift", float(factor));
    }
    const std::string rest = text.substr(from, to - from);
    cst_utterance *utt = flite_synth_text(rest.c_str(), v);
    if (!utt)
        return piece;
    cst_wave *wave = utt_wave(utt);
    if (wave && cst_wave_num_samples(wave) > 0) {
        if (cst_wave_sample_rate(wave) != kOutputRate)
            cst_wave_resample(wave, kOutputRate);
        piece.samples.assign(cst_wave_samples(wave),
                             cst_wave_samples(wave) + cst_wave_num_samples(wave));
    }
    const std::int32_t before = EnglishText::CodePoints(text, 0, from);
    // Each token (the text as written, less punctuation) is one word to the
    // listener, however many words Flite reads it as ("42"): it begins
    // where its first word's first phone begins.
    std::size_t searchFrom = 0;
    for (cst_item *token = relation_head(utt_relation(utt, "Token")); token;
         token = item_next(token)) {
        const char *name = item_feat_string(token, "name");
        if (!name || !*name)
            continue;
        const std::size_t at = rest.find(name, searchFrom);
        if (at == std::string::npos)
            continue;
        searchFrom = at + std::strlen(name);
        const cst_item *firstPhone =
            path_to_item(token, "daughter1.R:SylStructure.daughter1.daughter1.R:Segment");
        if (!firstPhone)
            continue;
        const cst_item *previous = item_prev(firstPhone);
        voice::Event mark;
        mark.type = voice::Event::Word;
        mark.sample = previous ? ToSample(item_feat_float(previous, "end")) : 0;
        mark.textPosition = before + EnglishText::CodePoints(rest, 0, at) + 1;
        mark.length = EnglishText::CodePoints(rest, at, searchFrom);
        piece.marks.push_back(mark);
    }
    float start = 0;
    std::int32_t lastSound = 0; // where the last phone that is not a pause ends
    for (cst_item *segment = relation_head(utt_relation(utt, "Segment")); segment;
         segment = item_next(segment)) {
        voice::Event mark;
        mark.type = voice::Event::Phoneme;
        mark.sample = ToSample(start);
        const char *ipa = EnglishText::Ipa(item_feat_string(segment, "name"));
        std::memcpy(mark.phoneme, ipa, std::min(std::strlen(ipa), sizeof mark.phoneme));
        piece.marks.push_back(mark);
        start = item_feat_float(segment, "end");
        if (std::strcmp(ipa, "_") != 0)
            lastSound = ToSample(start);
    }
    EnglishText::TrimPauses(piece.samples, piece.marks, lastSound,
                            !EnglishText::EndsSentence(text, to));
    delete_utterance(utt);
    return piece;
}

FliteVoice *Find(const std::string &id) {
    for (FliteVoice &fv : voices)
        if (fv.voice && id == fv.id)
            return &fv;
    return nullptr;
}

// Speaks one request, 20 ms at a time, until it ends or is abandoned.
void Speak(const RequestLoop::Request &asked) {
    RequestLoop::Request request = asked;
    request.text = EnglishText::AsciiPunctuation(asked.text);
    FliteVoice *fv = Find(request.voice);
    if (!fv)
        fv = Find(voices[0].id);
    if (!fv)
        return;
    const bool faultArmed = faults && faults->FailsOn(request.text);
    int faultIn = 500 * kOutputRate / 1000 / kChunkSamples;
    std::int32_t base = 0; // samples of the request sent before this piece
    const std::string &text = request.text;
    EnglishText::PiecesInCopies pieces;
    for (std::size_t from = 0; from < text.size() && !RequestLoop::Interrupted();) {
        const std::size_t to = EnglishText::PieceEnd(text, from, from == 0);
        const std::int32_t rate = RequestLoop::Rate();
        const std::int32_t pitch = RequestLoop::Pitch();
        const auto make = [&](std::size_t start, std::size_t end) {
            return Synthesize(*fv, text, start, end, rate, pitch);
        };
        Piece piece;
        std::uint64_t unused = 0;
        if (from == 0) {
            if (to < text.size())
                pieces.Begin(to, EnglishText::PieceEnd(text, to), make);
            piece = make(from, to);
        } else if (!pieces.Take(from, to, make, piece, unused)) {
            return;
        }
        const std::int32_t through = EnglishText::CodePoints(text, 0, to) + 1;
        const bool whole = RequestLoop::SendPiece(request.job, piece.samples, piece.marks, base,
                                                  through, kChunkSamples, [&](std::size_t count) {
                                                      if (faultArmed && count > 0 && --faultIn <= 0)
                                                          faults->FailNow();
                                                  });
        if (!whole)
            return;
        base += std::int32_t(piece.samples.size());
        from = to;
    }
}

bool SayHello() {
    flite_init();
    std::vector<voice::VoiceInfo> offered;
    for (FliteVoice &fv : voices) {
        fv.voice = fv.registration(nullptr);
        if (!fv.voice)
            continue;
        fv.f0Mean = get_param_float(fv.voice->features, "int_f0_target_mean", 0.0f);
        offered.push_back({fv.name, "en", fv.id});
    }
    voice::Writer hello(voice::Kind::Hello);
    if (offered.empty()) {
        hello.Put(std::int32_t(0));
        hello.Put(std::string_view("none of its voices could be loaded."));
        RequestLoop::Send(hello.Done());
        return false;
    }
    hello.Put(std::int32_t(kOutputRate));
    hello.Put(std::string_view());
    hello.Put(std::string_view(offered.front().identifier));
    hello.Put(std::uint32_t(offered.size()));
    for (const voice::VoiceInfo &v : offered)
        hello.Put(std::string_view(v.name))
            .Put(std::string_view(v.language))
            .Put(std::string_view(v.identifier));
    RequestLoop::Send(hello.Done());
    return true;
}

} // namespace

int RunFliteHelper(const VoiceFaults *failures) {
    faults = failures;
    UseBinaryStdio();
    RequestLoop::Run(SayHello, Speak);
}
