#include "Module1.h"

#include <QtTest>

using Module1::ConversionError;
using Module1::ErrorKind;

Q_DECLARE_METATYPE(Module1::ErrorKind)

namespace {

std::string convert(const QByteArray& text)
{
    return Module1::GregorianTextToPersian(std::string_view(text.constData(), std::size_t(text.size())));
}

// Plain Gregorian day stepping, independent of the day-number arithmetic under test.
bool gregorianLeap(int y)
{
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int gregorianMonthLength(int y, int m)
{
    static constexpr int lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && gregorianLeap(y) ? 29 : lengths[m - 1];
}

bool persianLeap(int y)
{
    return ((25 * y + 11) % 33 + 33) % 33 < 8;
}

int persianMonthLength(int y, int m)
{
    return m <= 6 ? 31 : m <= 11 ? 30 : persianLeap(y) ? 30 : 29;
}

struct Triple {
    int y, m, d;
    bool operator==(const Triple&) const = default;
};

Triple toPersian(Triple t)
{
    Module1::GregorianToPersian(t.y, t.m, t.d);
    return t;
}

}  // namespace

class TestConversion : public QObject {
    Q_OBJECT

private slots:
    void convertsDateText_data();
    void convertsDateText();
    void reportsErrorsInReadingOrder_data();
    void reportsErrorsInReadingOrder();
    void survivesArbitraryBytes();
    void rollsOverLikeADateSerial_data();
    void rollsOverLikeADateSerial();
    void everyDayFollowsTheCalendar();
    void nowruzFallsOnKnownDates_data();
    void nowruzFallsOnKnownDates();
};

void TestConversion::convertsDateText_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("persian");

    QTest::newRow("9 Dec 2005") << QByteArray("12/9/2005") << QByteArray("1384/9/18");
    QTest::newRow("leading zero") << QByteArray("12/09/2005") << QByteArray("1384/9/18");
    QTest::newRow("blanks everywhere") << QByteArray(" 12 / 9 / 2005 ") << QByteArray("1384/9/18");
    QTest::newRow("explicit sign") << QByteArray("+12/+9/+2005") << QByteArray("1384/9/18");
    QTest::newRow("1 Jan 2005") << QByteArray("1/1/2005") << QByteArray("1383/10/12");
    QTest::newRow("Bahman starts") << QByteArray("1/20/2005") << QByteArray("1383/11/1");
    QTest::newRow("Esfand starts") << QByteArray("2/19/2005") << QByteArray("1383/12/1");
    QTest::newRow("leap Esfand 30") << QByteArray("3/20/2005") << QByteArray("1383/12/30");
    QTest::newRow("Nowruz 1384") << QByteArray("3/21/2005") << QByteArray("1384/1/1");
    QTest::newRow("Mehr 30") << QByteArray("10/22/2005") << QByteArray("1384/7/30");
    QTest::newRow("Aban 1") << QByteArray("10/23/2005") << QByteArray("1384/8/1");
    QTest::newRow("Dey 1") << QByteArray("12/22/2005") << QByteArray("1384/10/1");
    QTest::newRow("29 Feb 2004") << QByteArray("2/29/2004") << QByteArray("1382/12/10");
    QTest::newRow("1 Mar 2004") << QByteArray("3/1/2004") << QByteArray("1382/12/11");
    QTest::newRow("Nowruz 1383") << QByteArray("3/20/2004") << QByteArray("1383/1/1");
    QTest::newRow("29 Feb 2000") << QByteArray("2/29/2000") << QByteArray("1378/12/10");
    QTest::newRow("Nowruz 1379") << QByteArray("3/20/2000") << QByteArray("1379/1/1");
    QTest::newRow("31 Dec 2000") << QByteArray("12/31/2000") << QByteArray("1379/10/11");
    QTest::newRow("1 Jan 2001") << QByteArray("1/1/2001") << QByteArray("1379/10/12");
    QTest::newRow("31 April rolls to May") << QByteArray("4/31/2000") << QByteArray("1379/2/12");
    QTest::newRow("month 0 is December before") << QByteArray("0/5/2005") << QByteArray("1383/9/15");
    QTest::newRow("month 13 is January after") << QByteArray("13/1/2005") << QByteArray("1384/10/11");
    QTest::newRow("Esfand 30 of 1403") << QByteArray("3/20/2025") << QByteArray("1403/12/30");
    QTest::newRow("Nowruz 1404") << QByteArray("3/21/2025") << QByteArray("1404/1/1");
    QTest::newRow("year 00 is 2000") << QByteArray("1/1/00") << QByteArray("1378/10/11");
    QTest::newRow("year 99 is 1999") << QByteArray("5/6/99") << QByteArray("1378/2/16");
    QTest::newRow("year 05 is 1905") << QByteArray("5/6/05") << QByteArray("1284/2/16");
    QTest::newRow("year-first read as month-first") << QByteArray("2005/12/9") << QByteArray("1454/10/22");
}

void TestConversion::convertsDateText()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, persian);
    QCOMPARE(QByteArray::fromStdString(convert(text)), persian);
}

void TestConversion::reportsErrorsInReadingOrder_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<ErrorKind>("kind");
    QTest::addColumn<QString>("message");

    QTest::newRow("no slash") << QByteArray("12-9-2005") << ErrorKind::InvalidArgument
                              << R"(date text "12-9-2005" has no "/"; expected month/day/year)";
    QTest::newRow("empty text") << QByteArray("") << ErrorKind::InvalidArgument
                                << R"(date text "" has no "/"; expected month/day/year)";
    QTest::newRow("one slash") << QByteArray("12/2005") << ErrorKind::InvalidArgument
                               << R"(date text "12/2005" has only one "/"; expected month/day/year)";
    QTest::newRow("bad month before one slash") << QByteArray("a/2005") << ErrorKind::TypeMismatch
                                                << R"("a" is not a whole number in date text "a/2005")";
    QTest::newRow("letter month") << QByteArray("a/9/2005") << ErrorKind::TypeMismatch
                                  << R"("a" is not a whole number in date text "a/9/2005")";
    QTest::newRow("empty day") << QByteArray("12//2005") << ErrorKind::TypeMismatch
                               << R"("" is not a whole number in date text "12//2005")";
    QTest::newRow("blank year") << QByteArray("12/9/ ") << ErrorKind::TypeMismatch
                                << R"(" " is not a whole number in date text "12/9/ ")";
    QTest::newRow("lone sign") << QByteArray("-/9/2005") << ErrorKind::TypeMismatch << QString();
    QTest::newRow("inner blank") << QByteArray("1 2/9/2005") << ErrorKind::TypeMismatch << QString();
    QTest::newRow("fraction") << QByteArray("12/9.5/2005") << ErrorKind::TypeMismatch << QString();
    QTest::newRow("long junk is not overflow") << QByteArray("12/99999x/2005") << ErrorKind::TypeMismatch
                                               << QString();
    QTest::newRow("day overflow") << QByteArray("1/40000/2005") << ErrorKind::Overflow
                                  << R"("40000" is outside -32768..32767 in date text "1/40000/2005")";
    QTest::newRow("32768 overflows") << QByteArray("32768/1/2005") << ErrorKind::Overflow << QString();
    QTest::newRow("-32769 overflows") << QByteArray("-32769/1/2005") << ErrorKind::Overflow << QString();
    QTest::newRow("many digits overflow") << QByteArray("1/1/" + QByteArray(400, '9')) << ErrorKind::Overflow
                                          << QString();
    QTest::newRow("inner slashes belong to the day") << QByteArray("12/9/1/2005") << ErrorKind::TypeMismatch
                                                     << R"("9/1" is not a whole number in date text "12/9/1/2005")";
    QTest::newRow("NUL is not an end") << QByteArray("1/1/2005\0", 9) << ErrorKind::TypeMismatch << QString();
    QTest::newRow("month met before year") << QByteArray("a/9/99999") << ErrorKind::TypeMismatch << QString();
    QTest::newRow("day met before year") << QByteArray("1/99999/x") << ErrorKind::Overflow << QString();
    QTest::newRow("control bytes escaped") << QByteArray("\x1b[2J/1/2005") << ErrorKind::TypeMismatch
                                           << R"("\x1b[2J" is not a whole number in date text "\x1b[2J/1/2005")";
}

void TestConversion::reportsErrorsInReadingOrder()
{
    QFETCH(QByteArray, text);
    QFETCH(ErrorKind, kind);
    QFETCH(QString, message);
    try {
        convert(text);
        QFAIL("no error for malformed date text");
    } catch (const ConversionError& error) {
        QCOMPARE(error.kind(), kind);
        if (!message.isEmpty())
            QCOMPARE(QString::fromUtf8(error.what()), message);
    }
}

void TestConversion::survivesArbitraryBytes()
{
    // Every string of up to three bytes from an alphabet that mixes the
    // separators, digits, signs, blanks, NUL and non-ASCII bytes.
    const QByteArray alphabet("/0 9-+\0\xff\xd8\t", 10);
    QByteArray text;
    const std::function<void(int)> walk = [&](int depth) {
        try {
            const auto result = convert(text);
            QVERIFY(!result.empty());
        } catch (const ConversionError&) {
        }
        if (depth == 0)
            return;
        for (const char c : alphabet) {
            text.append(c);
            walk(depth - 1);
            text.chop(1);
        }
    };
    walk(5);
}

void TestConversion::rollsOverLikeADateSerial_data()
{
    QTest::addColumn<int>("y1");
    QTest::addColumn<int>("m1");
    QTest::addColumn<int>("d1");
    QTest::addColumn<int>("y2");
    QTest::addColumn<int>("m2");
    QTest::addColumn<int>("d2");

    QTest::newRow("day 0") << 2005 << 3 << 0 << 2005 << 2 << 28;
    QTest::newRow("day 0 of a leap March") << 2004 << 3 << 0 << 2004 << 2 << 29;
    QTest::newRow("negative day") << 2005 << 1 << -1 << 2004 << 12 << 30;
    QTest::newRow("32 January") << 2005 << 1 << 32 << 2005 << 2 << 1;
    QTest::newRow("30 February") << 2005 << 2 << 30 << 2005 << 3 << 2;
    QTest::newRow("month 25") << 2005 << 25 << 1 << 2007 << 1 << 1;
    QTest::newRow("month -12") << 2005 << -12 << 1 << 2003 << 12 << 1;
    QTest::newRow("largest month") << 2005 << 32767 << 1 << 4735 << 7 << 1;
    QTest::newRow("smallest month") << 2005 << -32768 << 1 << -726 << 4 << 1;
    QTest::newRow("largest day") << 2005 << 1 << 32767 << 2094 << 9 << 17;
    QTest::newRow("smallest day") << 2005 << 1 << -32768 << 1915 << 4 << 15;
    QTest::newRow("year 0 and before") << -1 << 13 << 1 << 0 << 1 << 1;
}

void TestConversion::rollsOverLikeADateSerial()
{
    QFETCH(int, y1);
    QFETCH(int, m1);
    QFETCH(int, d1);
    QFETCH(int, y2);
    QFETCH(int, m2);
    QFETCH(int, d2);
    QVERIFY(toPersian({y1, m1, d1}) == toPersian({y2, m2, d2}));
}

void TestConversion::everyDayFollowsTheCalendar()
{
    // From 1 January 1600 to 31 December 2700: each Gregorian day is the
    // Persian day after the one before it, and every Persian month and year
    // has the length the calendar gives it.
    Triple previous = toPersian({1599, 12, 31});
    for (int y = 1600; y <= 2700; ++y) {
        for (int m = 1; m <= 12; ++m) {
            for (int d = 1; d <= gregorianMonthLength(y, m); ++d) {
                const Triple p = toPersian({y, m, d});
                Triple expected{previous.y, previous.m, previous.d + 1};
                if (previous.d == persianMonthLength(previous.y, previous.m))
                    expected = previous.m == 12 ? Triple{previous.y + 1, 1, 1} : Triple{previous.y, previous.m + 1, 1};
                if (!(p == expected))
                    QFAIL(qPrintable(QStringLiteral("%1-%2-%3 gave %4/%5/%6, expected %7/%8/%9")
                                         .arg(y).arg(m).arg(d)
                                         .arg(p.y).arg(p.m).arg(p.d)
                                         .arg(expected.y).arg(expected.m).arg(expected.d)));
                previous = p;
            }
        }
    }
    // Extremes of the 16-bit fields convert without error to a real Persian date.
    for (const int a : {-32768, -1, 0, 32767})
        for (const int b : {-32768, 0, 32767})
            for (const int c : {-32768, 0, 32767}) {
                const Triple p = toPersian({a, b, c});
                QVERIFY(p.m >= 1 && p.m <= 12);
                QVERIFY(p.d >= 1 && p.d <= persianMonthLength(p.y, p.m));
            }
}

void TestConversion::nowruzFallsOnKnownDates_data()
{
    QTest::addColumn<int>("gregorianYear");
    QTest::addColumn<int>("marchDay");

    // 1 Farvardin as observed in Iran.
    QTest::newRow("1354") << 1975 << 21;
    QTest::newRow("1375") << 1996 << 20;
    QTest::newRow("1379") << 2000 << 20;
    QTest::newRow("1387") << 2008 << 20;
    QTest::newRow("1395") << 2016 << 20;
    QTest::newRow("1396") << 2017 << 21;
    QTest::newRow("1399") << 2020 << 20;
    QTest::newRow("1400") << 2021 << 21;
    QTest::newRow("1403") << 2024 << 20;
    QTest::newRow("1404") << 2025 << 21;
    QTest::newRow("1405") << 2026 << 21;
}

void TestConversion::nowruzFallsOnKnownDates()
{
    QFETCH(int, gregorianYear);
    QFETCH(int, marchDay);
    QVERIFY((toPersian({gregorianYear, 3, marchDay}) == Triple{gregorianYear - 621, 1, 1}));
    QCOMPARE(toPersian({gregorianYear, 3, marchDay - 1}).y, gregorianYear - 622);
}

QTEST_APPLESS_MAIN(TestConversion)
#include "tst_conversion.moc"
