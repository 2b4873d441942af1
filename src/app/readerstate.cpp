#include "readerstate.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QtDebug>
#include <algorithm>
#include <utility>

namespace {

const QString kFolder = QStringLiteral("zavren-speech");

QString XdgFolder(const char *variable, const QString &underHome) {
    QString base = qEnvironmentVariable(variable);
    // The XDG rules ignore a relative path.
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + u'/' + underHome;
    return base + u'/' + kFolder;
}

QJsonObject ReadObject(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // A damaged file counts as empty: it is rewritten whole next time.
    return QJsonDocument::fromJson(file.read(4 << 20)).object();
}

bool WriteObject(const QString &path, const QJsonObject &object) {
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        qWarning("zavren-speech: cannot create the folder of %s", qPrintable(path));
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(QJsonDocument(object).toJson(QJsonDocument::Indented)) < 0 || !file.commit()) {
        qWarning("zavren-speech: cannot write %s: %s", qPrintable(path),
                 qPrintable(file.errorString()));
        return false;
    }
    return true;
}

} // namespace

ReaderState::ReaderState(QString configFolder, QString stateFolder)
    : config_(configFolder.isEmpty() ? XdgFolder("XDG_CONFIG_HOME", QStringLiteral(".config"))
                                     : std::move(configFolder)),
      state_(stateFolder.isEmpty() ? XdgFolder("XDG_STATE_HOME", QStringLiteral(".local/state"))
                                   : std::move(stateFolder)) {
}

QString ReaderState::SettingsFile() const {
    return config_ + QStringLiteral("/settings.json");
}

QString ReaderState::StateFile() const {
    return state_ + QStringLiteral("/reading.json");
}

bool ReaderState::KeepsPlaces() const {
    return ReadObject(SettingsFile()).value(QStringLiteral("keepReadingPlaces")).toBool(true);
}

bool ReaderState::SetKeepsPlaces(bool keep) {
    QJsonObject settings = ReadObject(SettingsFile());
    settings[QStringLiteral("keepReadingPlaces")] = keep;
    if (!WriteObject(SettingsFile(), settings))
        return false;
    if (keep)
        return true;
    QJsonObject state = ReadObject(StateFile());
    if (!state.contains(QStringLiteral("places")))
        return true;
    state.remove(QStringLiteral("places"));
    return WriteObject(StateFile(), state);
}

QByteArray ReaderState::PlaceKey(const QByteArray &path, QStringView text) {
    QCryptographicHash content(QCryptographicHash::Sha256);
    content.addData(QByteArrayView(reinterpret_cast<const char *>(text.utf16()),
                                   text.size() * qsizetype(sizeof(char16_t))));
    QCryptographicHash key(QCryptographicHash::Sha256);
    key.addData(path);
    key.addData(QByteArrayView("\0", 1));
    key.addData(content.result());
    return key.result().toHex();
}

std::optional<qsizetype> ReaderState::Place(const QByteArray &key) const {
    if (!KeepsPlaces())
        return std::nullopt;
    const QJsonArray places = ReadObject(StateFile()).value(QStringLiteral("places")).toArray();
    for (const auto &value : places) {
        const QJsonObject place = value.toObject();
        if (place.value(QStringLiteral("key")).toString().toLatin1() == key) {
            const double offset = place.value(QStringLiteral("offset")).toDouble(-1);
            if (offset >= 0)
                return qsizetype(offset);
        }
    }
    return std::nullopt;
}

bool ReaderState::KeepPlace(const QByteArray &key, qsizetype offset) {
    if (!KeepsPlaces())
        return true;
    QJsonObject state = ReadObject(StateFile());
    QJsonArray places = state.value(QStringLiteral("places")).toArray();
    // The newest first; the same file's former place goes.
    QJsonArray kept;
    kept.append(QJsonObject{
        {QStringLiteral("key"), QString::fromLatin1(key)},
        {QStringLiteral("offset"), double(offset)},
        {QStringLiteral("when"), QDateTime::currentDateTimeUtc().toString(Qt::ISODate)}});
    for (const auto &value : places)
        if (kept.size() < kMaxPlaces &&
            value.toObject().value(QStringLiteral("key")).toString().toLatin1() != key)
            kept.append(value);
    state[QStringLiteral("places")] = kept;
    return WriteObject(StateFile(), state);
}

bool ReaderState::ForgetPlace(const QByteArray &key) {
    QJsonObject state = ReadObject(StateFile());
    QJsonArray places = state.value(QStringLiteral("places")).toArray();
    const qsizetype before = places.size();
    for (qsizetype i = places.size() - 1; i >= 0; --i)
        if (places[i].toObject().value(QStringLiteral("key")).toString().toLatin1() == key)
            places.removeAt(i);
    if (places.size() == before)
        return true;
    state[QStringLiteral("places")] = places;
    return WriteObject(StateFile(), state);
}

ReaderState::Voice ReaderState::LastVoice() const {
    const QJsonObject voice = ReadObject(StateFile()).value(QStringLiteral("voice")).toObject();
    Voice last;
    last.identifier = voice.value(QStringLiteral("identifier")).toString().toUtf8();
    last.pitch = voice.value(QStringLiteral("pitch")).toInt(-1);
    last.speed = voice.value(QStringLiteral("speed")).toInt(-1);
    return last;
}

bool ReaderState::SetLastVoice(const Voice &voice) {
    const Voice last = LastVoice();
    if (last.identifier == voice.identifier && last.pitch == voice.pitch &&
        last.speed == voice.speed)
        return true; // nothing to write
    QJsonObject state = ReadObject(StateFile());
    state[QStringLiteral("voice")] =
        QJsonObject{{QStringLiteral("identifier"), QString::fromUtf8(voice.identifier)},
                    {QStringLiteral("pitch"), voice.pitch},
                    {QStringLiteral("speed"), voice.speed}};
    return WriteObject(StateFile(), state);
}
