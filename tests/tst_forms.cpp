#include "DayWatcher.h"
#include "Form1.h"
#include "Form3.h"
#include "WidgetTest.h"
#include "SingleInstance.h"
#include "StartUp.h"

#include <QtTest>

#include <QClipboard>
#include <QFontDatabase>
#include <QLineEdit>
#include <QScreen>
#include <QTimeZone>

namespace {

const QString today = QStringLiteral(u"\u0627\u0645\u0631\u0648\u0632: ");

template <typename T = QWidget>
T* child(const QObject& parent, const char* name)
{
    return parent.findChild<T*>(QLatin1String(name));
}

// Presses the mouse on ">" and hands the menu to `choose`, which must close it.
// Returns whether a menu opened.
bool pressMenuButton(Form1& strip, const std::function<void(QMenu&)>& choose)
{
    return openMenu([&] { QTest::mousePress(child(strip, "Command1"), Qt::LeftButton); }, choose);
}

void typeInto(QMenu& menu, std::initializer_list<Qt::Key> keys)
{
    for (const Qt::Key key : keys)
        QTest::keyClick(&menu, key);
}

QList<Form3*> aboutWindows()
{
    QList<Form3*> found;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* about = qobject_cast<Form3*>(widget))
            found << about;
    return found;
}

}  // namespace

class TestForms : public QObject {
    Q_OBJECT

private slots:
    void init();
    void stripMatchesItsLayout();
    void menuOffersTheThreeCommands();
    void menuOpensBesideThePressedPoint_data();
    void menuOpensBesideThePressedPoint();
    void keyboardOnTheButtonOpensNothing();
    void copyTakesTheLineAsEdited();
    void aboutOpensOnceAndEveryWayOutKeepsTheStrip();
    void stripFollowsTheCalendarDay();
    void nextDayStartsAtTheFirstInstantOfTheDate_data();
    void nextDayStartsAtTheFirstInstantOfTheDate();
    void dayWatcherWakesAtItsDeadline();
    void secondStartWithoutAnAnswerGivesUp();
    void persianQtStringsKeepTheStripLeftToRight();

private:
    QDate date_;
    std::unique_ptr<Form1> strip_;
};

void TestForms::init()
{
    QApplication::setQuitOnLastWindowClosed(false);
    date_ = QDate(2005, 12, 9);
    strip_ = std::make_unique<Form1>([this] { return date_; });
    strip_->show();
}

void TestForms::stripMatchesItsLayout()
{
    // Its place and size on a real X server are the end-to-end test's.
    QVERIFY(!(strip_->windowFlags() & Qt::WindowStaysOnTopHint));
    QVERIFY(QTest::qWaitForWindowExposed(strip_.get()));
    QTRY_COMPARE(strip_->windowIcon().availableSizes(), QList<QSize>({{16, 16}, {32, 32}}));  // after the first paint

    QCOMPARE(child(*strip_, "Text1")->nextInFocusChain(), child(*strip_, "Command1"));
    QVERIFY(!strip_->rect().intersects(child(*strip_, "Text2")->geometry()));  // never seen
    for (const char* name : {"Text1", "Command1"}) {  // Persian is shaped, not drawn as boxes
        const QFontInfo font(child(*strip_, name)->font());
        QVERIFY2(QFontDatabase::writingSystems(font.family()).contains(QFontDatabase::Arabic), qPrintable(font.family()));
        QCOMPARE(font.pointSizeF(), 8.25);
    }

    // Left-aligned: a line starting with a Persian letter would go right if left to Qt.
    auto* line = child<QLineEdit>(*strip_, "Text1");
    line->setFrame(false);
    const QRect ink = inkOf(line->grab().toImage().convertToFormat(QImage::Format_RGB32),
                           line->palette().color(QPalette::Base).rgb());
    QVERIFY2(ink.left() < line->width() - 1 - ink.right(), qPrintable(QStringLiteral("ink at %1..%2 of %3")
                                                                          .arg(ink.left()).arg(ink.right())
                                                                          .arg(line->width())));
}

void TestForms::menuOffersTheThreeCommands()
{
    QStringList items;
    QVERIFY(pressMenuButton(*strip_, [&](QMenu& menu) {
        for (const QAction* action : menu.actions())
            items << action->objectName() + QLatin1Char('=') + action->text();
        typeInto(menu, {Qt::Key_Escape});
    }));
    QCOMPARE(items, QStringList({
        QStringLiteral(u"d=&Clipboard \u0643\u067E\u064A \u0645\u062A\u0646 \u062F\u0631 "),
        QStringLiteral(u"w=\u0645\u0639\u0631\u0641\u064A \u0628\u0631\u0646\u0627\u0645\u0647"),
        QStringLiteral(u"e=\u062E\u0631\u0648\u062C"),
    }));
    QVERIFY(aboutWindows().isEmpty());  // Escape chose nothing
}

void TestForms::menuOpensBesideThePressedPoint_data()
{
    // The pointer's offset into the work area; a negative one counts from its right or bottom edge.
    QTest::addColumn<QPoint>("offset");
    QTest::addColumn<bool>("right");
    QTest::addColumn<bool>("below");
    QTest::newRow("room right and below") << QPoint(50, 50) << true << true;
    QTest::newRow("at the right edge") << QPoint(-10, 50) << false << true;
    QTest::newRow("at the bottom edge") << QPoint(50, -10) << true << false;
    QTest::newRow("in the bottom-right corner") << QPoint(-10, -10) << false << false;
}

void TestForms::menuOpensBesideThePressedPoint()
{
    QFETCH(QPoint, offset);
    QFETCH(bool, right);
    QFETCH(bool, below);
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const QPoint pointer(offset.x() >= 0 ? area.left() + offset.x() : area.right() + 1 + offset.x(),
                         offset.y() >= 0 ? area.top() + offset.y() : area.bottom() + 1 + offset.y());
    QCursor::setPos(pointer);

    QRect menuRect;
    QVERIFY(pressMenuButton(*strip_, [&](QMenu& menu) {
        menuRect = menu.geometry();
        typeInto(menu, {Qt::Key_Escape});
    }));
    QVERIFY2(!menuRect.contains(pointer), "the menu covers the pressed point");
    QCOMPARE(right ? menuRect.left() : menuRect.right(), right ? pointer.x() + 1 : pointer.x() - 1);
    QCOMPARE(below ? menuRect.top() : menuRect.bottom(), below ? pointer.y() + 1 : pointer.y() - 1);
}

void TestForms::keyboardOnTheButtonOpensNothing()
{
    for (const Qt::Key key : {Qt::Key_Space, Qt::Key_Return})
        QVERIFY(!openMenu([&] { QTest::keyClick(child(*strip_, "Command1"), key); }, [](QMenu& menu) { menu.close(); }));
}

void TestForms::copyTakesTheLineAsEdited()
{
    const auto copy = [](QMenu& menu) { typeInto(menu, {Qt::Key_C}); };
    QVERIFY(pressMenuButton(*strip_, copy));
    QCOMPARE(QGuiApplication::clipboard()->text(), today + QStringLiteral("1384/9/18"));

    QTest::keyClicks(child(*strip_, "Text1"), QStringLiteral(" x"));
    QVERIFY(pressMenuButton(*strip_, copy));
    QCOMPARE(QGuiApplication::clipboard()->text(), today + QStringLiteral("1384/9/18 x"));
}

void TestForms::aboutOpensOnceAndEveryWayOutKeepsTheStrip()
{
    const auto about = [](QMenu& menu) { typeInto(menu, {Qt::Key_Down, Qt::Key_Down, Qt::Key_Return}); };
    QSignalSpy quitting(qApp, &QCoreApplication::aboutToQuit);
    const std::function<void(Form3&)> waysOut[] = {
        [](Form3& window) { QTest::mouseClick(child(window, "Command1"), Qt::LeftButton); },
        [](Form3& window) { QTest::keyClick(child(window, "Command1"), Qt::Key_Space); },
        [](Form3& window) { QTest::keyClick(child(window, "Command1"), Qt::Key_Return); },
        [](Form3& window) { QTest::keyClick(child(window, "Command1"), Qt::Key_Enter, Qt::KeypadModifier); },
        [](Form3& window) { QTest::keyClick(&window, Qt::Key_E, Qt::AltModifier); },
        [](Form3& window) { QTest::keyClick(&window, Qt::Key_Escape); },
        [](Form3& window) { window.close(); },  // as the title bar's close button does
    };
    for (const auto& leave : waysOut) {
        QVERIFY(pressMenuButton(*strip_, about));
        QVERIFY(pressMenuButton(*strip_, about));
        QCOMPARE(aboutWindows().size(), 1);
        QPointer<Form3> window = aboutWindows().constFirst();
        QVERIFY(QTest::qWaitForWindowExposed(window.data()));
        QCOMPARE(QApplication::focusWidget(), child(*window, "Command1"));
        leave(*window);
        QTRY_VERIFY(window.isNull());
        QVERIFY(strip_->isVisible());
    }
    QCOMPARE(quitting.count(), 0);
}

void TestForms::stripFollowsTheCalendarDay()
{
    auto* line = child<QLineEdit>(*strip_, "Text1");
    auto* watcher = strip_->findChild<DayWatcher*>();
    emit watcher->dayMayHaveChanged();  // same day: nothing changes
    QCOMPARE(line->text(), today + QStringLiteral("1384/9/18"));

    date_ = QDate(2006, 3, 21);
    emit watcher->dayMayHaveChanged();
    QCOMPARE(line->text(), today + QStringLiteral("1385/1/1"));

    QTest::keyClicks(line, QStringLiteral("!"));  // an edited line is the user's
    date_ = QDate(2006, 3, 22);
    emit watcher->dayMayHaveChanged();
    QCOMPARE(line->text(), today + QStringLiteral("1385/1/1!"));
}

void TestForms::nextDayStartsAtTheFirstInstantOfTheDate_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QDateTime>("now");  // local to the zone
    QTest::addColumn<QDateTime>("expected");
    const auto row = [](const char* name, const char* zone, QDateTime local, const char* utc) {
        local.setTimeZone(QTimeZone(zone));
        QTest::newRow(name) << QByteArray(zone) << local << QDateTime::fromString(QString::fromLatin1(utc), Qt::ISODate);
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

void TestForms::nextDayStartsAtTheFirstInstantOfTheDate()
{
    QFETCH(QDateTime, now);
    QFETCH(QDateTime, expected);
    QCOMPARE(nextDayStart(now).toUTC(), expected);
}

void TestForms::dayWatcherWakesAtItsDeadline()
{
    DayWatcher watcher(nullptr, [] { return QDateTime::currentDateTime().addSecs(1); });
    QSignalSpy woke(&watcher, &DayWatcher::dayMayHaveChanged);
    QVERIFY(woke.wait(5000));
}

void TestForms::secondStartWithoutAnAnswerGivesUp()
{
    // No bus: the strip runs alone.
    QCOMPARE(SingleInstance(QDBusConnection(QStringLiteral("none"))).claim({}), SingleInstance::Claim::NoBus);
    // A holder of the name that cannot answer (it shares this blocked
    // thread) makes a second start give up after its timeout.
    QDBusConnection bus = QDBusConnection::sessionBus();
    QVERIFY2(bus.isConnected(), "run in a D-Bus session, as dbus-run-session gives");
    SingleInstance first(bus);
    QCOMPARE(first.claim({}), SingleInstance::Claim::Owned);
    const QDBusConnection other = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("second"));
    QCOMPARE(SingleInstance(other, 300).claim({}), SingleInstance::Claim::NoAnswer);
    QDBusConnection::disconnectFromBus(QStringLiteral("second"));
    bus.unregisterService(QStringLiteral(VELMORA_APP_ID));
}

void TestForms::persianQtStringsKeepTheStripLeftToRight()
{
    QLocale::setDefault(QLocale(QLocale::Persian, QLocale::Iran));
    StartUp::loadQtTranslations();
    QCoreApplication::processEvents();  // the language change
    QCOMPARE(QCoreApplication::translate("QLineEdit", "&Copy"), QStringLiteral(u"&\u06A9\u067E\u06CC"));
    QCOMPARE(strip_->layoutDirection(), Qt::LeftToRight);
    QVERIFY(child(*strip_, "Command1")->x() > child(*strip_, "Text1")->x());
    QLocale::setDefault(QLocale::c());
}

QTEST_MAIN(TestForms)
#include "tst_forms.moc"
