// Baseline: an empty Qt Widgets window, the floor of any Qt program's start.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.resize(129, 19);
    window.show();
    return app.exec();
}
