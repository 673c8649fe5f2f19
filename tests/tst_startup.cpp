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
    QTest::addColumn<QStringList>("environment");  // NAME=value
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("x11");

    const QStringList none;
    QTest::newRow("X11 session") << QStringList{"DISPLAY=:0", "XDG_SESSION_TYPE=x11"} << none << false;
    QTest::newRow("Wayland with XWayland") << QStringList{"WAYLAND_DISPLAY=wayland-0", "DISPLAY=:0"} << none << true;
    QTest::newRow("Wayland by session type") << QStringList{"XDG_SESSION_TYPE=wayland", "DISPLAY=:1"} << none << true;
    QTest::newRow("Wayland without XWayland") << QStringList{"WAYLAND_DISPLAY=wayland-0"} << none << false;
    QTest::newRow("platform chosen in environment")
        << QStringList{"WAYLAND_DISPLAY=wayland-0", "DISPLAY=:0", "QT_QPA_PLATFORM=wayland"} << none << false;
    QTest::newRow("empty choice is no choice")
        << QStringList{"WAYLAND_DISPLAY=wayland-0", "DISPLAY=:0", "QT_QPA_PLATFORM="} << none << true;
    QTest::newRow("platform chosen on command line")
        << QStringList{"WAYLAND_DISPLAY=wayland-0", "DISPLAY=:0"} << QStringList{"-platform", "wayland"} << false;
    QTest::newRow("no display at all") << none << none << false;
}

void TestStartUp::prefersX11OnlyOnWaylandWithXWayland()
{
    QFETCH(QStringList, environment);
    QFETCH(QStringList, arguments);
    QFETCH(bool, x11);

    const auto lookup = [&](const char* name) {
        const QString prefix = QString::fromLatin1(name) + QLatin1Char('=');
        for (const QString& entry : environment)
            if (entry.startsWith(prefix))
                return entry.mid(prefix.size()).toUtf8();
        return QByteArray();
    };
    QList<QByteArray> storage{"velmora"};
    for (const QString& argument : arguments)
        storage << argument.toUtf8();
    std::vector<const char*> argv;
    for (const QByteArray& argument : storage)
        argv.push_back(argument.constData());

    QCOMPARE(StartUp::prefersX11(int(argv.size()), argv.data(), lookup), x11);
}

QTEST_APPLESS_MAIN(TestStartUp)
#include "tst_startup.moc"
