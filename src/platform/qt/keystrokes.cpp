#include "keystrokes.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>
#include <iterator>

namespace {

struct NamedKey {
    const char *name;
    Qt::Key key;
    const char *text;
};

constexpr NamedKey kNamedKeys[] = {
    {"BS", Qt::Key_Backspace, "\b"},
    {"BACKSPACE", Qt::Key_Backspace, "\b"},
    {"BKSP", Qt::Key_Backspace, "\b"},
    {"DEL", Qt::Key_Delete, ""},
    {"DELETE", Qt::Key_Delete, ""},
    {"DOWN", Qt::Key_Down, ""},
    {"END", Qt::Key_End, ""},
    {"ENTER", Qt::Key_Return, "\r"},
    {"ESC", Qt::Key_Escape, "\x1b"},
    {"ESCAPE", Qt::Key_Escape, "\x1b"},
    {"HOME", Qt::Key_Home, ""},
    {"INS", Qt::Key_Insert, ""},
    {"INSERT", Qt::Key_Insert, ""},
    {"LEFT", Qt::Key_Left, ""},
    {"PGDN", Qt::Key_PageDown, ""},
    {"PGUP", Qt::Key_PageUp, ""},
    {"RIGHT", Qt::Key_Right, ""},
    {"TAB", Qt::Key_Tab, "\t"},
    {"UP", Qt::Key_Up, ""},
};

std::optional<KeyStroke> NamedStroke(const QString &name) {
    for (const NamedKey &named : kNamedKeys) {
        if (name.compare(QLatin1String(named.name), Qt::CaseInsensitive) == 0)
            return KeyStroke{named.key, {}, QString::fromLatin1(named.text)};
    }
    return std::nullopt;
}

KeyStroke CharacterStroke(const QString &character) {
    const QChar first = character.front();
    if (first.isLetter() && first.unicode() < 0x80)
        return {Qt::Key_A + (first.toUpper().unicode() - 'A'), {}, character};
    if (character.size() > 1) // a pair of surrogates: no key of its own
        return {Qt::Key_unknown, {}, character};
    return {first.toUpper().unicode(), {}, character};
}

// What a keyboard reports as the text of a key typed with modifiers held.
QString TextUnder(const KeyStroke &stroke) {
    if (stroke.modifiers & Qt::ControlModifier) {
        if (stroke.key >= Qt::Key_A && stroke.key <= Qt::Key_Z)
            return QString(QChar(stroke.key - Qt::Key_A + 1));
        return {};
    }
    if (stroke.modifiers & Qt::AltModifier)
        return {};
    if ((stroke.modifiers & Qt::ShiftModifier) && stroke.key >= Qt::Key_A &&
        stroke.key <= Qt::Key_Z)
        return stroke.text.toUpper();
    return stroke.text;
}

} // namespace

std::optional<QList<KeyStroke>> ParseKeySequence(const QString &keys) {
    QList<KeyStroke> strokes;
    Qt::KeyboardModifiers held;
    qsizetype i = 0;
    while (i < keys.size()) {
        const QChar c = keys.at(i);
        Qt::KeyboardModifier modifier = Qt::NoModifier;
        if (c == u'^')
            modifier = Qt::ControlModifier;
        else if (c == u'+')
            modifier = Qt::ShiftModifier;
        else if (c == u'%')
            modifier = Qt::AltModifier;
        if (modifier != Qt::NoModifier) {
            if (held & modifier)
                return std::nullopt;
            held |= modifier;
            ++i;
            continue;
        }

        std::optional<KeyStroke> stroke;
        if (c == u'{') {
            // "{}}" is a literal closing brace; otherwise the name runs to the first "}".
            qsizetype close = keys.indexOf(u'}', i + 1);
            if (close == i + 1 && i + 2 < keys.size() && keys.at(i + 2) == u'}')
                close = i + 2;
            if (close <= i + 1)
                return std::nullopt;
            const QString inside = keys.mid(i + 1, close - i - 1);
            const bool oneCharacter =
                inside.size() == 1 || (inside.size() == 2 && inside.front().isHighSurrogate() &&
                                       inside.back().isLowSurrogate());
            stroke = oneCharacter ? CharacterStroke(inside) : NamedStroke(inside);
            if (!stroke)
                return std::nullopt;
            i = close + 1;
        } else if (c == u'}' || c == u'(' || c == u')') {
            return std::nullopt;
        } else if (c == u'~') {
            stroke = NamedStroke(QStringLiteral("ENTER"));
            ++i;
        } else {
            const qsizetype length =
                c.isHighSurrogate() && i + 1 < keys.size() && keys.at(i + 1).isLowSurrogate() ? 2
                                                                                              : 1;
            stroke = CharacterStroke(keys.mid(i, length));
            i += length;
        }
        stroke->modifiers = held;
        stroke->text = TextUnder(*stroke);
        strokes.append(*stroke);
        held = {};
    }
    if (held != Qt::NoModifier)
        return std::nullopt;
    return strokes;
}

namespace {

struct ModifierKey {
    Qt::KeyboardModifier modifier;
    Qt::Key key;
};

constexpr ModifierKey kModifierKeys[] = {
    {Qt::ControlModifier, Qt::Key_Control},
    {Qt::ShiftModifier, Qt::Key_Shift},
    {Qt::AltModifier, Qt::Key_Alt},
};

void Post(QWidget *target, QEvent::Type type, int key, Qt::KeyboardModifiers modifiers,
          const QString &text = {}) {
    QCoreApplication::postEvent(target, new QKeyEvent(type, key, modifiers, text));
}

} // namespace

bool QtKeystrokeInjector::Send(const QString &keys) {
    const std::optional<QList<KeyStroke>> strokes = ParseKeySequence(keys);
    if (!strokes)
        return false;
    if (strokes->isEmpty())
        return true;
    QWidget *target = QApplication::focusWidget();
    if (!target)
        return false;
    for (const KeyStroke &stroke : *strokes) {
        // The modifier keys go down before the key and come up after it.
        Qt::KeyboardModifiers down;
        for (const ModifierKey &m : kModifierKeys) {
            if (stroke.modifiers & m.modifier) {
                // A modifier key's event carries the state before it, as
                // keyboards report it; QKeyEvent adds the key's own flag.
                Post(target, QEvent::KeyPress, m.key, down);
                down |= m.modifier;
            }
        }
        Post(target, QEvent::KeyPress, stroke.key, stroke.modifiers, stroke.text);
        Post(target, QEvent::KeyRelease, stroke.key, stroke.modifiers, stroke.text);
        for (auto m = std::rbegin(kModifierKeys); m != std::rend(kModifierKeys); ++m) {
            if (stroke.modifiers & m->modifier) {
                Post(target, QEvent::KeyRelease, m->key, down);
                down &= ~m->modifier;
            }
        }
    }
    return true;
}
