// zavren-voice-festival: Festival's voices in a process of their own,
// speaking the same protocol as zavren-voice (speech/voiceprotocol.h), so a
// fault in Festival costs only this helper.
//
// Festival is driven through Scheme, but the user's text is never read as
// Scheme: each form is built here from cells, and the text goes in as a
// string object, data that no evaluation looks into.
//
// Festival synthesizes an utterance whole and gives its timing afterwards:
// words come from the Token relation and the first phone of each, phones
// from the Segment relation. Speed is the voice's own (HTS's rate, or the
// duration stretch of other voices); pitch moves the whole wave, its speed
// made up for beforehand. A Settings message is heard from the next piece.

#include "festivalhelper.h"

#include "platform/binarystdio.h"
#include "speech/helpers/requestloop.h"
#include "speech/voice/engines/englishtext.h"
#include "speech/voice/engines/espeak/espeakhelper.h"
#include "speech/voice/voiceprotocol.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <csetjmp>
#include <cstring>
#include <festival.h>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <sys/stat.h>
#include <vector>

namespace {

// espeak-ng's rate: the editor plays every engine through one stream.
constexpr int kOutputRate = 22050;
constexpr int kChunkSamples = kOutputRate / 50; // 20 ms, as zavren-voice sends
constexpr std::size_t kLongestPiece = 200;      // bytes of text
// HTS takes about as long again per word as it takes to start: a text, and a
// slider's change, are heard soonest from a first piece of two words.
constexpr int kFirstWords = 2;
// Festival's HTS voices speak well below espeak-ng and Flite (peaks at half
// of full scale): raised, a change of engine is no change of loudness.
constexpr double kGain = 1.8;

// The slider's meaning arrives in espeak-ng's units (words per minute; pitch
// 0..99 with 50 the voice's own); these are their espeak-ng normals.
constexpr double kNormalRate = 175.0;
constexpr double kNormalPitch = 50.0;

struct FestivalVoice {
    std::string id;   // Festival's name, after the editor's "festival:"
    std::string name; // as the voice menu shows it
    std::string language;
    bool hts = false;
};

std::vector<FestivalVoice> voices;
std::string selected; // the voice Festival has set up
const VoiceFaults *faults = nullptr;

// Evaluates a form built here; an error in Festival ends the form, not the
// helper. (Festival reports its errors by a jump to est_errjmp.)
LISP Evaluate(LISP form, bool &ok) {
    jmp_buf *const outer = est_errjmp;
    const long outerOk = errjmp_ok;
    jmp_buf here;
    est_errjmp = &here;
    errjmp_ok = 1;
    if (setjmp(here) != 0) {
        est_errjmp = outer;
        errjmp_ok = outerOk;
        ok = false;
        return NIL;
    }
    LISP result = leval(form, NIL);
    est_errjmp = outer;
    errjmp_ok = outerOk;
    ok = true;
    return result;
}

LISP Quoted(const char *symbol) {
    return cons(rintern("quote"), cons(rintern(symbol), NIL));
}

// (function 'symbol)
LISP CallWithSymbol(const char *function, const std::string &symbol, bool &ok) {
    return Evaluate(cons(rintern(function), cons(Quoted(symbol.c_str()), NIL)), ok);
}

std::string Text(LISP value) {
    if (value == NIL || !(SYMBOLP(value) || TYPEP(value, tc_string)))
        return {};
    return get_c_string(value);
}

// The menu's words for a voice: "cmu_us_slt_arctic_hts" is "slt (HTS)".
std::string ShortName(const std::string &id) {
    static const char *const kDropped[] = {"cmu", "cstr", "nitech", "arctic", "upc", "suo",
                                           "hy",  "us",   "uk",     "en",     "fi",  "es",
                                           "it",  "ru",   "hi",     "mr",     "te",  "cy"};
    static const char *const kMethods[][2] = {{"hts", "HTS"},           {"diphone", "diphone"},
                                              {"clunits", "clunits"},   {"cg", "CG"},
                                              {"multisyn", "multisyn"}, {"ldom", "limited"}};
    std::vector<std::string> parts;
    for (std::size_t from = 0; from <= id.size();) {
        const std::size_t to = std::min(id.find('_', from), id.size());
        if (to > from)
            parts.push_back(id.substr(from, to - from));
        from = to + 1;
    }
    std::string method;
    if (!parts.empty())
        for (const auto &[suffix, shown] : kMethods)
            if (parts.back() == suffix) {
                method = shown;
                parts.pop_back();
                break;
            }
    std::string name;
    for (const std::string &part : parts)
        if (std::none_of(std::begin(kDropped), std::end(kDropped),
                         [&](const char *d) { return part == d; }))
            name += (name.empty() ? "" : " ") + part;
    if (name.empty())
        name = id;
    return method.empty() ? name : name + " (" + method + ")";
}

// Festival's language names as the editor's codes.
std::string LanguageCode(const std::string &language) {
    static const char *const kCodes[][2] = {{"english", "en"}, {"spanish", "es"}, {"italian", "it"},
                                            {"finnish", "fi"}, {"russian", "ru"}, {"hindi", "hi"},
                                            {"marathi", "mr"}, {"telugu", "te"},  {"welsh", "cy"},
                                            {"czech", "cs"},   {"german", "de"},  {"french", "fr"}};
    for (const auto &[name, code] : kCodes)
        if (language == name)
            return code;
    return {};
}

bool Select(const FestivalVoice &voice) {
    if (selected == voice.id)
        return true;
    bool ok = false;
    CallWithSymbol("voice.select", voice.id, ok);
    selected = ok ? voice.id : std::string();
    return ok;
}

// Speed and pitch as the voice takes them: HTS voices by their own rate,
// others by stretching their durations. `speed` is already divided by the
// pitch factor, which the wave's resampling then multiplies back.
void ApplySpeed(double speed) {
    bool ok = false;
    Evaluate(cons(rintern("Parameter.set"),
                  cons(Quoted("Duration_Stretch"), cons(flocons(1.0 / speed), NIL))),
             ok);
    LISP params = siod_get_lval("hts_engine_params", nullptr);
    if (params == NIL || Text(ft_get_param("Synth_Method")) != "HTS")
        return;
    LISP kept = NIL;
    for (LISP l = params; l != NIL && CONSP(l); l = cdr(l))
        if (!(CONSP(car(l)) && Text(car(car(l))) == "-r"))
            kept = cons(car(l), kept);
    kept = cons(cons(strintern("-r"), cons(flocons(speed), NIL)), reverse(kept));
    setvar(rintern("hts_engine_params"), kept, NIL);
}

std::int32_t ToSample(double seconds) {
    return std::max(0, static_cast<std::int32_t>(std::lround(seconds * kOutputRate)));
}

using EnglishText::Piece;

// Where a word's sound begins: the end of the phone before its first.
const EST_Item *FirstPhone(EST_Item *token) {
    for (EST_Item *word = idown(token); word; word = inext(word)) {
        EST_Item *structure = word->as_relation("SylStructure");
        EST_Item *syllable = structure ? idown(structure) : nullptr;
        EST_Item *phone = syllable ? idown(syllable) : nullptr;
        if (phone && phone->as_relation("Segment"))
            return phone->as_relation("Segment");
    }
    return nullptr;
}

// Festival's English rules know ASCII letters; a piece it fails on is tried
// again with the others as blanks, byte for byte, so positions stay.
std::string AsciiOnly(std::string text) {
    for (char &c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            c = ' ';
    return text;
}

Piece Synthesize(const std::string &text, std::size_t from, std::size_t to, double pitch) {
    Piece piece;
    std::string rest = text.substr(from, to - from);
    // Control characters (a NUL would end the string early) read as blanks.
    for (char &c : rest)
        if (static_cast<unsigned char>(c) < 0x20)
            c = ' ';
    bool ok = false;
    LISP synthesized = NIL;
    for (const std::string &attempt : {rest, AsciiOnly(rest)}) {
        // (utt.synth (Utterance Text "…")): the text is a string cell.
        LISP form = cons(rintern("utt.synth"),
                         cons(cons(rintern("Utterance"),
                                   cons(rintern("Text"),
                                        cons(strcons(long(attempt.size()), attempt.c_str()), NIL))),
                              NIL));
        synthesized = Evaluate(form, ok);
        if (ok || attempt == AsciiOnly(rest))
            break;
    }
    if (!ok || synthesized == NIL || !utterance_p(synthesized))
        return piece;
    EST_Utterance *utt = utterance(synthesized);
    if (utt->relation_present("Wave") && utt->relation("Wave")->head() &&
        utt->relation("Wave")->head()->f_present("wave")) {
        EST_Wave *w = wave(utt->relation("Wave")->head()->f("wave"));
        if (w && w->num_samples() > 0) {
            if (w->sample_rate() != kOutputRate)
                w->resample(kOutputRate);
            // Heard faster by `pitch`: higher by as much. (Festival's own
            // rate conversion takes only some ratios: what it leaves is
            // converted here.)
            const double step = pitch * w->sample_rate() / kOutputRate;
            const auto count = std::size_t(double(w->num_samples()) / step);
            piece.samples.resize(count);
            for (std::size_t i = 0; i < count; ++i) {
                const double at = double(i) * step;
                const int left = std::min(int(at), w->num_samples() - 1);
                const int right = std::min(left + 1, w->num_samples() - 1);
                const double part = at - left;
                const double value =
                    kGain * (w->a_no_check(left) * (1 - part) + w->a_no_check(right) * part);
                piece.samples[i] = std::int16_t(std::lround(std::clamp(value, -32768.0, 32767.0)));
            }
        }
    }
    const std::int32_t before = EnglishText::CodePoints(text, 0, from);
    // Each token (the text as written, less punctuation) is one word to the
    // listener, however many words Festival reads it as ("42").
    std::size_t searchFrom = 0;
    if (utt->relation_present("Token"))
        for (EST_Item *token = utt->relation("Token")->head(); token; token = inext(token)) {
            const std::string name = token->name().str();
            if (name.empty())
                continue;
            const std::size_t at = rest.find(name, searchFrom);
            if (at == std::string::npos)
                continue;
            searchFrom = at + name.size();
            const EST_Item *phone = FirstPhone(token);
            if (!phone)
                continue;
            const EST_Item *previous = iprev(phone);
            voice::Event mark;
            mark.type = voice::Event::Word;
            mark.sample = previous ? ToSample(previous->F("end", 0.0) / pitch) : 0;
            mark.textPosition = before + EnglishText::CodePoints(rest, 0, at) + 1;
            mark.length = EnglishText::CodePoints(rest, at, searchFrom);
            piece.marks.push_back(mark);
        }
    double start = 0;
    std::int32_t lastSound = 0; // where the last phone that is not a pause ends
    if (utt->relation_present("Segment"))
        for (EST_Item *segment = utt->relation("Segment")->head(); segment;
             segment = inext(segment)) {
            voice::Event mark;
            mark.type = voice::Event::Phoneme;
            mark.sample = ToSample(start / pitch);
            const char *ipa = EnglishText::Ipa(segment->name().str());
            std::memcpy(mark.phoneme, ipa, std::min(std::strlen(ipa), sizeof mark.phoneme));
            piece.marks.push_back(mark);
            start = segment->F("end", float(start));
            if (std::strcmp(ipa, "_") != 0)
                lastSound = ToSample(start / pitch);
        }
    EnglishText::TrimPauses(piece.samples, piece.marks, lastSound,
                            !EnglishText::EndsSentence(text, to));
    return piece;
}

// Pages of memory this process has had to fault in, its own or copied.
std::uint64_t PagesFaulted() {
    rusage use{};
    getrusage(RUSAGE_SELF, &use);
    return std::uint64_t(use.ru_minflt);
}

// A copy that had to copy half of Festival's heap collected its garbage: the
// cells ran short here. Every later copy would do the same (a third of a
// second more, and the heap's memory again) until they are collected here.
constexpr std::uint64_t kCollectedPages = FESTIVAL_HEAP_SIZE * sizeof(obj) / 4096 / 2;

const FestivalVoice *Find(const std::string &id) {
    for (const FestivalVoice &v : voices)
        if (v.id == id)
            return &v;
    return nullptr;
}

// Speaks one request, 20 ms at a time, until it ends or is abandoned.
void Speak(const RequestLoop::Request &asked) {
    const std::string text = EnglishText::AsciiPunctuation(asked.text);
    const FestivalVoice *voice = Find(asked.voice);
    if (!voice)
        voice = &voices.front();
    if (!Select(*voice))
        return;
    const bool faultArmed = faults && faults->FailsOn(text);
    int faultIn = 500 * kOutputRate / 1000 / kChunkSamples;
    std::int32_t base = 0; // samples of the request sent before this piece
    EnglishText::PiecesInCopies pieces(PagesFaulted);
    for (std::size_t from = 0; from < text.size() && !RequestLoop::Interrupted();) {
        // Festival says nothing while it synthesizes a piece, and the editor
        // waits a few seconds at most: pieces stay well under that.
        const std::size_t to =
            EnglishText::PieceEnd(text, from, from == 0, kLongestPiece, kFirstWords);
        const std::int32_t rate = RequestLoop::Rate();
        const std::int32_t wantedPitch = RequestLoop::Pitch();
        // Pitch: 0..99 as about an octave and a half around the voice's own.
        const double pitch =
            wantedPitch >= 0 ? std::pow(2.0, (wantedPitch - kNormalPitch) / 75.0) : 1.0;
        const double speed = rate > 0 ? std::clamp<double>(rate, 40, 1000) / kNormalRate : 1.0;
        // Set here, so that a copy made from now on has it too.
        ApplySpeed(speed / pitch);
        const auto make = [&](std::size_t start, std::size_t end) {
            return Synthesize(text, start, end, pitch);
        };
        Piece piece;
        std::uint64_t pages = 0;
        if (from == 0) {
            if (to < text.size())
                pieces.Begin(to, EnglishText::PieceEnd(text, to, false, kLongestPiece, kFirstWords),
                             make);
            piece = make(from, to);
        } else if (!pieces.Take(from, to, make, piece, pages)) {
            return;
        }
        if (pages > kCollectedPages) {
            bool ok = false;
            Evaluate(cons(rintern("gc"), NIL), ok);
        }
        const std::int32_t through = EnglishText::CodePoints(text, 0, to) + 1;
        const bool whole = RequestLoop::SendPiece(asked.job, piece.samples, piece.marks, base,
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

void FindVoices() {
    bool ok = false;
    const LISP names = Evaluate(cons(rintern("voice.list"), NIL), ok);
    for (LISP l = names; ok && l != NIL && CONSP(l); l = cdr(l)) {
        FestivalVoice voice;
        voice.id = Text(car(l));
        if (voice.id.empty() || Find(voice.id))
            continue;
        bool selectedOk = false;
        CallWithSymbol("voice.select", voice.id, selectedOk);
        if (!selectedOk)
            continue;
        selected = voice.id;
        // (name ((language english) (gender female) …))
        bool described = false;
        const LISP description = CallWithSymbol("voice.description", voice.id, described);
        std::string language;
        if (described && CONSP(description) && CONSP(cdr(description)))
            for (LISP f = car(cdr(description)); f != NIL && CONSP(f); f = cdr(f))
                if (CONSP(car(f)) && Text(car(car(f))) == "language" && CONSP(cdr(car(f))))
                    language = Text(car(cdr(car(f))));
        voice.language = LanguageCode(language);
        if (voice.language.empty())
            continue;
        language[0] = char(std::toupper(static_cast<unsigned char>(language[0])));
        voice.name = language + " (Festival: " + ShortName(voice.id) + ")";
        voice.hts = Text(ft_get_param("Synth_Method")) == "HTS";
        voices.push_back(voice);
    }
}

bool SayHello() {
    voice::Writer hello(voice::Kind::Hello);
    // Without Festival's own files there is nothing to start, and no voice.
    struct stat info {};
    const std::string data = std::string(festival_datadir) + "/init.scm";
    const std::string lib = std::string(festival_libdir) + "/init.scm";
    if (stat(data.c_str(), &info) == 0 || stat(lib.c_str(), &info) == 0) {
        festival_initialize(1, FESTIVAL_HEAP_SIZE);
        FindVoices();
    }
    if (voices.empty()) {
        hello.Put(std::int32_t(0));
        hello.Put(std::string_view("Festival has no voices installed."));
        RequestLoop::Send(hello.Done());
        return false;
    }
    // Its English HTS voice is the most natural one a machine may have; its
    // other voices are not more natural than Flite's, so they wait to be chosen.
    std::string english;
    for (const FestivalVoice &v : voices)
        if (v.hts && v.language == "en" && english.empty())
            english = v.id;
    // Festival loads much of a voice on its first utterance: that is done
    // now, while the editor starts, not on the user's first Play.
    if (const FestivalVoice *first = Find(english.empty() ? voices.front().id : english);
        first && Select(*first))
        Synthesize("Ready.", 0, 6, 1.0);
    hello.Put(std::int32_t(kOutputRate));
    hello.Put(std::string_view());
    hello.Put(std::string_view(english));
    hello.Put(std::uint32_t(voices.size()));
    for (const FestivalVoice &v : voices)
        hello.Put(std::string_view(v.name))
            .Put(std::string_view(v.language))
            .Put(std::string_view(v.id));
    RequestLoop::Send(hello.Done());
    return true;
}

} // namespace

int RunFestivalHelper(const VoiceFaults *failures) {
    faults = failures;
    UseBinaryStdio();
    // Festival prints to standard output: the messages get a stream of their own.
    if (std::FILE *messages = TakeStdoutForMessages())
        RequestLoop::UseOutput(messages);
    RequestLoop::Run(SayHello, Speak);
}
