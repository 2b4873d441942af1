#include "readerservice.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QObject>
#include <utility>

const char ReaderService::kName[] = "org.zavren.Speech";
const char ReaderService::kPath[] = "/org/zavren/Speech";
const char ReaderService::kInterface[] = "org.zavren.Speech";

namespace {

// The object the bus calls; its scriptable slots are the interface.
class SpeechObject final : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.zavren.Speech")
public:
    explicit SpeechObject(ReaderService::Handlers handlers) : handlers_(std::move(handlers)) {}

public slots:
    Q_SCRIPTABLE void Say(const QString &text) {
        const QString failure = handlers_.say ? handlers_.say(text) : QString();
        if (!failure.isEmpty())
            sendErrorReply(QDBusError::Failed, failure);
    }
    Q_SCRIPTABLE void Stop() {
        if (handlers_.stop)
            handlers_.stop();
    }
    Q_SCRIPTABLE void Pause() {
        if (handlers_.pause)
            handlers_.pause();
    }
    Q_SCRIPTABLE void Resume() {
        if (handlers_.resume)
            handlers_.resume();
    }

private:
    ReaderService::Handlers handlers_;
};

class BusService final : public ReaderService {
public:
    explicit BusService(std::unique_ptr<SpeechObject> object) : object_(std::move(object)) {}
    ~BusService() override {
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.unregisterObject(QString::fromLatin1(kPath));
        bus.unregisterService(QString::fromLatin1(kName));
    }

private:
    std::unique_ptr<SpeechObject> object_;
};

} // namespace

std::unique_ptr<ReaderService> ReaderService::Offer(Handlers handlers, QString *why) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    const auto fail = [&](const QString &reason) -> std::unique_ptr<ReaderService> {
        if (why)
            *why = reason;
        return nullptr;
    };
    if (!bus.isConnected())
        return fail(QStringLiteral("there is no session bus (%1)").arg(bus.lastError().message()));
    auto object = std::make_unique<SpeechObject>(std::move(handlers));
    if (!bus.registerObject(QString::fromLatin1(kPath), object.get(),
                            QDBusConnection::ExportScriptableSlots))
        return fail(QStringLiteral("the bus refused the object %1").arg(QLatin1String(kPath)));
    // The first editor keeps the name; later ones run without it.
    if (!bus.registerService(QString::fromLatin1(kName))) {
        bus.unregisterObject(QString::fromLatin1(kPath));
        return fail(QStringLiteral("%1 is held by another program").arg(QLatin1String(kName)));
    }
    return std::make_unique<BusService>(std::move(object));
}

std::optional<QString> ReaderService::Ask(Call call, const QString &text) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface() ||
        !bus.interface()->isServiceRegistered(QString::fromLatin1(kName)).value())
        return std::nullopt;
    const char *method = "Say";
    switch (call) {
    case Call::Say:
        break;
    case Call::Stop:
        method = "Stop";
        break;
    case Call::Pause:
        method = "Pause";
        break;
    case Call::Resume:
        method = "Resume";
        break;
    }
    QDBusMessage message = QDBusMessage::createMethodCall(
        QString::fromLatin1(kName), QString::fromLatin1(kPath), QString::fromLatin1(kInterface),
        QString::fromLatin1(method));
    if (call == Call::Say)
        message << text;
    const QDBusMessage reply = bus.call(message, QDBus::Block, 10000);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        // Gone between the look and the call: as if none were running.
        if (reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown"))
            return std::nullopt;
        return reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage();
    }
    return QString();
}

#include "readerservice_posix.moc"
