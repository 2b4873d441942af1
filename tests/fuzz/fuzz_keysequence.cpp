// The key-sequence parser over any text: it answers without crashing, never
// makes more keystrokes than the sequence has characters, and a sequence
// with every character braced types exactly that text back.
//
// Input: UTF-8 text, or, after a leading FF FE, raw UTF-16 code units (lone
// surrogates included).
#include "fuzzcheck.h"
#include "platform/qt/keystrokes.h"

#include <QString>
#include <cstddef>
#include <cstdint>

namespace {

QString Keys(const std::uint8_t *data, std::size_t size) {
    if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
        QString keys;
        for (std::size_t i = 2; i + 1 < size; i += 2)
            keys.append(QChar(char16_t(data[i] | data[i + 1] << 8)));
        return keys;
    }
    return QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
}

// Every character, or surrogate pair, in braces: "{a}{^}{}}".
QString Braced(const QString &keys, qsizetype &characters) {
    QString braced;
    characters = 0;
    for (qsizetype i = 0; i < keys.size(); ++i) {
        braced += u'{';
        braced += keys.at(i);
        if (keys.at(i).isHighSurrogate() && i + 1 < keys.size() && keys.at(i + 1).isLowSurrogate())
            braced += keys.at(++i);
        braced += u'}';
        ++characters;
    }
    return braced;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const QString keys = Keys(data, size);
    const std::optional<QList<KeyStroke>> strokes = ParseKeySequence(keys);
    if (strokes)
        FUZZ_CHECK(strokes->size() <= keys.size(), "more keystrokes than characters");
    if (keys.isEmpty())
        FUZZ_CHECK(strokes && strokes->isEmpty(), "the empty sequence is not an empty list");

    qsizetype characters = 0;
    const std::optional<QList<KeyStroke>> literal = ParseKeySequence(Braced(keys, characters));
    FUZZ_CHECK(literal.has_value(), "a braced character was refused");
    FUZZ_CHECK(literal->size() == characters, "braced characters gave another number of keys");
    QString typed;
    for (const KeyStroke &stroke : *literal) {
        FUZZ_CHECK(stroke.modifiers == Qt::NoModifier, "a braced character holds a modifier");
        typed += stroke.text;
    }
    FUZZ_CHECK(typed == keys, "braced characters typed another text");
    return 0;
}
