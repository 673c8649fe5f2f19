#include "StartUp.h"

#include <QtTest>

class TestStartUp : public QObject {
    Q_OBJECT

private slots:
    void prefersX11OnlyOnWaylandWithXWayland_data();
    void prefersX11OnlyOnWaylandWithXWayland();
};

void TestStartUp::prefersX11OnlyOnWaylandWithXWayland_data()
{
    QTest::addColumn<QStringList>("environment");
    QTest::addColumn<QByteArray>("argument");
    QTest::addColumn<bool>("x11");

    const QStringList xwayland{"WAYLAND_DISPLAY=wayland-0", "DISPLAY=:0"};
    QTest::newRow("X11 session") << QStringList{"DISPLAY=:0", "XDG_SESSION_TYPE=x11"} << QByteArray() << false;
    QTest::newRow("Wayland with XWayland") << xwayland << QByteArray() << true;
    QTest::newRow("Wayland by session type") << QStringList{"XDG_SESSION_TYPE=wayland", "DISPLAY=:1"} << QByteArray() << true;
    QTest::newRow("Wayland without XWayland") << QStringList{"WAYLAND_DISPLAY=wayland-0"} << QByteArray() << false;
    QTest::newRow("user's platform") << xwayland + QStringList{"QT_QPA_PLATFORM=wayland"} << QByteArray() << false;
    QTest::newRow("user's platform option") << xwayland << QByteArray("-platform") << false;
}

void TestStartUp::prefersX11OnlyOnWaylandWithXWayland()
{
    QFETCH(QStringList, environment);
    QFETCH(QByteArray, argument);
    QFETCH(bool, x11);
    const auto lookup = [&](const char* name) {
        for (const QString& entry : environment)
            if (entry.section(QLatin1Char('='), 0, 0) == QLatin1String(name))
                return entry.section(QLatin1Char('='), 1).toUtf8();
        return QByteArray();
    };
    const char* argv[] = {"velmora", argument.constData(), "wayland"};
    QCOMPARE(StartUp::prefersX11(argument.isEmpty() ? 1 : 3, argv, lookup), x11);
}

QTEST_APPLESS_MAIN(TestStartUp)
#include "tst_startup.moc"
