#pragma once

#include <QByteArray>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusPendingCall>
#include <QObject>
#include <QVariantMap>

#include <optional>

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
        Failed,      // the running one did not come forward; problem() says why
    };

    // `timeoutMs` bounds the whole claim.
    explicit SingleInstance(QDBusConnection bus, int timeoutMs = 5000);

    // Asks the bus for the name without waiting for its answer, so that the
    // windows can be built meanwhile. The name is given up as soon as the
    // application begins to quit.
    void requestName();

    // Waits for the name (asking for it first if requestName() has not), and
    // if another process holds it, calls its Activate with `platformData`
    // (desktop-startup-id, activation-token). A holder that is leaving is
    // waited for, and the name claimed again once it has gone.
    Claim claim(const QVariantMap& platformData);

    // Why the claim failed, in one line.
    const QString& problem() const { return problem_; }

    // Gives the name up, so that a start from then on finds it free rather
    // than a holder on its way out (handing the clipboard over can take it
    // seconds).
    void release();

    // The launcher's startup ids from this process's environment, read before
    // Qt takes them for itself.
    static QVariantMap platformDataFromEnvironment();

signals:
    // Another start asked to see Velmora; `startupId` is empty unless the
    // caller gave one that looks like a startup-notification id.
    void activated(const QByteArray& startupId);

public slots:
    Q_SCRIPTABLE void Activate(const QVariantMap& platformData);
    Q_SCRIPTABLE void Open(const QStringList& uris, const QVariantMap& platformData);
    Q_SCRIPTABLE void ActivateAction(const QString& name, const QVariantList& parameter,
                                     const QVariantMap& platformData);

private:
    bool waitUntilReleased(int timeoutMs);

    QDBusConnection bus_;
    const int timeoutMs_;
    std::optional<QDBusPendingCall> request_;
    QString problem_;
};
