#pragma once

#include <QPointer>
#include <QWidget>

class QLineEdit;
class QMenu;
class QAction;
class Form3;

// Never shown: it carries the strip's command menu.
class Form2 : public QWidget {
    Q_OBJECT

public:
    explicit Form2(const QLineEdit& dateLine);
    ~Form2() override;

    // Shows the menu beside the point pressed, given on the screen and in the
    // strip; returns after the chosen command has run.
    void popUp(QPoint pressed, QPoint inStrip);

private:
    void d_Click();
    void w_Click();
    void e_Click();

    const QLineEdit& dateLine_;
    QMenu* const m;
    QAction* const d;
    QAction* const w;
    QAction* const e;
    QPointer<Form3> form3_;  // the about window while it is open
};
