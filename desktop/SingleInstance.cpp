#include "SingleInstance.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>

namespace {

const QString serviceName = QStringLiteral(VELMORA_APP_ID);
const QString objectPath = QStringLiteral("/") + QString(serviceName).replace(QLatin1Char('.'), QLatin1Char('/'));
const QString interfaceName = QStringLiteral("org.freedesktop.Application");

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

SingleInstance::Claim SingleInstance::claim(const QVariantMap& platformData)
{
    if (!bus_.isConnected())
        return Claim::NoBus;
    // Served before the name is taken, so a start that finds the name finds
    // the object behind it too.
    bus_.registerObject(objectPath, this, QDBusConnection::ExportScriptableSlots);

    // A holder that is just leaving can lose the name between the claim and
    // the call: then claim again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const auto owned = bus_.interface()->registerService(serviceName, QDBusConnectionInterface::DontQueueService,
                                                             QDBusConnectionInterface::DontAllowReplacement);
        if (owned.isValid() && owned.value() == QDBusConnectionInterface::ServiceRegistered)
            return Claim::Owned;
        if (!owned.isValid())
            return Claim::NoBus;

        QDBusMessage call = QDBusMessage::createMethodCall(serviceName, objectPath, interfaceName,
                                                           QStringLiteral("Activate"));
        call << platformData;
        const QDBusMessage reply = bus_.call(call, QDBus::Block, timeoutMs_);
        if (reply.type() == QDBusMessage::ReplyMessage)
            return Claim::HandedOver;
        if (reply.errorName() != QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown")
            && reply.errorName() != QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner"))
            return Claim::NoAnswer;
    }
    return Claim::NoAnswer;
}

void SingleInstance::Activate(const QVariantMap& platformData)
{
    emit activated(platformData.value(QStringLiteral("desktop-startup-id")).toString().toUtf8());
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
