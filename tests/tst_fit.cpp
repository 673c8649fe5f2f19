#include "Form2.h"
#include "Form3.h"
#include "WidgetTest.h"

#include <QtTest>

#include <QLabel>
#include <QLineEdit>

// Texts are drawn whole, never cut off or shortened: every credit line of
// the about window inside its box, in each of the desktop faces a user is
// likely to have, and every menu caption at any desktop font size. Run at
// several scale factors (QT_SCALE_FACTOR) and font sets by the test suite.
class TestFit : public QObject {
    Q_OBJECT

private slots:
    void creditLinesFitTheirBoxes_data();
    void creditLinesFitTheirBoxes();
    void menuCaptionsAreWhole_data();
    void menuCaptionsAreWhole();
};

void TestFit::creditLinesFitTheirBoxes_data()
{
    QTest::addColumn<QString>("face");
    QTest::addColumn<int>("pointSize");
    QTest::addColumn<qreal>("smallestPointSize");
    // The common faces show every line at the designed 8 pt; a wide face with
    // tall lines has its notice shrunk until it fits.
    for (const int size : {9, 10}) {
        for (const char* face : {"DejaVu Sans", "Noto Sans", "Liberation Sans", "Cantarell"})
            QTest::addRow("%s %d pt", face, size) << QString::fromLatin1(face) << size << 8.0;
        QTest::addRow("Nimbus Mono PS %d pt", size) << QStringLiteral("Nimbus Mono PS") << size << 6.0;
    }
}

void TestFit::creditLinesFitTheirBoxes()
{
    QFETCH(QString, face);
    QFETCH(int, pointSize);
    QFETCH(qreal, smallestPointSize);
    QApplication::setFont(QFont(face, pointSize));
    Form3 window;

    for (const QLabel* label : window.findChildren<QLabel*>()) {
        // Fontconfig may name the foundry too: "Nimbus Mono PS [urw]".
        QVERIFY2(QFontInfo(label->font()).family().section(QStringLiteral(" ["), 0, 0) == face, qPrintable(face + QStringLiteral(" is not installed")));
        QVERIFY2(label->font().pointSizeF() >= smallestPointSize,
                 qPrintable(label->objectName() + QStringLiteral(" shrank to %1 pt").arg(label->font().pointSizeF())));

        // The text as the label lays it out, but unclipped: any ink outside
        // the box would be cut off.
        const qreal ratio = label->devicePixelRatioF();
        const QRect ink = inkOfText(label->text(), int(label->alignment()) | Qt::TextWordWrap, label->font(),
                                    label->size(), ratio);
        const QRect box(QPoint(), label->size() * ratio);
        QVERIFY2(box.contains(ink), qPrintable(QStringLiteral("%1: ink to %2,%3 in a %4x%5 box at %6 pt")
            .arg(label->objectName()).arg(ink.right()).arg(ink.bottom()).arg(box.width()).arg(box.height())
            .arg(label->font().pointSizeF())));
    }
}

void TestFit::menuCaptionsAreWhole_data()
{
    QTest::addColumn<int>("pointSize");
    for (int size = 8; size <= 24; ++size)
        QTest::addRow("%d pt", size) << size;
}

void TestFit::menuCaptionsAreWhole()
{
    QFETCH(int, pointSize);
    QFont desktopFont = QApplication::font();
    desktopFont.setPointSize(pointSize);
    QApplication::setFont(desktopFont);

    QLineEdit line;
    Form2 form2(line);
    QImage shown;
    QMenu* menu = nullptr;
    QVERIFY(openMenu([&] { form2.popUp(QPoint(50, 50), QPoint(50, 50)); }, [&](QMenu& opened) {
        menu = &opened;
        shown = opened.grab().toImage().convertToFormat(QImage::Format_RGB32);
        opened.close();
    }));

    const qreal ratio = shown.devicePixelRatio();
    for (QAction* item : menu->actions()) {
        // The caption as the menu drew it, against the caption drawn alone,
        // unclipped, in the menu's font: as wide, so nothing of it was cut
        // off or shortened ("..." for two letters is some 6 px narrower).
        // At a fractional scale the glyphs may land a device pixel apart.
        // The item without three logical pixels at its edges, where the
        // menu's frame may run; its background is its middle row's first pixel.
        const QRect area = menu->actionGeometry(item);
        const int edge = qCeil(3 * ratio);
        const QImage row = shown.copy(QRect(area.topLeft() * ratio, area.size() * ratio).adjusted(edge, edge, -edge, -edge));
        const QRgb background = row.pixel(0, row.height() / 2);
        const QRect drawn = inkOf(row, background);
        const QRect needed = inkOfText(item->text(), Qt::TextShowMnemonic, menu->font(), area.size(), ratio, background,
                                       menu->palette().color(QPalette::Text));
        QVERIFY2(qAbs(drawn.width() - needed.width()) <= (ratio == int(ratio) ? 0 : 1),
                 qPrintable(QStringLiteral("\"%1\" drawn %2 px wide, needs %3 px")
                                .arg(item->text()).arg(drawn.width()).arg(needed.width())));
    }
}

QTEST_MAIN(TestFit)
#include "tst_fit.moc"
