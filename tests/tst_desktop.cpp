#include "Compositor.h"
#include "DayWatcher.h"
#include "Project.h"
#include "SessionBus.h"
#include "SingleInstance.h"
#include "WorkArea.h"

#include <QtTest>

#include <QDBusConnectionInterface>
#include <QTemporaryDir>
#include <QTimeZone>

#include <dlfcn.h>
#include <poll.h>
#include <future>
#include <thread>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>


Q_DECLARE_METATYPE(WorkArea::Desktop)
Q_DECLARE_METATYPE(SessionBus::State)
Q_DECLARE_METATYPE(Compositor::Answer)

// Every change of this process's environment, counted: once threads run,
// a change races with any thread that reads it.
namespace {
int environmentChanges = 0;
template <typename Function>
Function real(const char* name)
{
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}
}  // namespace
extern "C" int setenv(const char* name, const char* value, int overwrite)
{
    ++environmentChanges;
    return real<int (*)(const char*, const char*, int)>("setenv")(name, value, overwrite);
}
extern "C" int unsetenv(const char* name)
{
    ++environmentChanges;
    return real<int (*)(const char*)>("unsetenv")(name);
}

namespace {

const QString appId = QStringLiteral(VELMORA_APP_ID);

// A connection of its own to the session bus, named `name`, which a test
// ends to let go of what it held.
QDBusConnection ownConnection(const QString& name)
{
    return QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
}

// Sets TZ until the returned guard goes.
auto zoneVariable(const QByteArray& value)
{
    const QByteArray saved = qgetenv("TZ");
    const bool wasSet = qEnvironmentVariableIsSet("TZ");
    qputenv("TZ", value);
    return qScopeGuard([saved, wasSet] { wasSet ? qputenv("TZ", saved) : qunsetenv("TZ"); });
}

// Points `link` at the zone `zone`, replacing it whole, as a zone change does.
void linkZone(const QString& link, const char* zone)
{
    const QString fresh = link + QStringLiteral(".new");
    QVERIFY(QFile::link(QStringLiteral("/usr/share/zoneinfo/") + QLatin1String(zone), fresh));
    QVERIFY(::rename(QFile::encodeName(fresh).constData(), QFile::encodeName(link).constData()) == 0);
}

// When the process's one real-time timer (the day watcher's) fires next, as
// the kernel holds it.
QDateTime armedFor()
{
    QList<qint64> remaining;
    for (const QFileInfo& fd : QDir(QStringLiteral("/proc/self/fdinfo")).entryInfoList(QDir::Files)) {
        QFile info(fd.filePath());
        const QByteArray text = info.open(QIODevice::ReadOnly) ? info.readAll() : QByteArray();
        const qsizetype at = text.indexOf("it_value: (");
        if (text.contains("clockid: 0\n") && at >= 0)
            remaining << text.mid(at + 11).split(',').constFirst().toLongLong();
    }
    return remaining.size() == 1 ? QDateTime::currentDateTimeUtc().addSecs(remaining.constFirst()) : QDateTime();
}

// A listening socket in place of a bus or a compositor, by path or, for a
// name starting with a 0 byte, abstract; what it does with the one
// connection is up to the test. `full`: its listen queue is full, as a
// daemon's that takes no connections.
class FakeBus {
public:
    FakeBus(const QByteArray& name, bool full)
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, name.constData(), std::size_t(name.size()));
        const auto length = socklen_t(offsetof(sockaddr_un, sun_path) + std::size_t(name.size()) + 1);
        QVERIFY(fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&address), length - (name.startsWith('\0') ? 1 : 0)) == 0);
        QVERIFY(::listen(fd_, full ? 0 : 4) == 0);
        if (full)  // a queue of none holds one
            QVERIFY(::connect(waiting_, reinterpret_cast<sockaddr*>(&address), length - (name.startsWith('\0') ? 1 : 0)) == 0);
    }
    ~FakeBus()
    {
        release();
        ::close(fd_);
        ::close(waiting_);
    }

    // Talks on a thread of its own with the connection that comes within 5 s,
    // through `talk`, and holds it until released, unless `talk` hangs up
    // (returns false).
    void serve(std::function<bool(int peer)> talk)
    {
        server_ = std::thread([this, talk = std::move(talk), released = released_.get_future()] {
            pollfd waiting{fd_, POLLIN, 0};
            const int peer = ::poll(&waiting, 1, 5000) == 1 ? ::accept(fd_, nullptr, nullptr) : -1;
            if (peer >= 0 && talk(peer))
                released.wait();
            ::close(peer);
        });
    }
    void release()
    {
        if (!server_.joinable())
            return;
        released_.set_value();
        server_.join();
    }

private:
    std::thread server_;
    std::promise<void> released_;
    int fd_ = ::socket(AF_UNIX, SOCK_STREAM, 0);
    int waiting_ = ::socket(AF_UNIX, SOCK_STREAM, 0);
};

}  // namespace

class TestDesktop : public QObject {
    Q_OBJECT

private slots:
    void workAreaOfAMonitor_data();
    void workAreaOfAMonitor();
    void workAreaOfTheCurrentDesktop_data();
    void workAreaOfTheCurrentDesktop();
    void windowStaysWholeInsideItsMonitor_data();
    void windowStaysWholeInsideItsMonitor();
    void menuOpensBesideThePressWhereItFits_data();
    void menuOpensBesideThePressWhereItFits();
    void nextDayStartsAtTheFirstInstantOfTheDate_data();
    void nextDayStartsAtTheFirstInstantOfTheDate();
    void dayWatcherWakes_data();
    void dayWatcherWakes();
    void dayWatcherSaysOnceWhatItCanNoLongerFollow();
    void zoneIsFollowedWithoutTouchingTheEnvironment_data();
    void zoneIsFollowedWithoutTouchingTheEnvironment();
    void secondStart_data();
    void secondStart();
    void startupIdIsPassedOnOnlyAsLaunchersMakeIt_data();
    void startupIdIsPassedOnOnlyAsLaunchersMakeIt();
    void nameIsFreeOnceTheProgramQuits();
    void busProbeTellsAnsweringFromSilentAndAbsent_data();
    void busProbeTellsAnsweringFromSilentAndAbsent();
    void compositorIsAskedWhatItOffers_data();
    void compositorIsAskedWhatItOffers();
};

namespace {

// A window's claim as its properties hold it: _NET_WM_STRUT_PARTIAL, or
// only the older _NET_WM_STRUT.
struct Claim {
    WorkArea::Values partial, whole;
};
enum Edge { Left, Right, Top, Bottom };

// A panel's claim of `width` on one edge, running from `start` to `end` along it.
Claim partial(Edge edge, std::uint32_t width, std::uint32_t start, std::uint32_t end)
{
    std::vector<std::uint32_t> values(12, 0);
    values[edge] = width;
    values[4 + 2 * edge] = start;
    values[5 + 2 * edge] = end;
    return {values, std::nullopt};
}

// An older panel's claim of whole edges.
Claim whole(std::uint32_t left, std::uint32_t right, std::uint32_t top, std::uint32_t bottom)
{
    return {std::nullopt, std::vector<std::uint32_t>{left, right, top, bottom}};
}

}  // namespace

void TestDesktop::workAreaOfAMonitor_data()
{
    QTest::addColumn<WorkArea::Desktop>("desktop");
    QTest::addColumn<QList<QRect>>("expected");
    // The root's size, the monitors, the published areas, the windows'
    // claims (none: the manager names no windows) and the desktop's one area.
    const auto row = [](const char* name, QSize root, QList<QRect> monitors, QList<QRect> published,
                        std::optional<QList<Claim>> claims, std::optional<QRect> workArea, QList<QRect> expected) {
        WorkArea::Desktop desktop{root, {monitors.cbegin(), monitors.cend()}, {published.cbegin(), published.cend()},
                                  std::nullopt, workArea};
        if (claims) {
            desktop.struts.emplace();
            for (const Claim& claim : *claims)
                if (const auto strut = WorkArea::strutFrom(claim.partial, claim.whole, root))
                    desktop.struts->push_back(*strut);
        }
        QTest::newRow(name) << desktop << expected;
    };
    const QSize wide(3840, 1200);
    const QRect left(0, 0, 1920, 1080), right(1920, 0, 1920, 1200), lower(0, 1080, 1920, 1080);
    // A docked laptop: the primary on the left with a panel across its top.
    const Claim topOfLeft = partial(Top, 28, 0, 1919);
    row("one monitor: the manager's word", left.size(), {left}, {}, QList{topOfLeft}, QRect(0, 30, 1920, 1050),
        {QRect(0, 30, 1920, 1050)});
    row("one monitor, no manager", left.size(), {left}, {}, std::nullopt, std::nullopt, {left});
    row("two monitors, a panel on the left one", wide, {left, right}, {}, QList{topOfLeft},
        QRect(0, 28, 3840, 1172), {QRect(0, 28, 1920, 1052), right});
    row("two monitors, areas published", wide, {left, right}, {QRect(0, 37, 1920, 1043), right},
        QList{topOfLeft}, QRect(0, 28, 3840, 1172), {QRect(0, 37, 1920, 1043), right});
    row("areas published for fewer monitors (one just plugged) are not trusted", wide, {left, right},
        {QRect(0, 37, 1920, 1043)}, QList{topOfLeft}, QRect(0, 28, 3840, 1172), {QRect(0, 28, 1920, 1052), right});
    row("two monitors, the manager names no windows", wide, {left, right}, {}, std::nullopt, QRect(0, 28, 3840, 1172),
        {QRect(0, 28, 1920, 1052), QRect(1920, 28, 1920, 1172)});
    row("stacked, a panel atop each", QSize(1920, 2160), {left, lower}, {},
        QList{topOfLeft, partial(Top, 1108, 0, 1919)}, std::nullopt,
        {QRect(0, 28, 1920, 1052), QRect(0, 1108, 1920, 1052)});
    row("aligned at the bottom, a panel atop the shorter one", wide, {QRect(0, 120, 1920, 1080), right}, {},
        QList{partial(Top, 148, 0, 1919)}, std::nullopt, {QRect(0, 148, 1920, 1052), right});
    row("an older panel's whole-edge claim reaches both", wide, {left, right}, {}, QList{whole(0, 0, 28, 0)},
        std::nullopt, {QRect(0, 28, 1920, 1052), QRect(1920, 28, 1920, 1172)});
    row("panels at each edge", wide, {left, right}, {},
        QList{partial(Left, 48, 0, 1079), partial(Bottom, 30, 1920, 3839), partial(Right, 40, 0, 1199)},
        std::nullopt, {QRect(48, 0, 1872, 1080), QRect(1920, 0, 1880, 1170)});
    row("a claim on everything is not heeded", wide, {left, right}, {}, QList{partial(Top, 1200, 0, 3839)},
        std::nullopt, {left, right});
    row("claims past the root are kept within it", wide, {left, right}, {},
        QList{partial(Top, 0xffffffff, 0, 0xffffffff), whole(0xffffffff, 0, 0, 0)}, std::nullopt, {left, right});
}

void TestDesktop::workAreaOfAMonitor()
{
    QFETCH(WorkArea::Desktop, desktop);
    QFETCH(QList<QRect>, expected);
    for (qsizetype i = 0; i < expected.size(); ++i)
        QCOMPARE(WorkArea::ofMonitor(desktop, std::size_t(i)), expected[i]);
}

void TestDesktop::workAreaOfTheCurrentDesktop_data()
{
    QTest::addColumn<QList<uint>>("values");  // _NET_WORKAREA's
    QTest::addColumn<uint>("desktop");
    QTest::addColumn<std::optional<QRect>>("expected");
    const QList<uint> two = {0, 28, 1280, 772, 0, 0, 1280, 800};
    QTest::newRow("the first") << two << 0u << std::optional(QRect(0, 28, 1280, 772));
    QTest::newRow("the second") << two << 1u << std::optional(QRect(0, 0, 1280, 800));
    QTest::newRow("one the manager does not describe") << two << 2u << std::optional<QRect>();
    QList<uint> all(4 * 64, 0);
    QTest::newRow("beyond the 64 read") << all << 64u << std::optional<QRect>();
}

void TestDesktop::workAreaOfTheCurrentDesktop()
{
    QFETCH(QList<uint>, values);
    QFETCH(uint, desktop);
    QFETCH(std::optional<QRect>, expected);
    QCOMPARE(WorkArea::ofDesktop({values.cbegin(), values.cend()}, desktop, QSize(1280, 800)), expected);
}

void TestDesktop::windowStaysWholeInsideItsMonitor_data()
{
    // The strip, 129 x 19, 200 px left of the area's right edge and 3 below its top.
    QTest::addColumn<QRect>("area");
    QTest::addColumn<QRect>("monitor");
    QTest::addColumn<QPoint>("expected");
    const QRect monitor(0, 0, 1280, 800);
    QTest::newRow("below a panel") << QRect(0, 32, 1280, 768) << monitor << QPoint(1080, 35);
    QTest::newRow("on the second monitor") << QRect(1280, 28, 1920, 1172) << QRect(1280, 0, 1920, 1200)
                                           << QPoint(3000, 31);
    QTest::newRow("a top claim of nearly all") << QRect(0, 790, 1280, 10) << monitor << QPoint(1080, 781);
    QTest::newRow("a right claim of nearly all") << QRect(0, 0, 104, 800) << monitor << QPoint(0, 3);
    QTest::newRow("a sliver published") << QRect(0, 795, 1280, 5) << monitor << QPoint(1080, 781);
    QTest::newRow("a monitor narrower than the strip") << QRect(0, 0, 100, 800) << QRect(0, 0, 100, 800) << QPoint(0, 3);
}

void TestDesktop::windowStaysWholeInsideItsMonitor()
{
    QFETCH(QRect, area);
    QFETCH(QRect, monitor);
    QFETCH(QPoint, expected);
    QCOMPARE(WorkArea::placeIn(area, monitor, QSize(129, 19), 200, 0, 3), expected);
}

void TestDesktop::menuOpensBesideThePressWhereItFits_data()
{
    // A 100 x 50 menu in a 1000 x 800 work area.
    QTest::addColumn<QPoint>("pressed");
    QTest::addColumn<QPoint>("expected");
    QTest::newRow("room right and below") << QPoint(10, 10) << QPoint(11, 11);
    QTest::newRow("just room on the right") << QPoint(899, 10) << QPoint(900, 11);
    QTest::newRow("a pixel short on the right") << QPoint(900, 10) << QPoint(800, 11);
    QTest::newRow("just room below") << QPoint(10, 749) << QPoint(11, 750);
    QTest::newRow("a pixel short below") << QPoint(10, 750) << QPoint(11, 700);
}

void TestDesktop::menuOpensBesideThePressWhereItFits()
{
    QFETCH(QPoint, pressed);
    QFETCH(QPoint, expected);
    QCOMPARE(WorkArea::beside(pressed, QSize(100, 50), QRect(0, 0, 1000, 800)), expected);
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

void TestDesktop::dayWatcherWakes_data()
{
    QTest::addColumn<bool>("setClock");
    QTest::newRow("at its deadline") << false;
    QTest::newRow("when the clock is set by hand") << true;
}

void TestDesktop::dayWatcherWakes()
{
    QFETCH(bool, setClock);
    DayWatcher watcher(nullptr, [setClock] { return QDateTime::currentDateTime().addSecs(setClock ? 86400 : 1); });
    QSignalSpy woke(&watcher, &DayWatcher::dayMayHaveChanged);
    if (setClock) {
        // Set to what it says now: a change of the clock all the same.
        timespec now{};
        ::clock_gettime(CLOCK_REALTIME, &now);
        if (::clock_settime(CLOCK_REALTIME, &now) != 0)
            QSKIP("the clock cannot be set here (run as root to test it)");
    }
    QVERIFY(woke.wait(5000));
}

void TestDesktop::dayWatcherSaysOnceWhatItCanNoLongerFollow()
{
    // A deadline the timer refuses, each time the zone changes, and a zone
    // file whose folder cannot be watched: each loss is told, once, and for
    // what it is.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral(
        "^velmora: timerfd_settime failed .*; the date line will no longer change at midnight")));
    QTest::failOnWarning(QRegularExpression(QStringLiteral("velmora")));
    {
        QTemporaryDir root;
        const QString link = root.filePath(QStringLiteral("localtime"));
        linkZone(link, "Etc/GMT+12");
        const auto zone = zoneVariable(":" + QFile::encodeName(link));
        DayWatcher watcher(nullptr, [] { return QDateTime::fromSecsSinceEpoch(-1); });
        QSignalSpy changed(&watcher, &DayWatcher::dayMayHaveChanged);
        for (const char* next : {"Etc/GMT-14", "Etc/GMT+12"}) {
            linkZone(link, next);
            QVERIFY(changed.wait(5000));
        }
    }
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral(
        "^velmora: inotify_add_watch failed .*; the date line will not follow a change of the system's time zone$")));
    const auto zone = zoneVariable(":/nonexistent-folder/zone/localtime");
    DayWatcher watcher;
    // A copy of a zone's file names no zone.
    QTemporaryDir root;
    const QString copy = root.filePath(QStringLiteral("localtime"));
    QVERIFY(QFile::copy(QStringLiteral("/usr/share/zoneinfo/Etc/GMT+12"), copy));
    const auto copied = zoneVariable(":" + QFile::encodeName(copy));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral(
        "^velmora: .*/localtime links to no zone by name; the date line will not follow a change")));
    DayWatcher(nullptr).readZone();
}

void TestDesktop::zoneIsFollowedWithoutTouchingTheEnvironment_data()
{
    QTest::addColumn<QString>("how");  // what happens to the zone file's folder before the new zone is linked
    QTest::newRow("the link replaced") << "";
    QTest::newRow("the folder removed and made anew") << "removed";
    QTest::newRow("the folder renamed away and made anew") << "renamed";
}

void TestDesktop::zoneIsFollowedWithoutTouchingTheEnvironment()
{
    QFETCH(QString, how);
    QTemporaryDir root;
    const QString folder = root.filePath(QStringLiteral("zone")), link = folder + QStringLiteral("/localtime");
    QVERIFY(QDir().mkdir(folder));
    linkZone(link, "Etc/GMT+12");
    const auto zone = zoneVariable(":" + QFile::encodeName(link));
    const int changesBefore = environmentChanges;
    DayWatcher watcher;
    QSignalSpy changed(&watcher, &DayWatcher::dayMayHaveChanged);
    // 26 hours apart: the two zones' dates always differ.
    const auto todayIn = [](const char* zone) { return QDateTime::currentDateTimeUtc().toTimeZone(QTimeZone(zone)).date(); };
    QCOMPARE(watcher.today(), todayIn("Etc/GMT+12"));
    // Another file in the zone's folder changes nothing.
    QVERIFY(QFile(folder + QStringLiteral("/adjtime")).open(QIODevice::WriteOnly));
    QCoreApplication::processEvents();
    QCOMPARE(changed.count(), 0);

    if (how == QLatin1String("removed"))
        QVERIFY(QDir(folder).removeRecursively());
    else if (how == QLatin1String("renamed"))
        QVERIFY(QDir().rename(folder, folder + QStringLiteral(".old")));
    QVERIFY(QDir().mkpath(folder));
    linkZone(link, "Etc/GMT-14");
    QVERIFY(changed.wait(5000));
    QTRY_COMPARE(watcher.today(), todayIn("Etc/GMT-14"));
    // The next day is awaited in the new zone (its midnight 2 h from the old one's).
    const QDateTime midnight = nextDayStart(QDateTime::currentDateTimeUtc().toTimeZone(QTimeZone("Etc/GMT-14")));
    QVERIFY2(qAbs(armedFor().secsTo(midnight)) <= 2, qPrintable(armedFor().toString(Qt::ISODate)));
    // ...and a change after that is still seen.
    linkZone(link, "Etc/GMT+12");
    QTRY_COMPARE(watcher.today(), todayIn("Etc/GMT+12"));
    QCOMPARE(environmentChanges, changesBefore);
}

// A strip on its way out, on a thread of its own: it answers a call to come
// forward with `error`, and lets go of its name a moment later; or, staying,
// answers only after 700 ms and never lets go.
class LeavingStrip : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")

public:
    LeavingStrip(QDBusConnection bus, QString error, bool staying)
        : bus_(std::move(bus)), error_(std::move(error)), staying_(staying)
    {
    }

public slots:
    Q_SCRIPTABLE void Activate(const QVariantMap&)
    {
        setDelayedReply(true);
        QTimer::singleShot(staying_ ? 700 : 0, this, [this, call = message()] {
            bus_.send(call.createErrorReply(error_, QStringLiteral("leaving")));
            if (!staying_)
                QTimer::singleShot(200, this, [this] { bus_.unregisterService(appId); });
        });
    }

private:
    QDBusConnection bus_;
    const QString error_;
    const bool staying_;
};

void TestDesktop::secondStart_data()
{
    // What holds the name when a second start claims it, and how it answers;
    // a running strip that answers is the end-to-end test's.
    QTest::addColumn<QString>("holder");
    QTest::addColumn<int>("expected");
    QTest::newRow("nobody") << "none" << int(SingleInstance::Claim::Owned);
    for (const char* error : {"UnknownObject", "UnknownMethod", "ServiceUnknown", "NameHasNoOwner"})
        QTest::addRow("a strip that is leaving: %s", error)
            << QStringLiteral("org.freedesktop.DBus.Error.") + QLatin1String(error) << int(SingleInstance::Claim::Owned);
    QTest::newRow("a strip that refuses") << "org.freedesktop.DBus.Error.AccessDenied" << int(SingleInstance::Claim::Failed);
    QTest::newRow("a strip that cannot answer") << "silent" << int(SingleInstance::Claim::Failed);
    QTest::newRow("a strip that is leaving but never lets go") << "staying" << int(SingleInstance::Claim::Failed);
}

void TestDesktop::secondStart()
{
    QFETCH(QString, holder);
    QFETCH(int, expected);
    QVERIFY2(QDBusConnection::sessionBus().isConnected(), "run in a D-Bus session, as dbus-run-session gives");
    QThread leavingThread;
    const auto cleanup = qScopeGuard([&leavingThread] {
        leavingThread.quit();
        leavingThread.wait();
        QDBusConnection::disconnectFromBus(QStringLiteral("second"));
        QDBusConnection::disconnectFromBus(QStringLiteral("holder"));
    });
    QDBusConnection holderBus = ownConnection(QStringLiteral("holder"));
    SingleInstance running(holderBus);
    const bool staying = holder == QLatin1String("staying");
    LeavingStrip leaving(holderBus, staying ? QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod") : holder, staying);
    if (holder == QLatin1String("silent")) {
        QCOMPARE(running.claim({}), SingleInstance::Claim::Owned);  // and it shares this blocked thread
    } else if (holder.endsWith(QLatin1String("UnknownObject"))) {
        // The name is still held, the object behind it already gone.
        QVERIFY(holderBus.registerService(appId));
        QTimer::singleShot(200, &running, [&holderBus] { holderBus.unregisterService(appId); });
    } else if (holder != QLatin1String("none")) {
        leaving.moveToThread(&leavingThread);
        leavingThread.start();
        QVERIFY(holderBus.registerObject(QLatin1Char('/') + QString(appId).replace(QLatin1Char('.'), QLatin1Char('/')), &leaving,
                                         QDBusConnection::ExportScriptableSlots));
        QVERIFY(holderBus.registerService(appId));
    }

    SingleInstance second(ownConnection(QStringLiteral("second")), 1000);
    QElapsedTimer elapsed;
    elapsed.start();
    QCOMPARE(int(second.claim({})), expected);
    if (holder == QLatin1String("silent"))
        QCOMPARE(second.problem(), QStringLiteral("Velmora is already running here but did not answer within 1 s"));
    // The call forward and the wait for the name, together within the one deadline.
    QVERIFY2(elapsed.elapsed() < 1500, "the claim waited past its deadline");
}

void TestDesktop::startupIdIsPassedOnOnlyAsLaunchersMakeIt_data()
{
    QTest::addColumn<QVariant>("given");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("a launcher's") << QVariant(QStringLiteral("menu-1_TIME42")) << QByteArray("menu-1_TIME42");
    QTest::newRow("256 characters") << QVariant(QString(256, QLatin1Char('x'))) << QByteArray(256, 'x');
    QTest::newRow("257 characters") << QVariant(QString(257, QLatin1Char('x'))) << QByteArray();
    QTest::newRow("a control character") << QVariant(QStringLiteral("id\u001b[2J")) << QByteArray();
    QTest::newRow("DEL") << QVariant(QStringLiteral("id\u007f")) << QByteArray();
    QTest::newRow("not text") << QVariant(42) << QByteArray();
}

void TestDesktop::startupIdIsPassedOnOnlyAsLaunchersMakeIt()
{
    QFETCH(QVariant, given);
    QFETCH(QByteArray, expected);
    SingleInstance instance(QDBusConnection(QStringLiteral("none")));
    QSignalSpy activated(&instance, &SingleInstance::activated);
    instance.Activate({{QStringLiteral("desktop-startup-id"), given}});
    QCOMPARE(activated.size(), 1);
    QCOMPARE(activated.constFirst().constFirst().toByteArray(), expected);
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

void TestDesktop::busProbeTellsAnsweringFromSilentAndAbsent_data()
{
    // In an address, {path} is the fake bus's path, escaped as the address
    // form wants its blank, and {abstract} its abstract name.
    QTest::addColumn<QByteArray>("address");
    QTest::addColumn<QString>("fake");  // what the fake bus does with the connection
    QTest::addColumn<SessionBus::State>("expected");
    using S = SessionBus::State;
    QTest::newRow("this session's bus") << QByteArray("session") << "" << S::Answers;
    QTest::newRow("by path") << QByteArray("unix:path={path}") << "answers" << S::Answers;
    QTest::newRow("abstract, with a guid") << QByteArray("unix:abstract={abstract},guid=0f") << "answers" << S::Answers;
    QTest::newRow("an entry that fails, then one that answers")
        << QByteArray("unix:path=/nonexistent/bus;unix:path={path}") << "answers" << S::Answers;
    QTest::newRow("a bus that refuses the user") << QByteArray("unix:path={path}") << "refuses" << S::Answers;
    QTest::newRow("a bus that never answers") << QByteArray("unix:path={path}") << "nothing" << S::Silent;
    QTest::newRow("a bus whose answer is a byte short") << QByteArray("unix:path={path}") << "answers, short" << S::Silent;
    QTest::newRow("a bus that stalls at Hello") << QByteArray("unix:path={path}") << "authenticates" << S::Silent;
    QTest::newRow("a bus that answers a byte at a time") << QByteArray("unix:path={path}") << "drips" << S::Silent;
    QTest::newRow("a bus that takes no connections") << QByteArray("unix:path={path}") << "full" << S::Silent;
    QTest::newRow("the same, asked with no time left") << QByteArray("unix:path={path}") << "full, no time" << S::Silent;
    QTest::newRow("a bus that hangs up") << QByteArray("unix:abstract={abstract}") << "hangs up" << S::None;
    QTest::newRow("nothing listening") << QByteArray("unix:path=/nonexistent/bus") << "" << S::None;
    QTest::newRow("a broken escape") << QByteArray("unix:path={path}%4") << "" << S::Answers;
    QTest::newRow("a bus over TCP") << QByteArray("tcp:host=localhost,port=9") << "" << S::Answers;
    QTest::newRow("no address") << QByteArray() << "" << S::Answers;
}

void TestDesktop::busProbeTellsAnsweringFromSilentAndAbsent()
{
    QFETCH(QByteArray, address);
    QFETCH(QString, fake);
    QFETCH(SessionBus::State, expected);
    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.path()) + "/bus socket";
    const QByteArray abstract = "velmora-test-" + QByteArray::number(::getpid());
    const bool full = fake.startsWith(QLatin1String("full"));
    const auto timeout = std::chrono::milliseconds(fake.endsWith(QLatin1String("no time")) ? 0 : 300);
    QByteArray request(256, '\0');  // what the probe said (before the bus: its server writes it)
    std::optional<FakeBus> bus;
    if (address.contains("{path}"))
        bus.emplace(path, full);
    else if (address.contains("{abstract}"))
        bus.emplace(QByteArray(1, '\0') + abstract, full);
    address = address == "session" ? SessionBus::address()
                                   : address.replace("{path}", QByteArray(path).replace(" ", "%20"))
                                         .replace("{abstract}", abstract);

    // Made on a thread of its own, so that a probe that hangs fails here.
    auto made = std::make_shared<std::promise<std::unique_ptr<SessionBus::Probe>>>();
    auto probe = made->get_future();
    std::thread([address, made, timeout] { made->set_value(std::make_unique<SessionBus::Probe>(address, timeout)); }).detach();
    QVERIFY2(probe.wait_for(std::chrono::seconds(3)) == std::future_status::ready, "the probe hangs");
    // The fake bus's side, while the probe waits for its answer.
    if (!fake.isEmpty() && !full) {
        bus->serve([&request, fake](int peer) {
            if (::recv(peer, request.data(), request.size() - 1, 0) <= 0)
                return false;
            // "OK", then a reply with header fields (3 bytes, padded to 8) and a body (5 bytes).
            const QByteArray answer = QByteArray("OK 0f\r\nl\2\1\1\5\0\0\0\1\0\0\0\3\0\0\0", 23) + QByteArray(13, 'x');
            if (fake.startsWith(QLatin1String("answers")))
                ::send(peer, answer.constData(), answer.size() - fake.endsWith(QLatin1String("short")), MSG_NOSIGNAL);
            else if (fake == QLatin1String("refuses"))
                ::send(peer, "REJECTED EXTERNAL\r\n", 19, MSG_NOSIGNAL);
            else if (fake == QLatin1String("authenticates"))
                ::send(peer, answer.constData(), 7, MSG_NOSIGNAL);
            for (const char byte : fake == QLatin1String("drips") ? answer : QByteArray())
                if (::send(peer, &byte, 1, MSG_NOSIGNAL) == 1)
                    QThread::msleep(20);
            return fake != QLatin1String("hangs up");
        });
    }
    QCOMPARE(probe.get()->answer(), expected);
    if (bus && !fake.isEmpty() && !full) {
        bus->release();
        QVERIFY2(request.startsWith(QByteArray(1, '\0') + "AUTH EXTERNAL "), request.constData() + 1);
    }
}

// A Wayland message: the object, its size and opcode, then its arguments.
QByteArray message(std::uint32_t object, std::uint32_t opcode, const QByteArray& arguments)
{
    const std::uint32_t words[] = {object, std::uint32_t(8 + arguments.size()) << 16 | opcode};
    return QByteArray(reinterpret_cast<const char*>(words), sizeof words) + arguments;
}
QByteArray word(std::uint32_t value)
{
    return QByteArray(reinterpret_cast<const char*>(&value), sizeof value);
}
// wl_registry.global (the registry is object 2): a name, the interface as a
// string with its length and closing zero, padded to 4, and a version.
QByteArray global(const QByteArray& interface)
{
    QByteArray text = interface + '\0';
    text.append((4 - text.size() % 4) % 4, '\0');
    return message(2, 0, word(7) + word(std::uint32_t(interface.size() + 1)) + text + word(1));
}
const QByteArray done = message(3, 0, word(1));  // the callback (object 3) of wl_display.sync

void TestDesktop::compositorIsAskedWhatItOffers_data()
{
    QTest::addColumn<QByteArray>("socket");  // its name in XDG_RUNTIME_DIR; "-": none set
    QTest::addColumn<QByteArray>("answer");  // what the fake compositor sends; "-": it hangs up
    QTest::addColumn<Compositor::Answer>("expected");
    QTest::addColumn<QString>("problem");
    using enum Compositor::Answer;
    const QByteArray others = global("wl_compositor") + global("wl_shm");
    const QString refused = QStringLiteral("the Wayland display \"wayland-test\" does not answer in Wayland's protocol");
    QTest::newRow("the layer shell among others") << QByteArray("wayland-test") << others + global("zwlr_layer_shell_v1") + global("wl_seat") + done << LayerShell << "";
    QTest::newRow("no layer shell") << QByteArray("wayland-test") << others + done << Plain << "";
    QTest::newRow("Plasma's shell too") << QByteArray("wayland-test") << global("org_kde_plasma_shell") + global("zwlr_layer_shell_v1") + done << LayerShell << "";
    QTest::newRow("a name running past its message")
        << QByteArray("wayland-test") << message(2, 0, word(7) + word(40) + QByteArray("zwlr_layer_shell_v1", 20) + word(1)) + done << Plain << "";
    QTest::newRow("an error") << QByteArray("wayland-test") << message(1, 0, word(1) + word(0) + word(0)) << Silent << refused;
    QTest::newRow("a message over the protocol's limit")
        << QByteArray("wayland-test") << message(2, 0, QByteArray(4096, 'x')) + done << Silent << refused;
    QTest::newRow("a size not of whole words") << QByteArray("wayland-test") << QByteArray("\2\0\0\0\0\0\x0a\0", 8) << Silent << refused;
    QTest::newRow("silence") << QByteArray("wayland-test") << QByteArray() << Silent
                             << "the Wayland display \"wayland-test\" did not answer within 0.3 s";
    QTest::newRow("a hang-up") << QByteArray("wayland-test") << QByteArray("-") << Silent
                               << "the Wayland display \"wayland-test\" hung up before it answered";
    QTest::newRow("no such socket") << QByteArray("wayland-none") << QByteArray() << None
                                    << "cannot connect to the Wayland display \"wayland-none\"";
    QTest::newRow("no runtime folder") << QByteArray("-") << QByteArray() << None
                                       << "cannot connect to the Wayland display \"wayland-0\": XDG_RUNTIME_DIR is not set";
}

void TestDesktop::compositorIsAskedWhatItOffers()
{
    QFETCH(QByteArray, socket);
    QFETCH(QByteArray, answer);
    QFETCH(Compositor::Answer, expected);
    QFETCH(QString, problem);
    QTemporaryDir dir;
    FakeBus compositor(QFile::encodeName(dir.path()) + "/wayland-test", false);
    const QByteArray runtime = socket == "-" ? QByteArray() : QFile::encodeName(dir.path());
    if (socket == "wayland-test")
        compositor.serve([&answer](int peer) {
            QByteArray question(24, '\0');  // wl_display.get_registry and .sync
            return ::recv(peer, question.data(), question.size(), MSG_WAITALL) == question.size() && answer != "-"
                   && ::send(peer, answer.constData(), answer.size(), MSG_NOSIGNAL) == answer.size();
        });
    const Compositor::Reply reply = Compositor::ask({}, socket == "-" ? QByteArray() : socket, runtime,
                                                    std::chrono::milliseconds(300));
    QCOMPARE(reply.answer, expected);
    QCOMPARE(reply.problem, problem);
    QCOMPARE(reply.plasma, QByteArray(QTest::currentDataTag()).contains("Plasma"));
}

QTEST_GUILESS_MAIN(TestDesktop)
#include "tst_desktop.moc"
