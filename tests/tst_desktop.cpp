#include "DayWatcher.h"
#include "Project.h"
#include "SingleInstance.h"
#include "WorkArea.h"

#include <QtTest>

#include <QDBusConnectionInterface>
#include <QTemporaryDir>
#include <QTimeZone>

#include <atomic>
#include <mutex>

Q_DECLARE_METATYPE(WorkArea::Strut)

namespace {

const QString appId = QStringLiteral(VELMORA_APP_ID);

// A connection of its own to the session bus, named `name`, which a test
// ends to let go of what it held.
QDBusConnection ownConnection(const QString& name)
{
    return QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
}

// Sets TZ for the lifetime of the object.
class ZoneVariable {
public:
    explicit ZoneVariable(const QByteArray& value)
        : saved_(qgetenv("TZ"))
        , wasSet_(qEnvironmentVariableIsSet("TZ"))
    {
        qputenv("TZ", value);
    }
    ~ZoneVariable()
    {
        if (wasSet_)
            qputenv("TZ", saved_);
        else
            qunsetenv("TZ");
    }

private:
    const QByteArray saved_;
    const bool wasSet_;
};

// Points `link` at the zone `zone`, replacing it whole, as a zone change does.
void linkZone(const QString& link, const char* zone)
{
    const QString fresh = link + QStringLiteral(".new");
    QVERIFY(QFile::link(QStringLiteral("/usr/share/zoneinfo/") + QLatin1String(zone), fresh));
    QVERIFY(::rename(QFile::encodeName(fresh).constData(), QFile::encodeName(link).constData()) == 0);
}

}  // namespace

class TestDesktop : public QObject {
    Q_OBJECT

private slots:
    void workAreaOfAMonitor_data();
    void workAreaOfAMonitor();
    void nextDayStartsAtTheFirstInstantOfTheDate_data();
    void nextDayStartsAtTheFirstInstantOfTheDate();
    void dayWatcherWakesAtItsDeadline();
    void dayWatcherSaysOnceWhatItCanNoLongerFollow();
    void zoneIsFollowedWhenItsFolderIsReplaced();
    void secondStart_data();
    void secondStart();
    void nameIsFreeOnceTheProgramQuits();
};

void TestDesktop::workAreaOfAMonitor_data()
{
    using WorkArea::Strut;
    QTest::addColumn<QSize>("root");
    QTest::addColumn<QList<QRect>>("monitors");
    QTest::addColumn<QList<QRect>>("published");
    QTest::addColumn<bool>("listsClients");  // whether the manager names its windows, and so their struts
    QTest::addColumn<QList<Strut>>("struts");
    QTest::addColumn<QRect>("workArea");  // the desktop's one; empty if not set
    QTest::addColumn<QList<QRect>>("expected");
    const QRect left(0, 0, 1920, 1080), right(1920, 0, 1920, 1200);
    const Strut topOfLeft{0, 0, 28, 0, 0, 0, 0, 0, 0, 1919, 0, 0};
    // A docked laptop: the primary on the left with a panel across its top.
    QTest::newRow("one monitor: the manager's word") << QSize(1920, 1080) << QList<QRect>{left} << QList<QRect>{} << true
        << QList<Strut>{topOfLeft} << QRect(0, 30, 1920, 1050) << QList<QRect>{QRect(0, 30, 1920, 1050)};
    QTest::newRow("one monitor, no manager") << QSize(1920, 1080) << QList<QRect>{left} << QList<QRect>{} << false
        << QList<Strut>{} << QRect() << QList<QRect>{left};
    QTest::newRow("two monitors, a panel on the left one") << QSize(3840, 1200) << QList<QRect>{left, right}
        << QList<QRect>{} << true << QList<Strut>{topOfLeft} << QRect(0, 28, 3840, 1172)
        << QList<QRect>{QRect(0, 28, 1920, 1052), right};
    QTest::newRow("two monitors, areas published") << QSize(3840, 1200) << QList<QRect>{left, right}
        << QList<QRect>{QRect(0, 37, 1920, 1043), QRect(1920, 0, 1920, 1200)} << true << QList<Strut>{topOfLeft}
        << QRect(0, 28, 3840, 1172) << QList<QRect>{QRect(0, 37, 1920, 1043), right};
    QTest::newRow("two monitors, the manager names no windows") << QSize(3840, 1200) << QList<QRect>{left, right}
        << QList<QRect>{} << false << QList<Strut>{} << QRect(0, 28, 3840, 1172)
        << QList<QRect>{QRect(0, 28, 1920, 1052), QRect(1920, 28, 1920, 1172)};
    QTest::newRow("stacked, a panel atop each") << QSize(1920, 2160)
        << QList<QRect>{left, QRect(0, 1080, 1920, 1080)} << QList<QRect>{} << true
        << QList<Strut>{topOfLeft, {0, 0, 1108, 0, 0, 0, 0, 0, 0, 1919, 0, 0}} << QRect()
        << QList<QRect>{QRect(0, 28, 1920, 1052), QRect(0, 1108, 1920, 1052)};
    QTest::newRow("aligned at the bottom, a panel atop the shorter one") << QSize(3840, 1200)
        << QList<QRect>{QRect(0, 120, 1920, 1080), right} << QList<QRect>{} << true
        << QList<Strut>{{0, 0, 148, 0, 0, 0, 0, 0, 0, 1919, 0, 0}} << QRect()
        << QList<QRect>{QRect(0, 148, 1920, 1052), right};
    QTest::newRow("a whole-edge claim reaches both") << QSize(3840, 1200) << QList<QRect>{left, right}
        << QList<QRect>{} << true << QList<Strut>{{0, 0, 28, 0, 0, 1199, 0, 1199, 0, 3839, 0, 3839}} << QRect()
        << QList<QRect>{QRect(0, 28, 1920, 1052), QRect(1920, 28, 1920, 1172)};
    QTest::newRow("panels at the bottom and the right") << QSize(3840, 1200) << QList<QRect>{left, right}
        << QList<QRect>{} << true
        << QList<Strut>{{0, 0, 0, 30, 0, 0, 0, 0, 0, 0, 1920, 3839}, {0, 40, 0, 0, 0, 0, 0, 1199, 0, 0, 0, 0}}
        << QRect() << QList<QRect>{left, QRect(1920, 0, 1880, 1170)};
    QTest::newRow("a claim on everything is not heeded") << QSize(3840, 1200) << QList<QRect>{left, right}
        << QList<QRect>{} << true << QList<Strut>{{0, 0, 1200, 0, 0, 0, 0, 0, 0, 3839, 0, 0}} << QRect()
        << QList<QRect>{left, right};
}

void TestDesktop::workAreaOfAMonitor()
{
    QFETCH(QSize, root);
    QFETCH(QList<QRect>, monitors);
    QFETCH(QList<QRect>, published);
    QFETCH(bool, listsClients);
    QFETCH(QList<WorkArea::Strut>, struts);
    QFETCH(QRect, workArea);
    QFETCH(QList<QRect>, expected);
    WorkArea::Desktop desktop{root, {monitors.cbegin(), monitors.cend()}, {published.cbegin(), published.cend()},
                              std::nullopt, std::nullopt};
    if (listsClients)
        desktop.struts.emplace(struts.cbegin(), struts.cend());
    if (!workArea.isNull())
        desktop.workArea = workArea;
    for (qsizetype i = 0; i < monitors.size(); ++i)
        QCOMPARE(WorkArea::ofMonitor(desktop, std::size_t(i)), expected[i]);
}

void TestDesktop::nextDayStartsAtTheFirstInstantOfTheDate_data()
{
    QTest::addColumn<QDateTime>("now");  // local to its zone
    QTest::addColumn<QDateTime>("expected");
    const auto row = [](const char* name, const char* zone, QDateTime local, const char* utc) {
        local.setTimeZone(QTimeZone(zone));
        QTest::newRow(name) << local << QDateTime::fromString(QString::fromLatin1(utc), Qt::ISODate);
    };
    row("ordinary day", "Europe/Berlin", QDateTime({2024, 6, 1}, {12, 0}), "2024-06-01T22:00:00Z");
    row("last instant of the day", "Asia/Tehran", QDateTime({2024, 6, 1}, {23, 59, 59}), "2024-06-01T20:30:00Z");
    row("Havana skips midnight", "America/Havana", QDateTime({2024, 3, 9}, {12, 0}), "2024-03-10T05:00:00Z");
    row("Havana repeats midnight", "America/Havana", QDateTime({2024, 11, 2}, {12, 0}), "2024-11-03T04:00:00Z");
    row("Tehran skips midnight", "Asia/Tehran", QDateTime({2021, 3, 21}, {12, 0}), "2021-03-21T20:30:00Z");
    row("Tehran repeats the hour before midnight", "Asia/Tehran", QDateTime({2021, 9, 21}, {12, 0}),
        "2021-09-21T20:30:00Z");
    row("Apia skips a whole day", "Pacific/Apia", QDateTime({2011, 12, 29}, {12, 0}), "2011-12-30T10:00:00Z");
}

void TestDesktop::nextDayStartsAtTheFirstInstantOfTheDate()
{
    QFETCH(QDateTime, now);
    QFETCH(QDateTime, expected);
    QCOMPARE(nextDayStart(now).toUTC(), expected);
}

void TestDesktop::dayWatcherWakesAtItsDeadline()
{
    DayWatcher watcher(nullptr, [] { return QDateTime::currentDateTime().addSecs(1); });
    QSignalSpy woke(&watcher, &DayWatcher::dayMayHaveChanged);
    QVERIFY(woke.wait(5000));
}

void TestDesktop::dayWatcherSaysOnceWhatItCanNoLongerFollow()
{
    // A zone file whose folder cannot be watched, and a deadline the timer
    // refuses: each loss is told, once, and for what it is.
    const ZoneVariable zone(":/nonexistent-folder/zone/localtime");
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral(
        "^velmora: timerfd_settime failed .*; the date line will no longer change at midnight")));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral(
        "^velmora: inotify_add_watch failed .*; the date line will not follow a change of the system's time zone$")));
    QTest::failOnWarning(QRegularExpression(QStringLiteral("velmora")));
    DayWatcher watcher(nullptr, [] { return QDateTime::fromSecsSinceEpoch(-1); });
}

void TestDesktop::zoneIsFollowedWhenItsFolderIsReplaced()
{
    QTemporaryDir root;
    const QString folder = root.filePath(QStringLiteral("zone")), link = folder + QStringLiteral("/localtime");
    QVERIFY(QDir().mkdir(folder));
    linkZone(link, "Asia/Tehran");
    const ZoneVariable zone(":" + QFile::encodeName(link));
    DayWatcher watcher;
    QSignalSpy changed(&watcher, &DayWatcher::dayMayHaveChanged);

    // The folder goes and comes back with a new zone in it...
    QVERIFY(QDir(folder).removeRecursively());
    QVERIFY(QDir().mkdir(folder));
    linkZone(link, "Europe/Berlin");
    QVERIFY(changed.wait(5000));
    // ...and a change after that is still seen.
    changed.clear();
    linkZone(link, "America/Havana");
    QVERIFY(changed.wait(5000));
}

void TestDesktop::secondStart_data()
{
    // What holds the name when a second start claims it.
    QTest::addColumn<QString>("holder");
    QTest::addColumn<QString>("startupId");
    QTest::addColumn<int>("expected");
    QTest::addColumn<QString>("expectedId");  // what the running one is given
    using Claim = SingleInstance::Claim;
    QTest::newRow("nobody") << "none" << "" << int(Claim::Owned) << "";
    QTest::newRow("a running strip") << "running" << "launcher-7_TIME42" << int(Claim::HandedOver)
                                     << "launcher-7_TIME42";
    QTest::newRow("a running strip, given a long id") << "running" << QString(257, QLatin1Char('x'))
                                                      << int(Claim::HandedOver) << "";
    QTest::newRow("a running strip, given a binary id") << "running" << "id\x01\x1b[2J" << int(Claim::HandedOver)
                                                        << "";
    QTest::newRow("a strip that is leaving") << "leaving" << "" << int(Claim::Owned) << "";
    QTest::newRow("a strip that cannot answer") << "silent" << "" << int(Claim::Failed) << "";
}

void TestDesktop::secondStart()
{
    QFETCH(QString, holder);
    QFETCH(QString, startupId);
    QFETCH(int, expected);
    QFETCH(QString, expectedId);
    QVERIFY2(QDBusConnection::sessionBus().isConnected(), "run in a D-Bus session, as dbus-run-session gives");

    QDBusConnection holderBus = ownConnection(QStringLiteral("holder"));
    QThread thread;  // where a running strip answers while this thread waits for it
    const auto cleanup = qScopeGuard([&thread] {
        thread.quit();
        thread.wait();
        QDBusConnection::disconnectFromBus(QStringLiteral("second"));
        QDBusConnection::disconnectFromBus(QStringLiteral("holder"));
    });
    SingleInstance running(holderBus);
    std::mutex lock;
    QByteArray receivedId;
    QObject::connect(&running, &SingleInstance::activated, &running, [&](const QByteArray& id) {
        const std::lock_guard hold(lock);
        receivedId = id;
    }, Qt::DirectConnection);
    if (holder == QLatin1String("running") || holder == QLatin1String("silent")) {
        QCOMPARE(running.claim({}), SingleInstance::Claim::Owned);
        if (holder == QLatin1String("running")) {
            running.moveToThread(&thread);
            thread.start();
        }
    } else if (holder == QLatin1String("leaving")) {
        // The name is still held, the object behind it already gone; the
        // name goes a moment later.
        QVERIFY(holderBus.registerService(appId));
        QTimer::singleShot(200, &running, [&holderBus] { holderBus.unregisterService(appId); });
    }

    QDBusConnection secondBus = ownConnection(QStringLiteral("second"));
    SingleInstance second(secondBus, 1000);
    QVariantMap platformData;
    if (!startupId.isEmpty())
        platformData.insert(QStringLiteral("desktop-startup-id"), startupId);
    QElapsedTimer elapsed;
    elapsed.start();
    QCOMPARE(int(second.claim(platformData)), expected);
    if (expected == int(SingleInstance::Claim::Failed))
        QCOMPARE(second.problem(), QStringLiteral("Velmora is already running here but did not answer within 1 s"));
    if (expected == int(SingleInstance::Claim::HandedOver)) {
        const std::lock_guard hold(lock);
        QCOMPARE(QString::fromLatin1(receivedId), expectedId);
    }
    QVERIFY2(elapsed.elapsed() < 2000, "the claim waited past its deadline");
}

void TestDesktop::nameIsFreeOnceTheProgramQuits()
{
    // Last: it runs the application's event loop to its end.
    SingleInstance instance(QDBusConnection::sessionBus());
    QCOMPARE(instance.claim({}), SingleInstance::Claim::Owned);
    bool heldWhileRunning = false, heldOnceQuitting = true;
    QTimer::singleShot(0, qApp, [&] {
        heldWhileRunning = QDBusConnection::sessionBus().interface()->isServiceRegistered(appId);
        QCoreApplication::quit();
    });
    // Connected after the instance's own handler, so it sees what that did.
    connect(qApp, &QCoreApplication::aboutToQuit, this, [&] {
        heldOnceQuitting = ownConnection(QStringLiteral("observer")).interface()->isServiceRegistered(appId);
    });
    QCoreApplication::exec();
    QVERIFY(heldWhileRunning);
    QVERIFY2(!heldOnceQuitting, "the name is still held while the program quits");
    QDBusConnection::disconnectFromBus(QStringLiteral("observer"));
}

QTEST_GUILESS_MAIN(TestDesktop)
#include "tst_desktop.moc"
