#pragma once

#include "app/services.h"
#include "platform/process.h"
#include "platform/qt/filedialog.h"
#include "platform/qt/keystrokes.h"
#include "platform/qt/messagebox.h"
#include "platform/registry.h"
#include "speech/face/speechcontrol.h"

#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

// The doubles of the services and of the voice, one of each, shared by every
// test that needs them.

// Records every call the window makes on its voice; fails the speaking
// operations with a set description when asked to. With `speaks` set, it is
// speaking from a Speak with text until StopSpeaking, and the test says which
// words are heard (Hear).
class RecordingVoice final : public SpeechControl {
public:
    explicit RecordingVoice(std::int32_t pitch = 200, QWidget *parent = nullptr)
        : SpeechControl(parent), pitch_(pitch) {}

    SpeechStatus Speak(const QString &text) override {
        calls << QStringLiteral("Speak:") + text;
        spoken << text;
        paused = false;
        if (speaks && failWith.isEmpty() && !text.isEmpty())
            SetSpeaking(true);
        return Outcome();
    }
    std::int32_t Pitch() const override { return pitch_; }
    void SetPitch(std::int32_t pitch) override {
        calls << QStringLiteral("SetPitch:%1").arg(pitch);
        pitch_ = pitch;
    }
    void SetSpeed(std::int32_t speed) override {
        calls << QStringLiteral("SetSpeed:%1").arg(speed);
    }
    SpeechStatus StopSpeaking() override {
        calls << QStringLiteral("StopSpeaking");
        paused = false;
        if (speaks)
            SetSpeaking(false);
        return Outcome();
    }
    void Continue(const QString &whole) override { calls << QStringLiteral("Continue:") + whole; }
    void Pause() override {
        calls << QStringLiteral("Pause");
        paused = speaking;
    }
    SpeechStatus Resume() override {
        calls << QStringLiteral("Resume");
        paused = false;
        return Outcome();
    }
    bool IsPaused() const override { return paused; }

    void Hear(qsizetype start, qsizetype length) { emit WordReached(start, length); }
    void SetSpeaking(bool on) {
        if (on != speaking)
            emit SpeakingChanged(speaking = on);
    }

    QStringList calls;
    QStringList spoken; // the texts of every Speak
    QString failWith;   // empty: every operation succeeds
    bool speaks = false;
    bool speaking = false;
    bool paused = false;

private:
    SpeechStatus Outcome() const {
        return failWith.isEmpty() ? SpeechStatus::Ok() : SpeechStatus::Failed(failWith);
    }
    std::int32_t pitch_;
};

struct ShownBox {
    QPointer<QWidget> parent;
    QString title;
    QString text;
    MessageIcon icon;
};

// Records every message box instead of showing it.
class RecordingBoxes final : public MessageBoxes {
public:
    void Show(QWidget *parent, const QString &title, const QString &text,
              MessageIcon icon) override {
        shown.append({parent, title, text, icon});
    }
    bool Ask(QWidget *parent, const QString &title, const QString &text) override {
        asked.append({parent, title, text, MessageIcon::None});
        return answer;
    }
    QStringList Texts() const {
        QStringList texts;
        for (const ShownBox &box : shown)
            texts << box.text;
        return texts;
    }
    QList<ShownBox> shown;
    QList<ShownBox> asked;
    bool answer = false; // to every question
};

// The user of the open-file dialog: picks the scripted names in turn and
// cancels once the script runs out.
class ScriptedFileDialog final : public FileDialog {
public:
    // A null string in the script stands for Cancel.
    explicit ScriptedFileDialog(QStringList script = {}) : script_(std::move(script)) {}
    void SetScript(QStringList script) {
        script_ = std::move(script);
        next_ = 0;
    }
    int shown = 0;

protected:
    std::optional<QString> Run(QWidget *) override {
        ++shown;
        if (next_ >= script_.size() || script_.at(next_).isNull()) {
            ++next_;
            return std::nullopt;
        }
        return script_.at(next_++);
    }

private:
    QStringList script_;
    qsizetype next_ = 0;
};

// Records the keystrokes it is asked to send; sends none.
class RecordingKeystrokes final : public KeystrokeInjector {
public:
    bool Send(const QString &keys) override {
        sent << keys;
        return true;
    }
    QStringList sent;
};

// Registry keys below HKEY_LOCAL_MACHINE holding exact bytes, with the
// conventions of RegQueryValueExA, counting every open and close.
class RegistryDouble final : public Registry {
public:
    struct Value {
        std::uint32_t type = Reg::kTypeSz;
        std::vector<unsigned char> bytes;
    };

    void Set(const std::string &key, const std::string &name, std::uint32_t type,
             std::vector<unsigned char> bytes) {
        keys_[Upper(key)][Upper(name)] = Value{type, std::move(bytes)};
    }
    void SetKey(const std::string &key) { keys_[Upper(key)]; }
    void DenyAccess(std::uint32_t mask) { denied_.insert(mask); }

    Reg::Status OpenKey(Reg::Key root, const std::string &subKey, std::uint32_t samDesired,
                        Reg::Key *result) override {
        accessAsked.push_back(samDesired);
        keysAsked.push_back(subKey);
        *result = 0;
        if (root != Reg::RootKey(Reg::kHKeyLocalMachine))
            return Reg::kErrorFileNotFound;
        const auto it = keys_.find(Upper(subKey));
        if (it == keys_.end())
            return Reg::kErrorFileNotFound;
        if (denied_.count(samDesired) != 0)
            return Reg::kErrorAccessDenied;
        ++opens;
        next_ += 4;
        open_[next_] = it->first;
        *result = next_;
        return Reg::kErrorSuccess;
    }

    Reg::Status QueryValue(Reg::Key key, const std::string &valueName, std::uint32_t *type,
                           unsigned char *data, std::uint32_t *dataSize) override {
        const auto handle = open_.find(key);
        if (handle == open_.end())
            return Reg::kErrorInvalidHandle;
        roomOffered.push_back(dataSize ? *dataSize : 0);
        valuesAsked.push_back(valueName);
        const auto &values = keys_[handle->second];
        const auto it = values.find(Upper(valueName));
        if (it == values.end())
            return Reg::kErrorFileNotFound;
        const Value &value = it->second;
        const auto needed = static_cast<std::uint32_t>(value.bytes.size());
        *type = value.type;
        const std::uint32_t room = *dataSize;
        *dataSize = needed;
        if (room < needed)
            return Reg::kErrorMoreData;
        if (needed != 0)
            std::memcpy(data, value.bytes.data(), needed);
        return Reg::kErrorSuccess;
    }

    Reg::Status CloseKey(Reg::Key key) override {
        if (open_.erase(key) == 0)
            return Reg::kErrorInvalidHandle;
        ++closes;
        return Reg::kErrorSuccess;
    }

    int OpenNow() const { return static_cast<int>(open_.size()); }

    int opens = 0;
    int closes = 0;
    std::vector<std::uint32_t> accessAsked;
    std::vector<std::string> keysAsked;
    std::vector<std::string> valuesAsked;
    std::vector<std::uint32_t> roomOffered;

private:
    static std::string Upper(std::string s) {
        std::transform(s.begin(), s.end(), s.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        return s;
    }

    std::map<std::string, std::map<std::string, Value>> keys_;
    std::map<Reg::Key, std::string> open_;
    std::set<std::uint32_t> denied_;
    Reg::Key next_ = 0x1000;
};

inline std::vector<unsigned char> Bytes(const std::string &s) {
    return {s.begin(), s.end()};
}

// Records what it is asked to start; starts nothing.
class ProcessDouble final : public ProcessStarter {
public:
    bool StartDetached(const std::string &path) override {
        started.push_back(path);
        return succeed;
    }
    bool succeed = true;
    std::vector<std::string> started;
};

// One double of every service, for a window to be made with.
struct ServiceDoubles {
    RecordingBoxes boxes;
    ScriptedFileDialog fileDialog;
    RecordingKeystrokes keystrokes;
    RegistryDouble registry;
    ProcessDouble processes;

    Services All() { return {boxes, fileDialog, keystrokes, registry, processes}; }
};
