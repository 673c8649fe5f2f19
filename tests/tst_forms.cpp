#include "DayWatcher.h"
#include "ErrorReport.h"
#include "Form1.h"
#include "Form3.h"
#include "Locale.h"
#include "WidgetTest.h"

#include <QtTest>

#include <QClipboard>
#include <QFontDatabase>
#include <QLineEdit>
#include <QScreen>

#include <poll.h>
#include <sys/wait.h>
#include <ucontext.h>
#include <unistd.h>

#include <cstdlib>
#include <new>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ADDRESS_SANITIZER 1
#endif
#endif
#ifndef ADDRESS_SANITIZER
#define ADDRESS_SANITIZER 0
#endif

// Allocations left before the next one fails, in a test's child process;
// negative: none fails. Counts the allocations made meanwhile.
long allocationsLeft = -1;
long allocations = 0;

void* operator new(std::size_t size)
{
    ++allocations;
    if (allocationsLeft == 0)
        throw std::bad_alloc();
    if (allocationsLeft > 0)
        --allocationsLeft;
    if (void* memory = std::malloc(size ? size : 1))
        return memory;
    throw std::bad_alloc();
}
// Not inlined: where the compiler sees free() meet new, it warns of a mismatch.
[[gnu::noinline]] void operator delete(void* memory) noexcept
{
    std::free(memory);
}
[[gnu::noinline]] void operator delete(void* memory, std::size_t) noexcept
{
    std::free(memory);
}

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
    void keyboardOnTheButtonOpensNothing();
    void everyPressOpensTheMenuHoweverQuick();
    void copyTakesTheLineAsEdited();
    void aboutOpensOnceAndEveryWayOutKeepsTheStrip_data();
    void aboutOpensOnceAndEveryWayOutKeepsTheStrip();
    void stripFollowsTheCalendarDay();
    void stripAndMenuReadFromTheLeftWithQtInPersian();
    void memoryRunningOutWhileTheStripIsMadeEndsWithOneLine();

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

void TestForms::keyboardOnTheButtonOpensNothing()
{
    for (const Qt::Key key : {Qt::Key_Space, Qt::Key_Return})
        QVERIFY(!openMenu([&] { QTest::keyClick(child(*strip_, "Command1"), key); }, [](QMenu& menu) { menu.close(); }));
}

void TestForms::everyPressOpensTheMenuHoweverQuick()
{
    // The second of two quick presses comes as a double click.
    const auto close = [](QMenu& menu) { menu.close(); };
    QVERIFY(pressMenuButton(*strip_, close));
    QWidget* button = child(*strip_, "Command1");
    QMouseEvent secondPress(QEvent::MouseButtonDblClick, QPointF(button->rect().center()),
                            button->mapToGlobal(QPointF(button->rect().center())), Qt::LeftButton, Qt::LeftButton,
                            Qt::NoModifier);
    QVERIFY(openMenu([&] { QApplication::sendEvent(button, &secondPress); }, close));
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

void TestForms::aboutOpensOnceAndEveryWayOutKeepsTheStrip_data()
{
    // A key on the Exit button, or on the window (Alt+E, Escape); none: a
    // click on Exit; the title bar's close button: a close.
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("onButton");
    QTest::newRow("a click on Exit") << 0 << true;
    QTest::newRow("Return") << int(Qt::Key_Return) << true;
    QTest::newRow("Alt+E") << int(Qt::Key_E) << false;
    QTest::newRow("Escape") << int(Qt::Key_Escape) << false;
    QTest::newRow("the title bar's close button") << 0 << false;
}

void TestForms::aboutOpensOnceAndEveryWayOutKeepsTheStrip()
{
    QFETCH(int, key);
    QFETCH(bool, onButton);
    const auto about = [](QMenu& menu) { typeInto(menu, {Qt::Key_Down, Qt::Key_Down, Qt::Key_Return}); };
    QSignalSpy quitting(qApp, &QCoreApplication::aboutToQuit);
    QVERIFY(pressMenuButton(*strip_, about));
    QVERIFY(pressMenuButton(*strip_, about));
    QCOMPARE(aboutWindows().size(), 1);
    QPointer<Form3> window = aboutWindows().constFirst();
    QVERIFY(QTest::qWaitForWindowExposed(window.data()));
    QWidget* exit = child(*window, "Command1");
    QCOMPARE(QApplication::focusWidget(), exit);
    QVERIFY2(window->grab().toImage().pixelColor(2, 2) != window->palette().color(QPalette::Window), "no picture in the about window");
    if (key == 0)
        onButton ? QTest::mouseClick(exit, Qt::LeftButton) : void(window->close());
    else
        QTest::keyClick(onButton ? exit : window.data(), Qt::Key(key),
                        key == Qt::Key_E ? Qt::AltModifier : Qt::NoModifier);
    QTRY_VERIFY(window.isNull());
    QVERIFY(strip_->isVisible());
    QCOMPARE(quitting.count(), 0);
}

void TestForms::stripFollowsTheCalendarDay()
{
    auto* line = child<QLineEdit>(*strip_, "Text1");
    auto* watcher = strip_->findChild<DayWatcher*>();
    date_ = QDate(2006, 3, 21);
    emit watcher->dayMayHaveChanged();
    QCOMPARE(line->text(), today + QStringLiteral("1385/1/1"));

    QTest::keyClicks(line, QStringLiteral("!"));  // an edited line is the user's
    date_ = QDate(2006, 3, 22);
    emit watcher->dayMayHaveChanged();
    QCOMPARE(line->text(), today + QStringLiteral("1385/1/1!"));

    QTest::keyClick(line, Qt::Key_Backspace);  // until the edit is undone: then today comes in at once
    QTRY_COMPARE(line->text(), today + QStringLiteral("1385/1/2"));
}

void TestForms::stripAndMenuReadFromTheLeftWithQtInPersian()
{
    // Persian is shaped, not drawn as boxes.
    QVERIFY(QTest::qWaitForWindowExposed(strip_.get()));
    QTRY_COMPARE(strip_->windowIcon().availableSizes(), QList<QSize>({{16, 16}, {32, 32}}));  // after the first paint
    for (const char* name : {"Text1", "Command1"}) {
        const QFontInfo font(child(*strip_, name)->font());
        QVERIFY2(QFontDatabase::writingSystems(font.family()).contains(QFontDatabase::Arabic), qPrintable(font.family()));
    }
    // Qt's Persian strings make it a right-to-left application; the line and
    // the menu's captions stay against their left edges, as designed (a line
    // that starts with a Persian letter would go right if left to Qt). Last:
    // Qt stays in Persian.
    QLocale::setDefault(QLocale(QLocale::Persian, QLocale::Iran));
    loadQtTranslations();
    QLocale::setDefault(QLocale::c());
    QCoreApplication::processEvents();  // the language change
    auto* line = child<QLineEdit>(*strip_, "Text1");
    line->setFrame(false);
    const QRect lineInk = inkOf(line->grab().toImage().convertToFormat(QImage::Format_RGB32),
                               line->palette().color(QPalette::Base).rgb());
    QVERIFY2(lineInk.left() < line->width() - 1 - lineInk.right(), "the line is not against its left edge");
    QRect item, ink;
    QVERIFY(pressMenuButton(*strip_, [&](QMenu& menu) {
        const QImage shown = menu.grab().toImage().convertToFormat(QImage::Format_RGB32);
        // The shortest caption, inside its item, off the menu's frame; its
        // background is its middle row's first pixel.
        item = menu.actionGeometry(menu.actions().constLast()).adjusted(3, 3, -3, -3);
        const QImage row = shown.copy(QRect(item.topLeft() * shown.devicePixelRatio(), item.size() * shown.devicePixelRatio()));
        ink = inkOf(row, row.pixel(0, row.height() / 2));
        typeInto(menu, {Qt::Key_Escape});
    }));
    QVERIFY2(ink.left() < item.width() - ink.right(), qPrintable(QStringLiteral("caption at %1..%2 of %3")
                                                                   .arg(ink.left()).arg(ink.right()).arg(item.width())));
}

void TestForms::memoryRunningOutWhileTheStripIsMadeEndsWithOneLine()
{
#if defined(__SANITIZE_ADDRESS__) || ADDRESS_SANITIZER
    QSKIP("the sanitizer's allocator stands in for the one this test makes fail");
#endif
    strip_.reset();
    const auto today = [] { return QDate(2005, 12, 9); };
    const long before = allocations;
    Form1(today).show();
    const long made = allocations - before;
    // One allocation fails, at points spread over the making of the strip:
    // each time the process ends with status 1 and the one line, at once.
    for (long failing = 0; failing < made; failing += made / 20 + 1) {
        int said[2];
        QVERIFY(::pipe(said) == 0);
        const pid_t child = ::fork();
        if (child == 0) {
            // On a stack of its own, where nothing catches, as in the
            // program: the test runner's handlers are on this one.
            ::dup2(said[1], STDERR_FILENO);
            endOnUncaughtException();
            static ucontext_t runner, making;
            constexpr std::size_t stackSize = 8 << 20;
            ::getcontext(&making);
            making.uc_stack = {std::malloc(stackSize), 0, stackSize};
            making.uc_link = &runner;
            ::makecontext(&making, [] {
                Form1([] { return QDate(2005, 12, 9); }).show();
                std::_Exit(0);
            }, 0);
            allocationsLeft = failing;
            ::swapcontext(&runner, &making);
        }
        ::close(said[1]);
        // What it says until it ends, for up to 10 s.
        QByteArray text;
        char buffer[256];
        pollfd readable{said[0], POLLIN, 0};
        for (ssize_t length = 1; length > 0 && ::poll(&readable, 1, 10000) == 1;)
            text.append(buffer, std::max<ssize_t>(length = ::read(said[0], buffer, sizeof buffer), 0));
        ::close(said[0]);
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == 1 && text == "velmora: out of memory\n",
                 qPrintable(QStringLiteral("allocation %1 of %2 failing: status %3, said \"%4\"")
                                .arg(failing).arg(made).arg(status).arg(QString::fromLocal8Bit(text))));
    }
}

QTEST_MAIN(TestForms)
#include "tst_forms.moc"
