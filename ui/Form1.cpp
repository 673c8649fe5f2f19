#include "Form1.h"

#include "DayWatcher.h"
#include "Form2.h"
#include "Module1.h"
#include "Twips.h"

#include <QIcon>
#include <QLineEdit>
#include <QPushButton>

namespace {

// Designed geometry, in twips.
namespace StripGeometry {
constexpr int width = 1935, height = 285;
constexpr int top = 45;                 // client area below the screen's top edge
constexpr int leftFromScreenRight = 3000;
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

QIcon appIcon()
{
    // Naming the format keeps Qt from loading every image plugin to sniff it.
    QIcon icon;
    icon.addPixmap(QPixmap(QStringLiteral(":/velmora-16.png"), "PNG"));
    icon.addPixmap(QPixmap(QStringLiteral(":/velmora-32.png"), "PNG"));
    return icon;
}

}  // namespace

Form1::Form1(Today today)
    // A tool window: no title bar, no taskbar entry, and not kept above others.
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint)
    , today_(std::move(today))
    , Text1(new QLineEdit(this))
    , Command1(new QPushButton(QStringLiteral(">"), this))
    , Text2(new QLineEdit(QStringLiteral("Text2"), this))
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Velmora"));
    setWindowIcon(appIcon());
    setFixedSize(twips(StripGeometry::width), twips(StripGeometry::height));

    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setGeometry(text1Rect);
    Text1->setFont(stripFont());

    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setGeometry(command1Rect);
    Command1->setFont(stripFont());
    // Only a mouse press opens the menu; the button has no click action.
    Command1->installEventFilter(this);

    Text2->setObjectName(QStringLiteral("Text2"));
    Text2->setGeometry(text2Rect);

    setTabOrder(Text1, Command1);
    setTabOrder(Command1, Text2);

    auto* watcher = new DayWatcher(this);
    connect(watcher, &DayWatcher::dayMayHaveChanged, this, &Form1::followDayChange);

    Form_Load();
}

Form1::~Form1() = default;

void Form1::Form_Load()
{
    placeFromScreenTopRight(*this, StripGeometry::leftFromScreenRight, StripGeometry::top);
    writeDateLine();
}

void Form1::writeDateLine()
{
    // Month/day/four-digit year whatever the locale's short date looks like:
    // that is the form the conversion reads.
    shownDate_ = today_();
    Text2->setText(QStringLiteral("%1/%2/%3").arg(shownDate_.month()).arg(shownDate_.day()).arg(shownDate_.year()));
    const std::string persian = Module1::GregorianTextToPersian(Text2->text().toStdString());
    Text1->setText(todayPrefix + QString::fromStdString(persian));
}

void Form1::followDayChange()
{
    // A line the user has edited is theirs until the strip is restarted.
    if (today_() != shownDate_ && !Text1->isModified())
        writeDateLine();
}

bool Form1::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Command1 && event->type() == QEvent::MouseButtonPress) {
        Command1_MouseDown();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::Command1_MouseDown()
{
    if (!form2_)
        form2_ = std::make_unique<Form2>(*Text1);
    form2_->popUp();
}
