#pragma once

#include <QDate>
#include <QWidget>

#include <functional>
#include <memory>

class QLineEdit;
class QPushButton;
class DayWatcher;
class Form2;

// The date strip: "امروز: " and today's Persian date, and ">" for the menu.
class Form1 : public QWidget {
    Q_OBJECT

public:
    using Today = std::function<QDate()>;

    // `today` gives the date to show; by default the system's, in its zone.
    explicit Form1(Today today = {});
    ~Form1() override;

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Form_Load();
    void placeStrip();
    void Command1_MouseDown(QPoint pressed, QPoint inStrip);
    void writeDateLine();
    void followDayChange();

    Today today_;
    QDate shownDate_;
    QString writtenLine_;  // the line as the strip last wrote it
    QLineEdit* Text1;
    QPushButton* Command1;
    QLineEdit* Text2;
    std::unique_ptr<Form2> form2_;  // made on the first press of ">"
    bool layerSurface_ = false;      // placed by a Wayland compositor
    DayWatcher* watcher_;
    bool zoneRead_ = false;          // by name, once the strip was first drawn
};
