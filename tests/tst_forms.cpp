#include "DayWatcher.h"
#include "Form1.h"
#include "Form3.h"

#include <QtTest>

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>

namespace {

const QString today = QStringLiteral(u"\u0627\u0645\u0631\u0648\u0632: ");

QRect screenRect()
{
    return QGuiApplication::primaryScreen()->geometry();
}

// Presses a mouse button on ">" and hands the menu it pops up to `choose`,
// which must close it. Returns whether a menu was shown at all.
bool pressMenuButton(Form1& strip, Qt::MouseButton button, const std::function<void(QMenu&)>& choose)
{
    bool shown = false;
    QTimer::singleShot(0, &strip, [&] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            shown = true;
            choose(*menu);
        }
    });
    QTest::mousePress(strip.findChild<QPushButton*>(QStringLiteral("Command1")), button);
    QCoreApplication::processEvents();  // let the timer run when no menu blocked
    return shown;
}

void chooseWithKeys(QMenu& menu, std::initializer_list<Qt::Key> keys)
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
    void cleanup();
    void stripSitsAtTheTopRight();
    void stripControlsKeepTheirGeometry_data();
    void stripControlsKeepTheirGeometry();
    void stripShowsTodaysPersianDateWhateverTheLocale_data();
    void stripShowsTodaysPersianDateWhateverTheLocale();
    void stripFontsShapePersian();
    void anyMouseButtonOpensTheMenu_data();
    void anyMouseButtonOpensTheMenu();
    void keyboardOnButtonOpensNothing();
    void copyTakesTheEditedLine();
    void aboutOpensOnceAndClosesAlone();
    void aboutWindowMatchesTheLayout_data();
    void aboutWindowMatchesTheLayout();
    void stripFollowsTheCalendarDay();

private:
    std::unique_ptr<Form1> strip_;
    QDate date_{2005, 12, 9};
};

void TestForms::init()
{
    QApplication::setQuitOnLastWindowClosed(false);
    date_ = QDate(2005, 12, 9);
    strip_ = std::make_unique<Form1>([this] { return date_; });
    strip_->show();
    QVERIFY(QTest::qWaitForWindowExposed(strip_.get()));
}

void TestForms::cleanup()
{
    strip_.reset();
    QLocale::setDefault(QLocale::c());
}

void TestForms::stripSitsAtTheTopRight()
{
    QCOMPARE(strip_->geometry(), QRect(screenRect().right() + 1 - 200, 3, 129, 19));
    QVERIFY(strip_->windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(!(strip_->windowFlags() & Qt::WindowStaysOnTopHint));
    QCOMPARE(strip_->windowTitle(), QStringLiteral("Velmora"));
    const QList<QSize> iconSizes = strip_->windowIcon().availableSizes();
    QVERIFY(iconSizes.contains(QSize(16, 16)) && iconSizes.contains(QSize(32, 32)));
}

void TestForms::stripControlsKeepTheirGeometry_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("rect");
    QTest::addColumn<QString>("next");  // in tab order

    QTest::newRow("Text1") << "Text1" << QRect(0, 0, 109, 19) << "Command1";
    QTest::newRow("Command1") << "Command1" << QRect(112, 0, 17, 19) << "Text2";
    QTest::newRow("Text2 below the strip") << "Text2" << QRect(24, 48, 177, 25) << "Form1";  // then round again
}

void TestForms::stripControlsKeepTheirGeometry()
{
    QFETCH(QString, name);
    QFETCH(QRect, rect);
    QFETCH(QString, next);
    auto* control = strip_->findChild<QWidget*>(name);
    QVERIFY(control);
    QCOMPARE(control->geometry(), rect);
    QCOMPARE(control->nextInFocusChain()->objectName(), next);
}

void TestForms::stripShowsTodaysPersianDateWhateverTheLocale_data()
{
    QTest::addColumn<QString>("locale");
    QTest::newRow("C") << "C";
    QTest::newRow("German, day first") << "de_DE";
    QTest::newRow("Persian digits, year first") << "fa_IR";
}

void TestForms::stripShowsTodaysPersianDateWhateverTheLocale()
{
    QFETCH(QString, locale);
    QLocale::setDefault(QLocale(locale));
    strip_ = std::make_unique<Form1>([] { return QDate(2005, 12, 9); });
    QCOMPARE(strip_->findChild<QLineEdit*>(QStringLiteral("Text2"))->text(), QStringLiteral("12/9/2005"));
    QCOMPARE(strip_->findChild<QLineEdit*>(QStringLiteral("Text1"))->text(), today + QStringLiteral("1384/9/18"));
}

void TestForms::stripFontsShapePersian()
{
    for (const char* name : {"Text1", "Command1"}) {
        const QFontInfo info(strip_->findChild<QWidget*>(QLatin1String(name))->font());
        QVERIFY2(QFontDatabase::writingSystems(info.family()).contains(QFontDatabase::Arabic), qPrintable(info.family()));
        QCOMPARE(info.pointSizeF(), 8.25);
    }
}

void TestForms::anyMouseButtonOpensTheMenu_data()
{
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::newRow("left") << Qt::LeftButton;
    QTest::newRow("right") << Qt::RightButton;
    QTest::newRow("middle") << Qt::MiddleButton;
}

void TestForms::anyMouseButtonOpensTheMenu()
{
    QFETCH(Qt::MouseButton, button);
    QStringList captions;
    const bool shown = pressMenuButton(*strip_, button, [&](QMenu& menu) {
        for (const QAction* action : menu.actions())
            captions << action->objectName() + QLatin1Char('=') + action->text();
        chooseWithKeys(menu, {Qt::Key_Escape});
    });
    QVERIFY(shown);
    QCOMPARE(captions, QStringList({
        QStringLiteral(u"d=&Clipboard \u0643\u067E\u064A \u0645\u062A\u0646 \u062F\u0631 "),
        QStringLiteral(u"w=\u0645\u0639\u0631\u0641\u064A \u0628\u0631\u0646\u0627\u0645\u0647"),
        QStringLiteral(u"e=\u062E\u0631\u0648\u062C"),
    }));
    QVERIFY(aboutWindows().isEmpty());  // Escape chose nothing
}

void TestForms::keyboardOnButtonOpensNothing()
{
    auto* button = strip_->findChild<QPushButton*>(QStringLiteral("Command1"));
    bool shown = false;
    QTimer::singleShot(0, strip_.get(), [&] {
        if (QWidget* popup = QApplication::activePopupWidget()) {
            shown = true;
            popup->close();
        }
    });
    button->setFocus();
    QTest::keyClick(button, Qt::Key_Space);
    QTest::keyClick(button, Qt::Key_Return);
    QCoreApplication::processEvents();
    QVERIFY(!shown);
}

void TestForms::copyTakesTheEditedLine()
{
    auto* line = strip_->findChild<QLineEdit*>(QStringLiteral("Text1"));
    QGuiApplication::clipboard()->clear();
    QVERIFY(pressMenuButton(*strip_, Qt::LeftButton, [](QMenu& menu) { chooseWithKeys(menu, {Qt::Key_C}); }));
    QCOMPARE(QGuiApplication::clipboard()->text(), today + QStringLiteral("1384/9/18"));

    line->setFocus();
    QTest::keyClick(line, Qt::Key_End);
    QTest::keyClicks(line, QStringLiteral(" x"));
    QVERIFY(pressMenuButton(*strip_, Qt::LeftButton, [](QMenu& menu) { chooseWithKeys(menu, {Qt::Key_C}); }));
    QCOMPARE(QGuiApplication::clipboard()->text(), today + QStringLiteral("1384/9/18 x"));
}

void TestForms::aboutOpensOnceAndClosesAlone()
{
    const auto chooseAbout = [](QMenu& menu) { chooseWithKeys(menu, {Qt::Key_Down, Qt::Key_Down, Qt::Key_Return}); };
    QVERIFY(pressMenuButton(*strip_, Qt::LeftButton, chooseAbout));
    QVERIFY(pressMenuButton(*strip_, Qt::LeftButton, chooseAbout));
    QCOMPARE(aboutWindows().size(), 1);

    // Every way out closes only the about window, which opens anew after it.
    QSignalSpy quitting(qApp, &QCoreApplication::aboutToQuit);
    const std::function<void(Form3&)> ways[] = {
        [](Form3& about) { QTest::mouseClick(about.findChild<QPushButton*>(QStringLiteral("Command1")), Qt::LeftButton); },
        [](Form3& about) { QTest::keyClick(about.findChild<QPushButton*>(QStringLiteral("Command1")), Qt::Key_Space); },
        [](Form3& about) { QTest::keyClick(&about, Qt::Key_E, Qt::AltModifier); },
        [](Form3& about) { about.close(); },  // the title bar's close button
    };
    for (const auto& leave : ways) {
        if (aboutWindows().isEmpty())
            QVERIFY(pressMenuButton(*strip_, Qt::LeftButton, chooseAbout));
        QPointer<Form3> about = aboutWindows().value(0);
        QVERIFY(about);
        QVERIFY(QTest::qWaitForWindowExposed(about.data()));
        QCOMPARE(QApplication::focusWidget(), about->findChild<QPushButton*>(QStringLiteral("Command1")));
        leave(*about);
        QTRY_VERIFY(about.isNull());
        QVERIFY(strip_->isVisible());
    }
    QCOMPARE(quitting.count(), 0);
}

void TestForms::aboutWindowMatchesTheLayout_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("rect");
    QTest::addColumn<QColor>("colour");

    const QColor credit(192, 255, 255);
    QTest::newRow("Label6") << "Label6" << QRect(32, 64, 169, 17) << credit;
    QTest::newRow("Label4") << "Label4" << QRect(32, 80, 169, 17) << credit;
    QTest::newRow("Label5") << "Label5" << QRect(32, 96, 169, 17) << credit;
    QTest::newRow("Label8") << "Label8" << QRect(64, 120, 121, 17) << credit;
    QTest::newRow("Label3") << "Label3" << QRect(8, 144, 209, 25) << QColor(192, 255, 192);
    QTest::newRow("Label7") << "Label7" << QRect(104, 176, 49, 17) << QColor(0, 255, 255);
}

void TestForms::aboutWindowMatchesTheLayout()
{
    QFETCH(QString, name);
    QFETCH(QRect, rect);
    QFETCH(QColor, colour);
    Form3 about;
    about.show();
    QCOMPARE(about.geometry(), QRect(screenRect().right() + 1 - 260, 33, 223, 240));
    QCOMPARE(about.windowTitle(), QStringLiteral("about"));
    auto* exit = about.findChild<QPushButton*>(QStringLiteral("Command1"));
    QCOMPARE(exit->geometry(), QRect(88, 208, 65, 25));
    QCOMPARE(exit->text(), QStringLiteral("&Exit"));

    auto* label = about.findChild<QLabel*>(name);
    QVERIFY(label);
    QCOMPARE(label->geometry(), rect);
    QCOMPARE(label->palette().color(QPalette::WindowText), colour);
    QVERIFY(!label->autoFillBackground());
    // Credit lines must fit their box, or the label clips them.
    QVERIFY2(label->heightForWidth(rect.width()) <= rect.height() + 2, qPrintable(label->text()));
    if (name == QLatin1String("Label7"))
        QCOMPARE(label->text(), QStringLiteral("V 1.5"));
}

void TestForms::stripFollowsTheCalendarDay()
{
    auto* line = strip_->findChild<QLineEdit*>(QStringLiteral("Text1"));
    auto* watcher = strip_->findChild<DayWatcher*>();
    QVERIFY(watcher);

    emit watcher->dayMayHaveChanged();  // a wake-up within the same day changes nothing
    QCOMPARE(line->text(), today + QStringLiteral("1384/9/18"));

    date_ = QDate(2006, 3, 21);
    emit watcher->dayMayHaveChanged();
    QCOMPARE(line->text(), today + QStringLiteral("1385/1/1"));
    QCOMPARE(strip_->findChild<QLineEdit*>(QStringLiteral("Text2"))->text(), QStringLiteral("3/21/2006"));

    // An edited line is left alone.
    QTest::keyClicks(line, QStringLiteral("!"));
    date_ = QDate(2006, 3, 22);
    emit watcher->dayMayHaveChanged();
    QVERIFY(line->text().endsWith(QLatin1Char('!')));
}

QTEST_MAIN(TestForms)
#include "tst_forms.moc"
