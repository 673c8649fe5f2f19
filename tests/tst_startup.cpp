#include "Platform.h"
#include "PlatformGuard.h"

#include <QtTest>

#include <thread>

Q_DECLARE_METATYPE(QByteArrayList)
Q_DECLARE_METATYPE(Compositor::Answer)

namespace {

// The messages that reached the handler in place before the guard.
QStringList passedOn;
void keep(QtMsgType, const QMessageLogContext&, const QString& text)
{
    passedOn << text;
}

}  // namespace

class TestStartUp : public QObject {
    Q_OBJECT

private slots:
    void platformFollowsTheSessionAndTheUser_data();
    void platformFollowsTheSessionAndTheUser();
    void messagesWhileQtStartsArePassedOnInOrder();
};

void TestStartUp::platformFollowsTheSessionAndTheUser_data()
{
    // The environment as NAME=VALUE pairs, the -platform given, the
    // compositor's answer; the platforms Qt is to try.
    QTest::addColumn<QStringList>("environment");
    QTest::addColumn<QByteArray>("given");
    QTest::addColumn<Compositor::Answer>("compositor");
    QTest::addColumn<QByteArrayList>("expected");
    using enum Compositor::Answer;
    const QStringList x11 = {"DISPLAY=:0"};
    const QStringList wayland = {"DISPLAY=:0", "WAYLAND_DISPLAY=wayland-0"};
    QTest::newRow("X11") << x11 << QByteArray() << LayerShell << QByteArrayList{"xcb"};
    QTest::newRow("Wayland with a layer shell") << wayland << QByteArray() << LayerShell << QByteArrayList{"wayland", "xcb"};
    QTest::newRow("Wayland without one") << wayland << QByteArray() << Plain << QByteArrayList{"xcb"};
    QTest::newRow("a silent compositor") << wayland << QByteArray() << Silent << QByteArrayList{"xcb"};
    QTest::newRow("Wayland named by the session type alone")
        << QStringList{"DISPLAY=:0", "XDG_SESSION_TYPE=wayland"} << QByteArray() << LayerShell
        << QByteArrayList{"wayland", "xcb"};
    QTest::newRow("a connection handed over, with an X display")
        << QStringList{"WAYLAND_SOCKET=3", "DISPLAY=:0"} << QByteArray() << HandedOver << QByteArrayList{"wayland", "xcb"};
    QTest::newRow("Wayland without an X server")
        << QStringList{"WAYLAND_DISPLAY=wayland-0"} << QByteArray() << Plain << QByteArrayList{"wayland"};
    QTest::newRow("the user's variable") << (wayland + QStringList{"QT_QPA_PLATFORM=offscreen"}) << QByteArray()
                                         << LayerShell << QByteArrayList{"offscreen"};
    QTest::newRow("the user's option over the variable")
        << (x11 + QStringList{"QT_QPA_PLATFORM=offscreen"}) << QByteArray("wayland;xcb") << Plain
        << QByteArrayList{"wayland", "xcb"};
}

void TestStartUp::platformFollowsTheSessionAndTheUser()
{
    QFETCH(QStringList, environment);
    QFETCH(QByteArray, given);
    QFETCH(Compositor::Answer, compositor);
    QFETCH(QByteArrayList, expected);
    const auto variable = [&](const char* name) {
        for (const QString& pair : environment)
            if (pair.section(QLatin1Char('='), 0, 0) == QLatin1String(name))
                return pair.section(QLatin1Char('='), 1).toUtf8();
        return QByteArray();
    };
    const PlatformChoice choice = choosePlatform({std::nullopt, given, {}}, variable,
                                                 [&] { return Compositor::Reply{compositor, {}}; });
    QCOMPARE(choice.names, expected);
    QCOMPARE(choice.chosenHere, !QByteArray(QTest::currentDataTag()).startsWith("the user's"));
}

void TestStartUp::messagesWhileQtStartsArePassedOnInOrder()
{
    // Qt logs from its own threads while the platform starts.
    const QtMessageHandler before = qInstallMessageHandler(keep);
    {
        const PlatformGuard guard([] { return QString(); });
        std::vector<std::thread> threads;
        for (int thread = 0; thread < 4; ++thread)
            threads.emplace_back([thread] {
                for (int i = 0; i < 500; ++i)
                    qWarning("%d %d", thread, i);
            });
        for (std::thread& thread : threads)
            thread.join();
        QVERIFY2(passedOn.isEmpty(), "a message went past the guard while Qt started");
    }
    qInstallMessageHandler(before);
    QCOMPARE(passedOn.size(), 4 * 500);
    QList<int> next(4, 0);
    for (const QString& message : std::as_const(passedOn)) {
        const int thread = message.section(QLatin1Char(' '), 0, 0).toInt();
        QCOMPARE(message.section(QLatin1Char(' '), 1).toInt(), next[thread]++);
    }
}

QTEST_GUILESS_MAIN(TestStartUp)
#include "tst_startup.moc"
