#include "englishtext.h"

#include "speech/helpers/requestloop.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>
#include <utility>

namespace EnglishText {

std::vector<char> Packed(const Piece &piece, std::uint64_t count) {
    const std::uint64_t counts[3] = {piece.samples.size(), piece.marks.size(), count};
    std::vector<char> bytes(sizeof counts + piece.samples.size() * sizeof(std::int16_t) +
                            piece.marks.size() * sizeof(voice::Event));
    char *at = bytes.data();
    std::memcpy(at, counts, sizeof counts);
    at += sizeof counts;
    if (!piece.samples.empty())
        std::memcpy(at, piece.samples.data(), piece.samples.size() * sizeof(std::int16_t));
    at += piece.samples.size() * sizeof(std::int16_t);
    if (!piece.marks.empty())
        std::memcpy(at, piece.marks.data(), piece.marks.size() * sizeof(voice::Event));
    return bytes;
}

bool Unpacked(const std::vector<char> &bytes, Piece &piece, std::uint64_t &count) {
    std::uint64_t counts[3] = {};
    if (bytes.size() < sizeof counts)
        return false;
    std::memcpy(counts, bytes.data(), sizeof counts);
    if (counts[0] > bytes.size() || counts[1] > bytes.size() ||
        bytes.size() !=
            sizeof counts + counts[0] * sizeof(std::int16_t) + counts[1] * sizeof(voice::Event))
        return false;
    const char *at = bytes.data() + sizeof counts;
    piece.samples.resize(counts[0]);
    if (counts[0] > 0)
        std::memcpy(piece.samples.data(), at, counts[0] * sizeof(std::int16_t));
    at += counts[0] * sizeof(std::int16_t);
    piece.marks.resize(counts[1]);
    if (counts[1] > 0)
        std::memcpy(piece.marks.data(), at, counts[1] * sizeof(voice::Event));
    count = counts[2];
    return true;
}

void PiecesInCopies::Begin(std::size_t from, std::size_t to, const Make &make) {
    aheadFrom_ = from;
    aheadTo_ = to;
    aheadRate_ = RequestLoop::Rate();
    aheadPitch_ = RequestLoop::Pitch();
    AbandonableWork::Begin(
        [&] {
            const std::uint64_t before = counter_ ? counter_() : 0;
            const Piece made = make(from, to);
            return Packed(made, counter_ ? counter_() - before : 0);
        },
        ahead_);
}

bool PiecesInCopies::Take(std::size_t from, std::size_t to, const Make &make, Piece &piece,
                          std::uint64_t &counted) {
    counted = 0;
    if (ahead_.process <= 0 || from != aheadFrom_ || to != aheadTo_ ||
        RequestLoop::Rate() != aheadRate_ || RequestLoop::Pitch() != aheadPitch_)
        Begin(from, to, make);
    std::vector<char> bytes;
    const auto outcome = AbandonableWork::Wait(ahead_, RequestLoop::Interruption(), bytes);
    if (outcome == AbandonableWork::Outcome::Abandoned)
        return false;
    if (outcome != AbandonableWork::Outcome::Done || !Unpacked(bytes, piece, counted))
        piece = make(from, to);
    return true;
}

std::string AsciiPunctuation(const std::string &text) {
    static const std::pair<std::string_view, char> kMarks[] = {
        {"\u2018", '\''}, {"\u2019", '\''}, {"\u201A", '\''}, {"\u201C", '"'}, {"\u201D", '"'},
        {"\u201E", '"'},  {"\u00AB", '"'},  {"\u00BB", '"'},  {"\u2013", '-'}, {"\u2014", '-'},
        {"\u2026", '.'},  {"\u00A0", ' '},  {"\u00A1", ' '},  {"\u00BF", ' '}};
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        bool mapped = false;
        for (const auto &[mark, ascii] : kMarks)
            if (text.compare(i, mark.size(), mark) == 0) {
                out += ascii;
                i += mark.size();
                mapped = true;
                break;
            }
        if (!mapped)
            out += text[i++];
    }
    return out;
}

std::size_t PieceEnd(const std::string &text, std::size_t from, bool first, std::size_t longest,
                     int firstWords) {
    // A longer "word" (a run of letters, a long address) is read out letter
    // by letter: it is read in parts, each soon synthesized.
    constexpr std::size_t kLongestWord = 48;
    const std::size_t limit = std::min(text.size(), from + longest);
    std::size_t blank = 0;
    std::size_t wordStart = from;
    int words = 0;       // words of letters or digits, ended so far
    bool inWord = false; // the characters since the last blank hold one
    for (std::size_t i = from; i < limit; ++i) {
        const char c = text[i];
        const bool space = c == ' ' || c == '\t' || c == '\n' || c == '\r';
        if (c == '\n' && i > from)
            return i + 1;
        const bool afterWord = space && i > from && text[i - 1] != ' ' && text[i - 1] != '\t' &&
                               text[i - 1] != '\n' && text[i - 1] != '\r';
        if (afterWord && std::string_view(".!?;:").find(text[i - 1]) != std::string_view::npos)
            return i + 1;
        if (afterWord && inWord) {
            ++words;
            if (first && (words >= firstWords || text[i - 1] == ','))
                return i + 1;
        }
        if (space) {
            blank = i;
            wordStart = i + 1;
            inWord = false;
        } else if (i - wordStart >= kLongestWord) {
            if (blank > from)
                return blank + 1;
            std::size_t cut = i; // not inside a character
            while (cut > from + 1 && (static_cast<unsigned char>(text[cut]) & 0xc0) == 0x80)
                --cut;
            return cut;
        } else if (std::isalnum(static_cast<unsigned char>(c)) ||
                   static_cast<unsigned char>(c) >= 0x80) {
            inWord = true;
        }
    }
    if (limit == text.size())
        return limit;
    if (blank > from)
        return blank + 1;
    std::size_t cut = limit; // one endless word: not inside a character
    while (cut > from + 1 && (static_cast<unsigned char>(text[cut]) & 0xc0) == 0x80)
        --cut;
    return cut;
}

bool EndsSentence(const std::string &text, std::size_t to) {
    if (to >= text.size())
        return true;
    while (to > 0 && std::string_view(" \t\r\n").find(text[to - 1]) != std::string_view::npos)
        --to;
    return to == 0 || std::string_view(".!?;:").find(text[to - 1]) != std::string_view::npos;
}

std::int32_t CodePoints(const std::string &text, std::size_t from, std::size_t to) {
    std::int32_t count = 0;
    for (std::size_t i = from; i < to && i < text.size(); ++i)
        count += (static_cast<unsigned char>(text[i]) & 0xc0) != 0x80;
    return count;
}

const char *Ipa(const char *phone) {
    static const char *const table[][2] = {
        {"aa", "ɑ"},  {"ae", "æ"},  {"ah", "ʌ"},  {"ao", "ɔ"},  {"aw", "aʊ"}, {"ax", "ə"},
        {"axr", "ɚ"}, {"ay", "aɪ"}, {"b", "b"},   {"ch", "tʃ"}, {"d", "d"},   {"dh", "ð"},
        {"eh", "ɛ"},  {"er", "ɜ"},  {"ey", "eɪ"}, {"f", "f"},   {"g", "ɡ"},   {"hh", "h"},
        {"ih", "ɪ"},  {"iy", "i"},  {"jh", "dʒ"}, {"k", "k"},   {"l", "l"},   {"m", "m"},
        {"n", "n"},   {"ng", "ŋ"},  {"ow", "oʊ"}, {"oy", "ɔɪ"}, {"p", "p"},   {"r", "ɹ"},
        {"s", "s"},   {"sh", "ʃ"},  {"t", "t"},   {"th", "θ"},  {"uh", "ʊ"},  {"uw", "u"},
        {"v", "v"},   {"w", "w"},   {"y", "j"},   {"z", "z"},   {"zh", "ʒ"}};
    if (!phone)
        return "_";
    for (const auto &entry : table)
        if (std::strcmp(entry[0], phone) == 0)
            return entry[1];
    return "_";
}

void TrimPauses(std::vector<std::int16_t> &samples, std::vector<voice::Event> &marks,
                std::int32_t lastSound, bool endsInside) {
    if (endsInside && lastSound > 0 && std::size_t(lastSound) < samples.size()) {
        samples.resize(std::size_t(lastSound));
        std::erase_if(marks, [lastSound](const voice::Event &m) {
            return m.type == voice::Event::Phoneme && m.sample >= lastSound;
        });
    }
    if (std::any_of(marks.begin(), marks.end(),
                    [](const voice::Event &m) { return m.type == voice::Event::Word; })) {
        auto cut = std::int32_t(samples.size());
        for (const voice::Event &mark : marks)
            if (mark.type == voice::Event::Word)
                cut = std::min(cut, mark.sample);
        samples.erase(samples.begin(), samples.begin() + cut);
        std::erase_if(marks, [cut](const voice::Event &m) {
            return m.type == voice::Event::Phoneme && m.sample < cut;
        });
        for (voice::Event &mark : marks)
            mark.sample = std::max(0, mark.sample - cut);
    }
    std::stable_sort(marks.begin(), marks.end(), [](const voice::Event &a, const voice::Event &b) {
        return a.sample < b.sample;
    });
}

} // namespace EnglishText
