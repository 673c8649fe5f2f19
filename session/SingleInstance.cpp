#include "SingleInstance.h"

#include "Project.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>

namespace {

const QString serviceName = QStringLiteral(VELMORA_APP_ID);
const QString objectPath = QStringLiteral("/") + QString(serviceName).replace(QLatin1Char('.'), QLatin1Char('/'));
const QString interfaceName = QStringLiteral("org.freedesktop.Application");

// RequestName's flag and answers, as the bus numbers them.
constexpr uint doNotQueue = 4;
constexpr uint primaryOwner = 1, alreadyOwner = 4;

// Errors of a holder that is going or gone: its object, or the process
// itself, is no longer there to answer.
bool holderIsLeaving(const QDBusMessage& reply)
{
    static const QStringList leaving = {
        QStringLiteral("org.freedesktop.DBus.Error.UnknownObject"),
        QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
        QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown"),
        QStringLiteral("org.freedesktop.DBus.Error.NameHasNoOwner"),
    };
    return leaving.contains(reply.errorName());
}

// A startup-notification id as launchers make them: short printable ASCII.
// Anything else from the bus is not passed on to the X server.
QByteArray startupIdFrom(const QVariant& value)
{
    constexpr qsizetype longest = 256;
    if (value.typeId() != QMetaType::QString)
        return {};
    const QString id = value.toString();
    if (id.size() > longest)
        return {};
    for (const QChar c : id)
        if (c.unicode() < 0x20 || c.unicode() > 0x7e)
            return {};
    return id.toLatin1();
}

}  // namespace

SingleInstance::SingleInstance(QDBusConnection bus, int timeoutMs)
    : bus_(std::move(bus))
    , timeoutMs_(timeoutMs)
{
}

QVariantMap SingleInstance::platformDataFromEnvironment()
{
    QVariantMap data;
    if (const QByteArray id = qgetenv("DESKTOP_STARTUP_ID"); !id.isEmpty())
        data.insert(QStringLiteral("desktop-startup-id"), QString::fromUtf8(id));
    if (const QByteArray token = qgetenv("XDG_ACTIVATION_TOKEN"); !token.isEmpty())
        data.insert(QStringLiteral("activation-token"), QString::fromUtf8(token));
    return data;
}

void SingleInstance::requestName()
{
    if (!bus_.isConnected() || request_)
        return;
    // Served before the name is taken, so a start that finds the name finds
    // the object behind it too.
    bus_.registerObject(objectPath, this, QDBusConnection::ExportScriptableSlots);
    QDBusMessage request = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("RequestName"));
    // Atomic: of two starts at once, exactly one gets the name.
    request << serviceName << doNotQueue;
    request_ = bus_.asyncCall(request, timeoutMs_);
    if (qApp)
        connect(qApp, &QCoreApplication::aboutToQuit, this, &SingleInstance::release);
}

SingleInstance::Claim SingleInstance::claim(const QVariantMap& platformData)
{
    if (!bus_.isConnected())
        return Claim::NoBus;
    QElapsedTimer elapsed;
    elapsed.start();
    requestName();
    request_->waitForFinished();
    QDBusPendingReply<uint> owned = *request_;
    for (;;) {
        if (owned.isError())
            return Claim::NoBus;  // the bus would not say: run on alone
        if (owned.value() == primaryOwner || owned.value() == alreadyOwner)
            return Claim::Owned;

        const int remaining = timeoutMs_ - int(elapsed.elapsed());
        QDBusMessage call = QDBusMessage::createMethodCall(serviceName, objectPath, interfaceName,
                                                           QStringLiteral("Activate"));
        call << platformData;
        const QDBusMessage reply = bus_.call(call, QDBus::Block, std::max(remaining, 1));
        if (reply.type() == QDBusMessage::ReplyMessage)
            return Claim::HandedOver;
        // No reply: the holder went without answering, or is hung if it
        // still holds the name.
        const bool noReply = reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.NoReply");
        const bool hung = noReply && bus_.interface()->isServiceRegistered(serviceName);
        if (hung || (!noReply && !holderIsLeaving(reply))) {
            problem_ = hung
                ? QStringLiteral("Velmora is already running here but did not answer within %1 s")
                      .arg(timeoutMs_ / 1000.0)
                : QStringLiteral("Velmora is already running here but did not come forward: %1 (%2)")
                      .arg(reply.errorMessage(), reply.errorName());
            return Claim::Failed;
        }
        // The holder is on its way out: claim the name again once it has gone.
        if (!waitUntilReleased(timeoutMs_ - int(elapsed.elapsed()))) {
            problem_ = QStringLiteral("Velmora is already running here, leaving, but did not let go of its "
                                      "name within %1 s").arg(timeoutMs_ / 1000.0);
            return Claim::Failed;
        }
        owned = bus_.interface()->call(QStringLiteral("RequestName"), serviceName, doNotQueue);
    }
}

bool SingleInstance::waitUntilReleased(int timeoutMs)
{
    if (timeoutMs <= 0)
        return false;
    QDBusServiceWatcher watcher(serviceName, bus_, QDBusServiceWatcher::WatchForUnregistration);
    QEventLoop loop;
    connect(&watcher, &QDBusServiceWatcher::serviceUnregistered, &loop, &QEventLoop::quit);
    QTimer::singleShot(timeoutMs, &loop, [&loop] { loop.exit(1); });
    // Asked after the watch is set up, so a release in between is not missed.
    if (!bus_.interface()->isServiceRegistered(serviceName))
        return true;
    return loop.exec() == 0;
}

void SingleInstance::release()
{
    if (!request_)
        return;
    bus_.unregisterObject(objectPath);
    bus_.interface()->unregisterService(serviceName);
}

void SingleInstance::Activate(const QVariantMap& platformData)
{
    emit activated(startupIdFrom(platformData.value(QStringLiteral("desktop-startup-id"))));
}

void SingleInstance::Open(const QStringList&, const QVariantMap& platformData)
{
    // Velmora opens no files; it comes forward all the same.
    Activate(platformData);
}

void SingleInstance::ActivateAction(const QString& name, const QVariantList&, const QVariantMap&)
{
    sendErrorReply(QDBusError::NotSupported, QStringLiteral("Velmora has no action \"%1\"").arg(name));
}
