#include "Form1.h"

#include "DayWatcher.h"
#include "ErrorReport.h"
#include "Form2.h"
#include "LayerShell.h"
#include "Module1.h"
#include "Picture.h"
#include "Placement.h"
#include "Twips.h"
#include "WindowManager.h"

#include <QGuiApplication>
#include <QCloseEvent>
#include <QIcon>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QWindow>

#include <cstdlib>

namespace {

// Designed geometry, in twips.
namespace StripGeometry {
constexpr int width = 1935, height = 285;
constexpr int top = 45;             // client area below the work area's top edge
constexpr int leftFromRight = 3000;  // left edge from the work area's right edge
}
constexpr QRect text1Rect = twipsRect(0, 0, 1635, 280);
constexpr QRect command1Rect = twipsRect(1680, 0, 255, 280);
constexpr QRect text2Rect = twipsRect(360, 720, 2655, 375);  // below the client area: never seen

// "امروز: " (today:) before the date.
const QString todayPrefix = QStringLiteral(u"\u0627\u0645\u0631\u0648\u0632: ");

QFont stripFont()
{
    // Tahoma where it is installed, otherwise a face that shapes Arabic script.
    QFont font;
    font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("Vazirmatn"), QStringLiteral("Noto Sans Arabic UI"),
                      QStringLiteral("Noto Sans Arabic"), QStringLiteral("DejaVu Sans")});
    font.setPointSizeF(8.25);
    return font;
}

// A line edit lays its text out in the application's font once before it
// takes its own. While the strip's controls are made the application font is
// the strip's, so start-up loads no face that the strip does not show. Set
// at the GUI level, it leaves the desktop's per-class fonts (menus...) alone
// and sends no widget a font change.
class StripFontWhileMaking {
public:
    StripFontWhileMaking()
        : saved_(QGuiApplication::font())
    {
        QGuiApplication::setFont(stripFont());
    }
    ~StripFontWhileMaking() { QGuiApplication::setFont(saved_); }
    StripFontWhileMaking(const StripFontWhileMaking&) = delete;
    StripFontWhileMaking& operator=(const StripFontWhileMaking&) = delete;

private:
    const QFont saved_;
};

QIcon appIcon()
{
    QIcon icon;
    icon.addPixmap(ownPicture(QStringLiteral(":/velmora-16.png"), "png"));
    icon.addPixmap(ownPicture(QStringLiteral(":/velmora-32.png"), "png"));
    return icon;
}

}  // namespace

Form1::Form1(Today today)
    // A tool window: no title bar, no taskbar entry, and not kept above others.
    // The keyboard is the user's: the strip refuses it but at a press into
    // its line (see below).
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus)
    , today_(std::move(today))
{
    // It comes up beside whatever the user is working in, without taking
    // the keyboard from it: keys typed then belong to that window. This asks
    // the window manager not to focus it; managers that focus every window
    // they map all the same (icewm) find it refusing the focus instead.
    setAttribute(Qt::WA_ShowWithoutActivating);
    // Text1 and Command1 in the strip's font; the hidden Text2 keeps the
    // window's, which is the same.
    setFont(stripFont());
    {
        const StripFontWhileMaking making;
        Text1 = new QLineEdit(this);
        Command1 = new QPushButton(QStringLiteral(">"), this);
        // Made empty: its text is today's date from the load on, and a first
        // text that nobody sees would cost the start-up a face to lay it out.
        Text2 = new QLineEdit(this);
    }

    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Velmora"));
    setFixedSize(twips(StripGeometry::width), twips(StripGeometry::height));

    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setGeometry(text1Rect);
    // Left-aligned in a left-to-right strip; a plain AlignLeft would follow
    // the first Persian letter and put the line against the right edge.
    Text1->setAlignment(Qt::AlignLeft | Qt::AlignAbsolute);

    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setGeometry(command1Rect);
    // Only a mouse press opens the menu; the button has no click action. It
    // takes no focus at the press either: the keyboard stays where it was,
    // in the line or in the user's window.
    Command1->installEventFilter(this);
    Command1->setFocusPolicy(Qt::TabFocus);
    lendKeyboardOnlyAtPressInto(*this, *Text1);

    Text2->setObjectName(QStringLiteral("Text2"));
    Text2->setGeometry(text2Rect);
    Text2->setAlignment(Qt::AlignLeft | Qt::AlignAbsolute);

    setTabOrder(Text1, Command1);
    setTabOrder(Command1, Text2);

    watcher_ = new DayWatcher(this);
    if (!today_)
        today_ = [watcher = watcher_] { return watcher->today(); };
    connect(watcher_, &DayWatcher::dayMayHaveChanged, this, &Form1::followDayChange);
    // An edit undone makes the line the strip's again: if the day changed
    // meanwhile, today's date comes in at once. (Queued: the line edit is
    // still handling the key when it tells of the edit.)
    connect(Text1, &QLineEdit::textEdited, this, &Form1::followDayChange, Qt::QueuedConnection);

    // Panels come and go, screens are resized, plugged in and made primary:
    // the strip keeps its place in whatever work area the primary screen has.
    auto* workAreas = new Placement::Watcher(this);
    connect(workAreas, &Placement::Watcher::changed, this, &Form1::placeStrip);

    // On a Wayland desktop with a layer shell the compositor keeps the strip
    // in its place, at the designed distances from the top and right edges.
    layerSurface_ = LayerShell::makeStrip(*this, *Text1, twips(StripGeometry::top),
                                          twips(StripGeometry::leftFromRight - StripGeometry::width));

    Form_Load();
}

Form1::~Form1() = default;

void Form1::Form_Load()
{
    if (!layerSurface_)
        Placement::place(*this, twips(StripGeometry::leftFromRight), twips(StripGeometry::top), true);
    writeDateLine();
}

void Form1::placeStrip()
{
    if (layerSurface_)
        return;
    Placement::place(*this, twips(StripGeometry::leftFromRight), twips(StripGeometry::top));
}

void Form1::writeDateLine()
{
    // Month/day/four-digit year whatever the locale's short date looks like:
    // that is the form the conversion reads.
    shownDate_ = today_();
    Text2->setText(QStringLiteral("%1/%2/%3").arg(shownDate_.month()).arg(shownDate_.day()).arg(shownDate_.year()));
    try {
        const std::string persian = Module1::GregorianTextToPersian(Text2->text().toStdString());
        writtenLine_ = todayPrefix + QString::fromStdString(persian);
        Text1->setText(writtenLine_);
    } catch (const Module1::ConversionError& error) {
        // A date the strip cannot show: say so and end, rather than show a
        // wrong or empty line.
        reportFatalError(QString::fromUtf8(error.what()));
        std::exit(EXIT_FAILURE);
    }
}

void Form1::followDayChange()
{
    // A line the user has edited is theirs until the strip is restarted, or
    // until they undo the edit.
    if (today_() != shownDate_ && Text1->text() == writtenLine_)
        writeDateLine();
}

bool Form1::event(QEvent* event)
{
    // The application's icon, which the about window shows too. Neither
    // title bar nor taskbar shows the strip's; set it after the first paint
    // so it costs nothing before the strip is seen.
    if (event->type() == QEvent::Paint && QGuiApplication::windowIcon().isNull())
        QTimer::singleShot(0, this, [] { QGuiApplication::setWindowIcon(appIcon()); });
    // The system's zone by its name, too, once the strip is drawn.
    if (event->type() == QEvent::Paint && !zoneRead_) {
        zoneRead_ = true;
        QTimer::singleShot(0, watcher_, &DayWatcher::readZone);
    }
    return QWidget::event(event);
}

void Form1::closeEvent(QCloseEvent* event)
{
    // A close from the window manager (Alt+F4, a window list) ends the
    // program as the exit command does: a process without its strip would
    // be out of the user's reach. The strip goes with the program, not
    // before: hidden first, it would hand its line's focus on to itself.
    event->ignore();
    QCoreApplication::exit(0);
}

bool Form1::eventFilter(QObject* watched, QEvent* event)
{
    // A press soon after another on the same spot reaches a widget as a
    // double click instead: it is a press all the same.
    const bool press = event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick;
    if (watched == Command1 && press) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        Command1_MouseDown(mouse->globalPosition().toPoint(), Command1->mapTo(this, mouse->position().toPoint()));
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::Command1_MouseDown(QPoint pressed, QPoint inStrip)
{
    if (!form2_)
        form2_ = std::make_unique<Form2>(*Text1);
    form2_->popUp(pressed, inStrip);
}
