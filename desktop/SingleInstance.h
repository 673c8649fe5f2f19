#pragma once

#include <QByteArray>
#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QVariantMap>

// One Velmora per desktop session, the freedesktop way: the first start owns
// the application id on the session bus and serves org.freedesktop.Application;
// a later start asks it to come forward and leaves.
class SingleInstance : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")

public:
    enum class Claim {
        Owned,       // this process is the one: it serves the name
        NoBus,       // no session bus: run on, alone as far as anyone can tell
        HandedOver,  // the running one was asked to come forward
        NoAnswer,    // the running one did not answer in time
    };

    // `timeoutMs` bounds the wait for the running one's answer.
    explicit SingleInstance(QDBusConnection bus, int timeoutMs = 5000);

    // Claims the name atomically (there is no check-then-claim race between
    // two starts); if another process holds it, calls its Activate with
    // `platformData` (desktop-startup-id, activation-token).
    Claim claim(const QVariantMap& platformData);

    // The launcher's startup ids from this process's environment, read before
    // Qt takes them for itself.
    static QVariantMap platformDataFromEnvironment();

signals:
    // Another start asked to see Velmora; `startupId` may be empty.
    void activated(const QByteArray& startupId);

public slots:
    Q_SCRIPTABLE void Activate(const QVariantMap& platformData);
    Q_SCRIPTABLE void Open(const QStringList& uris, const QVariantMap& platformData);
    Q_SCRIPTABLE void ActivateAction(const QString& name, const QVariantList& parameter,
                                     const QVariantMap& platformData);

private:
    QDBusConnection bus_;
    const int timeoutMs_;
};
