#include "Module1.h"

#include <QtTest>

#include <unicode/ucal.h>

#include <memory>

using Module1::ConversionError;
using Module1::ErrorKind;

namespace {

// The date ICU's Persian calendar, an independent reference, gives at noon
// UTC of `gregorian`, as year/month/day.
QString icuPersian(UCalendar* calendar, QDate gregorian)
{
    UErrorCode status = U_ZERO_ERROR;
    ucal_setMillis(calendar, UDate(QDateTime(gregorian, QTime(12, 0), QTimeZone::utc()).toMSecsSinceEpoch()), &status);
    return QStringLiteral("%1/%2/%3").arg(ucal_get(calendar, UCAL_EXTENDED_YEAR, &status))
        .arg(ucal_get(calendar, UCAL_MONTH, &status) + 1).arg(ucal_get(calendar, UCAL_DATE, &status));
}

}  // namespace

class TestConversion : public QObject {
    Q_OBJECT

private slots:
    void convertsDateText_data();
    void convertsDateText();
    void refusesMalformedTextInReadingOrder_data();
    void refusesMalformedTextInReadingOrder();
    void everyDayMatchesAnIndependentCalendar();
};

void TestConversion::convertsDateText_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("persian");
    const char* const rows[][2] = {
        // Reading the text; the calendar itself is checked day by day below.
        {"12/9/2005", "1384/9/18"}, {" 12 / 09 / +2005 ", "1384/9/18"},  // blanks, zeros and signs
        {"3/20/2005", "1383/12/30"}, {"3/21/2005", "1384/1/1"},
        {"4/31/2000", "1379/2/12"}, {"0/5/2005", "1383/9/15"}, {"13/1/2005", "1384/10/11"},  // roll-over
        {"3/0/2005", "1383/12/10"}, {"3/0/2004", "1382/12/10"}, {"25/1/2005", "1385/10/11"},
        {"32767/1/2005", "4114/4/10"}, {"1/32767/2005", "1473/6/27"}, {"1/-32768/2005", "1294/1/25"},
        {"1/1/00", "1378/10/11"}, {"5/6/99", "1378/2/16"}, {"5/6/05", "1284/2/16"},       // short years
        {"1/1/-50", "1228/10/11"}, {"1/1/1850", "1228/10/11"},     // a negative year is short too
        {"2005/12/9", "1454/10/22"},                                                        // read month first
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
    row("12/2005", ErrorKind::InvalidArgument, R"(date text "12/2005" has only one "/"; expected month/day/year)");
    row("a/2005", ErrorKind::TypeMismatch, R"("a" is not a whole number in date text "a/2005")");
    row("12//2005", ErrorKind::TypeMismatch, R"("" is not a whole number in date text "12//2005")");
    row("12/9/1/2005", ErrorKind::TypeMismatch, R"("9/1" is not a whole number in date text "12/9/1/2005")");
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

void TestConversion::everyDayMatchesAnIndependentCalendar()
{
    // Day by day through the years where the official calendar and its
    // 33-year arithmetic agree (Solar Hijri 1206 to 1498), and so every
    // version of ICU agrees too.
    UErrorCode status = U_ZERO_ERROR;
    const std::unique_ptr<UCalendar, decltype(&ucal_close)> reference(
        ucal_open(u"UTC", -1, "en@calendar=persian", UCAL_DEFAULT, &status), &ucal_close);
    QVERIFY(U_SUCCESS(status));
    for (QDate day(1827, 3, 22); day <= QDate(2120, 3, 20); day = day.addDays(1)) {
        int year = day.year(), month = day.month(), date = day.day();
        Module1::GregorianToPersian(year, month, date);
        const QString persian = QStringLiteral("%1/%2/%3").arg(year).arg(month).arg(date);
        const QString expected = icuPersian(reference.get(), day);
        if (persian != expected)
            QFAIL(qPrintable(day.toString(Qt::ISODate) + QStringLiteral(" gave ") + persian + QStringLiteral(", not ") + expected));
    }
}

QTEST_APPLESS_MAIN(TestConversion)
#include "tst_conversion.moc"
