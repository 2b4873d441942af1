#include "scriptvoices.h"

#include "speech/voice/speechengine.h"

#include <algorithm>

struct ScriptVoices::Script {
    // The blocks it is written in.
    std::vector<std::pair<char32_t, char32_t>> blocks;
    // Languages whose voices read it, the first the one that reads it for
    // the others.
    std::vector<const char *> readers;
};

ScriptVoices::ScriptVoices(const std::vector<SpeechVoice> &voices) {
    for (const SpeechVoice &voice : voices)
        languages_.emplace_back(voice.language, voice.identifier);
}

namespace {

using Script = ScriptVoices::Script;

// What espeak-ng reads only with a voice of the script's own.
const std::vector<Script> kScripts = {
    {{{0x0400, 0x052F}, {0x1C80, 0x1C8F}, {0x2DE0, 0x2DFF}, {0xA640, 0xA69F}},
     {"ru", "uk", "bg", "mk", "sr", "be", "kk", "ky", "tt", "ba", "cv", "nog"}},
    {{{0x0370, 0x03FF}, {0x1F00, 0x1FFF}}, {"el", "grc"}},
    {{{0x0590, 0x05FF}, {0xFB1D, 0xFB4F}}, {"he"}},
    {{{0x0600, 0x06FF}, {0x0750, 0x077F}, {0x08A0, 0x08FF}, {0xFB50, 0xFDFF}, {0xFE70, 0xFEFF}},
     {"ar", "fa", "ur", "sd", "ug", "ps", "ku"}},
    {{{0x0E00, 0x0E7F}}, {"th"}},
    {{{0x1000, 0x109F}}, {"my", "shn"}},
    {{{0x1200, 0x139F}, {0x2D80, 0x2DDF}}, {"am", "om"}},
    {{{0x0C00, 0x0C7F}}, {"te"}},
    {{{0x0B00, 0x0B7F}}, {"or"}},
    {{{0x3040, 0x30FF}, {0x31F0, 0x31FF}, {0xFF66, 0xFF9F}}, {"ja"}},
    {{{0x3400, 0x4DBF}, {0x4E00, 0x9FFF}, {0xF900, 0xFAFF}, {0x20000, 0x2FA1F}},
     {"cmn", "yue", "hak", "ja"}},
};
const Script &kKana = kScripts[9];
const Script &kHan = kScripts[10];
// Latin letters, which voices of these languages spell one by one.
const Script kLatin{{{'A', 'Z'}, {'a', 'z'}, {0x00C0, 0x024F}, {0x1E00, 0x1EFF}}, {"en"}};
constexpr const char *kSpellLatin[] = {"he", "ja"};

bool In(const Script &script, char32_t c) {
    return std::any_of(script.blocks.begin(), script.blocks.end(),
                       [c](const auto &block) { return c >= block.first && c <= block.second; });
}

const Script *ScriptOf(char32_t c) {
    for (const Script &script : kScripts)
        if (In(script, c))
            return &script;
    return In(kLatin, c) ? &kLatin : nullptr;
}

// "en-us" is English: the part before the first '-'.
QStringView Base(QStringView language) {
    const qsizetype dash = language.indexOf(u'-');
    return dash < 0 ? language : language.left(dash);
}

bool Reads(const Script &script, QStringView language) {
    const QStringView base = Base(language);
    if (&script == &kLatin)
        return std::none_of(std::begin(kSpellLatin), std::end(kSpellLatin),
                            [&](const char *l) { return base == QLatin1String(l); });
    return std::any_of(script.readers.begin(), script.readers.end(),
                       [&](const char *l) { return base == QLatin1String(l); });
}

char32_t CodePointAt(QStringView text, qsizetype at, qsizetype &size) {
    size = 1;
    if (text[at].isHighSurrogate() && at + 1 < text.size() && text[at + 1].isLowSurrogate()) {
        size = 2;
        return QChar::surrogateToUcs4(text[at], text[at + 1]);
    }
    return text[at].unicode();
}

} // namespace

QByteArray ScriptVoices::VoiceFor(const Script &script, QStringView text, qsizetype from) const {
    const Script *wanted = &script;
    // Chinese characters among kana are Japanese.
    if (wanted == &kHan) {
        const qsizetype to = std::min(text.size(), from + 40);
        for (qsizetype i = std::max<qsizetype>(0, from - 40); i < to; ++i)
            if (In(kKana, text[i].unicode()))
                wanted = &kKana;
    }
    for (const char *language : wanted->readers)
        for (const auto &[voiceLanguage, identifier] : languages_)
            if (voiceLanguage == QLatin1String(language))
                return identifier;
    return {};
}

ScriptVoices::Run ScriptVoices::RunFrom(QStringView text, qsizetype from, qsizetype limit,
                                        QStringView language) const {
    limit = std::min(limit, text.size());
    // Who reads a code point: nobody in particular (blanks, digits, marks go
    // with the run they are in), the chosen voice, or a foreign script's.
    static const Script kChosen{{}, {}};
    const auto readerAt = [&](qsizetype at, qsizetype &size) -> const Script * {
        const Script *script = ScriptOf(CodePointAt(text, at, size));
        return !script ? nullptr : Reads(*script, language) ? &kChosen : script;
    };
    const Script *first = nullptr;
    qsizetype at = from;
    for (qsizetype size = 1; at < limit; at += size) {
        const Script *reader = readerAt(at, size);
        if (!reader)
            continue;
        if (!first)
            first = reader;
        else if (reader != first)
            break;
    }
    if (!first || first == &kChosen)
        return {at, {}};
    return {at, VoiceFor(*first, text, from)};
}

ScriptVoices::Run ScriptVoices::LatinRunFrom(QStringView text, qsizetype from, qsizetype limit,
                                             const QByteArray &reader) {
    limit = std::min(limit, text.size());
    const auto readable = [](QChar c) {
        return c.unicode() < 0x80 || c.isMark() || c.isSpace() || c.isPunct() ||
               (c.isLetter() && c.script() == QChar::Script_Latin);
    };
    // A word with the blanks after it: readable only if all of it is.
    // `spoken` is where its last letter or symbol ends.
    const auto wordFrom = [&](qsizetype at, bool &all, qsizetype &spoken) {
        all = true;
        while (at < limit && text[at].isSpace())
            ++at;
        for (; at < limit && !text[at].isSpace(); ++at) {
            all = all && readable(text[at]);
            if (!text[at].isPunct())
                spoken = at + 1;
        }
        while (at < limit && text[at].isSpace())
            ++at;
        return at;
    };
    bool first = true;
    qsizetype spoken = from;
    qsizetype at = wordFrom(from, first, spoken);
    for (bool all = true; at < limit;) {
        qsizetype wordSpoken = spoken;
        const qsizetype next = wordFrom(at, all, wordSpoken);
        if (all != first)
            break;
        at = next;
        spoken = wordSpoken;
    }
    // Punctuation and blanks after what the other reader says are left to
    // this engine: read alone, they would be read aloud.
    if (!first)
        at = std::max(spoken, from + 1);
    return {at, first ? QByteArray() : reader};
}
