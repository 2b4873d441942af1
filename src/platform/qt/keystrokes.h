#pragma once

#include <QList>
#include <QString>
#include <Qt>
#include <optional>

// One key typed: pressed and released with the given modifiers held.
struct KeyStroke {
    int key = 0; // Qt::Key
    Qt::KeyboardModifiers modifiers;
    QString text; // what the key types, as a keyboard would report it

    bool operator==(const KeyStroke &) const = default;
};

// Parses a key sequence:
//   - a character types itself ("a", "A", "1", " ");
//   - "^", "+" and "%" hold Ctrl, Shift and Alt down for the next key
//     ("^Z" is Ctrl+Z; the letter's case does not matter under Ctrl or Alt);
//   - "~" is Enter;
//   - "{name}" is a named key: BS, BACKSPACE, BKSP, DEL, DELETE, DOWN, END,
//     ENTER, ESC, ESCAPE, HOME, INS, INSERT, LEFT, PGDN, PGUP, RIGHT, TAB, UP
//     (any case); "{c}" types the one character c, so "{^}" types a caret and
//     "{}}" a closing brace.
// Malformed sequences (a modifier with no key after it or given twice, an
// unclosed or empty brace, an unknown name, a bare "(", ")" or "}") give
// nothing. The empty sequence gives an empty list.
std::optional<QList<KeyStroke>> ParseKeySequence(const QString &keys);

// Queues keystrokes to whatever has the keyboard focus, as if typed.
class KeystrokeInjector {
public:
    virtual ~KeystrokeInjector() = default;
    // Queues the sequence and returns at once, before any key is handled.
    // Returns false, and queues nothing, when the sequence is malformed or no
    // widget of this program has the focus. The empty sequence queues nothing.
    virtual bool Send(const QString &keys) = 0;
};

// Posts key press and release events to the application's focus widget.
class QtKeystrokeInjector final : public KeystrokeInjector {
public:
    bool Send(const QString &keys) override;
};
