#pragma once

#include <QPixmap>
#include <QWidget>

class QPushButton;

// The about window; it deletes itself when closed.
class Form3 : public QWidget {
    Q_OBJECT

public:
    Form3();

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Form_Load();
    void Command1_Click();

    const QPixmap picture_;
    QPushButton* const Command1;
    bool framed_ = false;
};
