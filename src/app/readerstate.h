#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <cstdint>
#include <optional>

// What the reader keeps between runs, each in its XDG folder and written
// atomically: the settings (whether reading places are kept), and the state
// (the place reading stopped in each file, and the voice, pitch and speed
// last used). A place is keyed by a digest of the file's path and of its
// text; nothing of the text itself is stored.
class ReaderState {
public:
    // Empty folders: the XDG ones ($XDG_CONFIG_HOME, $XDG_STATE_HOME, or
    // their defaults under the home folder), in a folder of the program's.
    explicit ReaderState(QString configFolder = {}, QString stateFolder = {});

    bool KeepsPlaces() const;
    // Turning places off also forgets those kept.
    bool SetKeepsPlaces(bool keep);

    static QByteArray PlaceKey(const QByteArray &path, QStringView text);
    std::optional<qsizetype> Place(const QByteArray &key) const;
    bool KeepPlace(const QByteArray &key, qsizetype offset);
    bool ForgetPlace(const QByteArray &key);

    struct Voice {
        QByteArray identifier;   // empty: the engine's default
        std::int32_t pitch = -1; // -1: not known
        std::int32_t speed = -1;
    };
    Voice LastVoice() const;
    bool SetLastVoice(const Voice &voice);

    QString SettingsFile() const;
    QString StateFile() const;

    // How many places are kept at most; the oldest go first.
    static constexpr int kMaxPlaces = 500;

private:
    QString config_;
    QString state_;
};
