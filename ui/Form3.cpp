#include "Form3.h"

#include "Picture.h"
#include "Placement.h"
#include "Project.h"
#include "Twips.h"
#include "WindowManager.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>

namespace {

namespace AboutGeometry {
constexpr int width = 3345, height = 3600;
constexpr int top = 495;             // client area below the work area's top edge
constexpr int leftFromRight = 3900;  // left edge from the work area's right edge
}
constexpr QRect command1Rect = twipsRect(1320, 3120, 975, 375);

struct Credit {
    const char* name;
    QRect rect;
    QRgb colour;
    const char* text;
};

// In tab order; the labels take no focus, the order is kept for access keys.
constexpr Credit credits[] = {
    {"Label8", twipsRect(960, 1800, 1815, 255), qRgb(192, 255, 255), "The Velmora team"},
    {"Label7", twipsRect(1560, 2640, 735, 255), qRgb(0, 255, 255), "V " VELMORA_SHORT_VERSION},
    {"Label6", twipsRect(480, 960, 2535, 255), qRgb(192, 255, 255), "velmora.example.org"},
    {"Label5", twipsRect(480, 1440, 2535, 255), qRgb(192, 255, 255), "velmora@example.org"},
    {"Label4", twipsRect(480, 1200, 2535, 255), qRgb(192, 255, 255), "example.org/velmora"},
    {"Label3", twipsRect(120, 2160, 3135, 375), qRgb(192, 255, 192),
     "\u00A9 2026 Velmora team \u00B7 MIT licence"},
};

// The designed size of the credit lines, and the least they may shrink to.
constexpr qreal creditPointSize = 8, smallestCreditPointSize = 5;

// The boxes are fixed, the desktop's face is not: a face with wide letters or
// tall lines would cut a credit line off. Shrinks the label's font until its
// text, wrapped as the label wraps it, fits its box whole.
void fitToBox(QLabel& label)
{
    QFont font = label.font();
    const QRect box(QPoint(), label.size());
    const auto fits = [&] {
        const QRect needed = QFontMetrics(font, &label).boundingRect(box, int(label.alignment()) | Qt::TextWordWrap,
                                                                     label.text());
        return box.contains(needed);
    };
    while (!fits() && font.pointSizeF() > smallestCreditPointSize)
        font.setPointSizeF(font.pointSizeF() - 0.25);
    label.setFont(font);
}

}  // namespace

Form3::Form3()
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , picture_(ownPicture(QStringLiteral(":/about.jpg"), "jpeg"))
    , Command1(new QPushButton(QStringLiteral("&Exit"), this))
{
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("about"));
    setAttribute(Qt::WA_DeleteOnClose);
    // Once active, above the strip and whole.
    keepOutOfTheGroup(*this);
    setFixedSize(twips(AboutGeometry::width), twips(AboutGeometry::height));
    // The desktop's face at the size the credit boxes were laid out for.
    QFont font = this->font();
    font.setPointSizeF(creditPointSize);
    setFont(font);

    for (const Credit& credit : credits) {
        auto* label = new QLabel(QString::fromUtf8(credit.text), this);
        label->setObjectName(QString::fromLatin1(credit.name));
        label->setGeometry(credit.rect);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setWordWrap(true);
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, QColor(credit.colour));
        label->setPalette(palette);
        fitToBox(*label);
    }

    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setGeometry(command1Rect);
    Command1->setFocus();
    Command1->setAutoDefault(true);  // Return and Enter press it, as Space does
    connect(Command1, &QPushButton::clicked, this, &Form3::Command1_Click);

    Form_Load();
}

void Form3::Form_Load()
{
    Placement::place(*this, twips(AboutGeometry::leftFromRight), twips(AboutGeometry::top));
}

void Form3::Command1_Click()
{
    close();
}

void Form3::keyPressEvent(QKeyEvent* event)
{
    // Escape leaves, as it leaves any dialog.
    if (event->key() == Qt::Key_Escape)
        Command1_Click();
    else
        QWidget::keyPressEvent(event);
}

void Form3::paintEvent(QPaintEvent*)
{
    // The frame is known only once the window manager has put one around the
    // window: then its left edge is moved to the designed place.
    if (!framed_ && frameGeometry() != geometry()) {
        framed_ = true;
        Form_Load();
    }
    // Unscaled from the top-left corner; the client area cuts off its last row.
    QPainter(this).drawPixmap(0, 0, picture_);
}
