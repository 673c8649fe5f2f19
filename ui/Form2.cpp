#include "Form2.h"

#include "Form3.h"
#include "LayerShell.h"
#include "Placement.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>

Form2::Form2(const QLineEdit& dateLine)
    : dateLine_(dateLine)
    , m(new QMenu(QStringLiteral("menu"), this))
    // "&Clipboard " then "كپي متن در " (copy text to); the C is the access key.
    , d(m->addAction(QStringLiteral(u"&Clipboard \u0643\u067E\u064A \u0645\u062A\u0646 \u062F\u0631 ")))
    // "معرفي برنامه" (introducing the program)
    , w(m->addAction(QStringLiteral(u"\u0645\u0639\u0631\u0641\u064A \u0628\u0631\u0646\u0627\u0645\u0647")))
    // "خروج" (exit)
    , e(m->addAction(QStringLiteral(u"\u062E\u0631\u0648\u062C")))
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Form2"));
    m->setObjectName(QStringLiteral("m"));
    d->setObjectName(QStringLiteral("d"));
    w->setObjectName(QStringLiteral("w"));
    e->setObjectName(QStringLiteral("e"));
    connect(d, &QAction::triggered, this, &Form2::d_Click);
    connect(w, &QAction::triggered, this, &Form2::w_Click);
    connect(e, &QAction::triggered, this, &Form2::e_Click);
}

Form2::~Form2()
{
    delete form3_;
}

void Form2::popUp(QPoint pressed, QPoint inStrip)
{
    // Qt's style decides whether a caption must be cut short by measuring it
    // with its access-key "&", but sizes the menu without it: at large
    // desktop fonts the copy caption lost its Persian words to "...". The
    // "&" gets its room, so every caption is whole at any font size.
    m->setMinimumWidth(0);
    const QSize size = m->sizeHint() + QSize(QFontMetrics(m->font()).horizontalAdvance(QLatin1Char('&')), 0);
    m->setMinimumWidth(size.width());
    // From the press itself, in the strip: Wayland tells no client where the
    // pointer is, and where Qt takes a layer surface to be changes with the
    // output it last heard of.
    LayerShell::openBeside(*m, size, *dateLine_.window(), inStrip);
    m->exec(Placement::besidePointer(pressed, size));
    LayerShell::menuClosed(*dateLine_.window());
}

void Form2::d_Click()
{
    QGuiApplication::clipboard()->setText(dateLine_.text());
}

void Form2::w_Click()
{
    if (!form3_)
        form3_ = new Form3;
    form3_->show();
    form3_->raise();
    form3_->activateWindow();
}

void Form2::e_Click()
{
    // Leave through the event loop, so windows are torn down normally and the
    // clipboard is handed to the desktop's clipboard manager on the way out.
    QCoreApplication::exit(0);
}
