#include "Form3.h"

#include <QtTest>

#include <QLabel>
#include <QPainter>

// Every credit line of the about window is drawn whole inside its box, in
// each of the desktop faces a user is likely to have, at the sizes desktops
// use. Run at several scale factors (QT_SCALE_FACTOR) by the test suite.
class TestCredits : public QObject {
    Q_OBJECT

private slots:
    void creditLinesFitTheirBoxes_data();
    void creditLinesFitTheirBoxes();
};

void TestCredits::creditLinesFitTheirBoxes_data()
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

void TestCredits::creditLinesFitTheirBoxes()
{
    QFETCH(QString, face);
    QFETCH(int, pointSize);
    QFETCH(qreal, smallestPointSize);
    QApplication::setFont(QFont(face, pointSize));
    Form3 window;
    QCOMPARE(window.findChild<QLabel*>(QStringLiteral("Label7"))->text(), QStringLiteral("V 1.5"));

    for (const QLabel* label : window.findChildren<QLabel*>()) {
        // Fontconfig may name the foundry too: "Nimbus Mono PS [urw]".
        QVERIFY2(QFontInfo(label->font()).family().section(QStringLiteral(" ["), 0, 0) == face, qPrintable(face + QStringLiteral(" is not installed")));
        QVERIFY2(label->font().pointSizeF() >= smallestPointSize,
                 qPrintable(label->objectName() + QStringLiteral(" shrank to %1 pt").arg(label->font().pointSizeF())));

        // Draw the text as the label lays it out, but unclipped, on a canvas
        // three times the box; any ink outside the box would be cut off.
        const qreal ratio = label->devicePixelRatioF();
        QImage canvas(label->size() * 3 * ratio, QImage::Format_ARGB32_Premultiplied);
        canvas.setDevicePixelRatio(ratio);
        canvas.fill(Qt::transparent);
        {
            QPainter painter(&canvas);
            painter.setFont(label->font());
            painter.drawText(QRect(QPoint(), label->size()),
                             int(label->alignment()) | Qt::TextWordWrap | Qt::TextDontClip, label->text());
        }
        QRect ink;
        for (int y = 0; y < canvas.height(); ++y)
            for (int x = 0; x < canvas.width(); ++x)
                if (qAlpha(canvas.pixel(x, y)) != 0)
                    ink |= QRect(x, y, 1, 1);
        const QRect box(QPoint(), label->size() * ratio);
        QVERIFY2(box.contains(ink), qPrintable(QStringLiteral("%1: ink %2x%3 in a %4x%5 box at %6 pt")
                                                   .arg(label->objectName())
                                                   .arg(ink.right() + 1).arg(ink.bottom() + 1)
                                                   .arg(box.width()).arg(box.height())
                                                   .arg(label->font().pointSizeF())));
    }
}

QTEST_MAIN(TestCredits)
#include "tst_credits.moc"
