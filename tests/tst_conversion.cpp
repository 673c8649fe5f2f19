#include "Module1.h"

#include <QtTest>

using Module1::ConversionError;
using Module1::ErrorKind;

namespace {

struct Date {
    int y, m, d;
    bool operator==(const Date&) const = default;
};

Date toPersian(Date date)
{
    Module1::GregorianToPersian(date.y, date.m, date.d);
    return date;
}

int persianMonthLength(int y, int m)
{
    const bool leap = ((25 * y + 11) % 33 + 33) % 33 < 8;
    return m <= 6 ? 31 : m <= 11 ? 30 : leap ? 30 : 29;
}

int gregorianMonthLength(int y, int m)
{
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 ? (leap ? 29 : 28) : m == 4 || m == 6 || m == 9 || m == 11 ? 30 : 31;
}

}  // namespace

class TestConversion : public QObject {
    Q_OBJECT

private slots:
    void convertsDateText_data();
    void convertsDateText();
    void refusesMalformedTextInReadingOrder_data();
    void refusesMalformedTextInReadingOrder();
    void everyDayFollowsTheCalendar();
};

void TestConversion::convertsDateText_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("persian");
    const char* const rows[][2] = {
        {"12/9/2005", "1384/9/18"}, {" 12 / 09 / +2005 ", "1384/9/18"},  // blanks, zeros and signs
        {"1/1/2005", "1383/10/12"}, {"2/19/2005", "1383/12/1"},
        {"3/20/2005", "1383/12/30"}, {"3/21/2005", "1384/1/1"},         // leap Esfand, then Nowruz
        {"2/29/2004", "1382/12/10"}, {"3/1/2004", "1382/12/11"}, {"3/20/2004", "1383/1/1"},
        {"2/29/2000", "1378/12/10"}, {"12/31/2000", "1379/10/11"}, {"1/1/2001", "1379/10/12"},
        {"4/31/2000", "1379/2/12"}, {"0/5/2005", "1383/9/15"}, {"13/1/2005", "1384/10/11"},  // roll-over
        {"3/0/2005", "1383/12/10"}, {"3/0/2004", "1382/12/10"}, {"25/1/2005", "1385/10/11"},
        {"32767/1/2005", "4114/4/10"}, {"1/32767/2005", "1473/6/27"}, {"1/-32768/2005", "1294/1/25"},
        {"3/20/2025", "1403/12/30"}, {"3/21/2025", "1404/1/1"},
        {"1/1/00", "1378/10/11"}, {"5/6/99", "1378/2/16"}, {"5/6/05", "1284/2/16"},       // short years
        {"2005/12/9", "1454/10/22"},                                                        // read month first
        // Nowruz as observed in Iran.
        {"3/21/1975", "1354/1/1"}, {"3/20/1996", "1375/1/1"}, {"3/21/2017", "1396/1/1"},
        {"3/20/2020", "1399/1/1"}, {"3/20/2024", "1403/1/1"}, {"3/21/2026", "1405/1/1"},
    };
    for (const auto& [text, persian] : rows)
        QTest::newRow(text) << QByteArray(text) << QByteArray(persian);
}

void TestConversion::convertsDateText()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, persian);
    QCOMPARE(QByteArray::fromStdString(Module1::GregorianTextToPersian(text.toStdString())), persian);
}

void TestConversion::refusesMalformedTextInReadingOrder_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("message");  // checked where given
    const auto row = [](const char* text, ErrorKind kind, const char* message = "") {
        QTest::newRow(text) << QByteArray(text) << int(kind) << QString::fromUtf8(message);
    };
    row("12-9-2005", ErrorKind::InvalidArgument, R"(date text "12-9-2005" has no "/"; expected month/day/year)");
    row("", ErrorKind::InvalidArgument);
    row("12/2005", ErrorKind::InvalidArgument, R"(date text "12/2005" has only one "/"; expected month/day/year)");
    row("a/2005", ErrorKind::TypeMismatch, R"("a" is not a whole number in date text "a/2005")");
    row("12//2005", ErrorKind::TypeMismatch, R"("" is not a whole number in date text "12//2005")");
    row("12/9/1/2005", ErrorKind::TypeMismatch, R"("9/1" is not a whole number in date text "12/9/1/2005")");
    row("12/9/ ", ErrorKind::TypeMismatch);
    row("12/9.5/2005", ErrorKind::TypeMismatch);
    row("12/99999x/2005", ErrorKind::TypeMismatch);  // junk, however long, is no overflow
    row("a/9/99999", ErrorKind::TypeMismatch);       // month is read before year
    row("1/40000/2005", ErrorKind::Overflow, R"("40000" is outside -32768..32767 in date text "1/40000/2005")");
    row("-32769/1/2005", ErrorKind::Overflow);
    row("1/99999/x", ErrorKind::Overflow);  // day is read before year
    row("\x1b[2J/1/2005", ErrorKind::TypeMismatch,
        R"("\x1b[2J" is not a whole number in date text "\x1b[2J/1/2005")");
}

void TestConversion::refusesMalformedTextInReadingOrder()
{
    QFETCH(QByteArray, text);
    QFETCH(int, kind);
    QFETCH(QString, message);
    try {
        Module1::GregorianTextToPersian(text.toStdString());
        QFAIL("malformed date text was converted");
    } catch (const ConversionError& error) {
        QCOMPARE(int(error.kind()), kind);
        if (!message.isEmpty())
            QCOMPARE(QString::fromUtf8(error.what()), message);
    }
}

void TestConversion::everyDayFollowsTheCalendar()
{
    // 1600 to 2700, day by day: each Persian date is the one after the day
    // before, so every month and year has its right length and leap years
    // fall where (25y + 11) mod 33 < 8 puts them.
    Date previous = toPersian({1599, 12, 31});
    for (int y = 1600; y <= 2700; ++y) {
        for (int m = 1; m <= 12; ++m) {
            for (int d = 1; d <= gregorianMonthLength(y, m); ++d) {
                const Date p = toPersian({y, m, d});
                Date next{previous.y, previous.m, previous.d + 1};
                if (next.d > persianMonthLength(previous.y, previous.m))
                    next = previous.m == 12 ? Date{previous.y + 1, 1, 1} : Date{previous.y, previous.m + 1, 1};
                if (!(p == next))
                    QFAIL(qPrintable(QStringLiteral("%1-%2-%3 gave %4/%5/%6").arg(y).arg(m).arg(d).arg(p.y).arg(p.m).arg(p.d)));
                previous = p;
            }
        }
    }
}

QTEST_APPLESS_MAIN(TestConversion)
#include "tst_conversion.moc"
