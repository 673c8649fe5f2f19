#include "Module1.h"

#include <cstdint>
#include <limits>

namespace Module1 {

ConversionError::ConversionError(ErrorKind kind, const std::string& message)
    : std::runtime_error(message), kind_(kind)
{
}

ErrorKind ConversionError::kind() const noexcept
{
    return kind_;
}

namespace {

using i64 = std::int64_t;

// ---- Reading the date text ------------------------------------------------

// The text in double quotes, with control bytes escaped so that a message
// never carries raw terminal controls or line breaks.
std::string quoted(std::string_view text)
{
    static constexpr char hex[] = "0123456789abcdef";
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) {
            out += "\\x";
            out += hex[byte >> 4];
            out += hex[byte & 0xf];
        } else {
            out += c;
        }
    }
    return out + '"';
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// One field of the date text as a 16-bit whole number: blanks, an optional
// sign, decimal digits, blanks. Any other character makes the field a type
// mismatch, however long it is; only a well-formed number can overflow.
int readField(std::string_view field, std::string_view wholeText)
{
    std::size_t begin = 0;
    std::size_t end = field.size();
    while (begin < end && isBlank(field[begin]))
        ++begin;
    while (end > begin && isBlank(field[end - 1]))
        --end;

    bool negative = false;
    if (begin < end && (field[begin] == '+' || field[begin] == '-')) {
        negative = field[begin] == '-';
        ++begin;
    }

    const auto mismatch = [&] {
        return ConversionError(ErrorKind::TypeMismatch,
                               quoted(field) + " is not a whole number in date text " + quoted(wholeText));
    };
    if (begin == end)
        throw mismatch();

    constexpr i64 limit = 32768;  // magnitude of the most negative 16-bit value
    i64 magnitude = 0;
    for (std::size_t i = begin; i < end; ++i) {
        if (field[i] < '0' || field[i] > '9')
            throw mismatch();
        // Saturate just past the limit: any number of digits stays in range.
        if (magnitude <= limit)
            magnitude = magnitude * 10 + (field[i] - '0');
    }
    if (magnitude > (negative ? limit : limit - 1))
        throw ConversionError(ErrorKind::Overflow,
                              quoted(field) + " is outside -32768..32767 in date text " + quoted(wholeText));
    return static_cast<int>(negative ? -magnitude : magnitude);
}

// ---- Calendar arithmetic on day numbers (days since 1970-01-01) -----------

constexpr i64 floorDiv(i64 a, i64 b)  // b > 0
{
    return a / b - (a % b < 0 ? 1 : 0);
}

// Day number of a proleptic Gregorian date, month in 1..12, day from 1 on.
constexpr i64 daysFromCivil(i64 y, i64 m, i64 d)
{
    y -= m <= 2 ? 1 : 0;                                               // years start in March
    const i64 era = floorDiv(y, 400);                                  // 400-year cycles
    const i64 yoe = y - era * 400;                                     // [0, 399]
    const i64 doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;   // [0, 365] for d in range
    const i64 doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;             // [0, 146096]
    return era * 146097 + doe - 719468;                                // 719468: 0000-03-01 to 1970-01-01
}

// Persian year y is leap when (25y + 11) mod 33 < 8; there are
// floor((8y + 21) / 33) such years in [0, y).
constexpr i64 leapYearsBefore(i64 y)
{
    return floorDiv(8 * y + 21, 33);
}

constexpr i64 nowruz1404 = daysFromCivil(2025, 3, 21);

// Day number of 1 Farvardin of Persian year y.
constexpr i64 yearStart(i64 y)
{
    return nowruz1404 + 365 * (y - 1404) + leapYearsBefore(y) - leapYearsBefore(1404);
}

static_assert(yearStart(1403) == daysFromCivil(2024, 3, 20), "1403 is a leap year");
static_assert(yearStart(1405) == daysFromCivil(2026, 3, 21), "1404 is a common year");

constexpr i64 daysPer33Years = 33 * 365 + 8;

}  // namespace

void GregorianToPersian(int& year, int& month, int& day)
{
    // Roll month and day over the way a date-serial constructor does.
    const i64 monthsSinceYear0 = i64{year} * 12 + (month - 1);
    const i64 gYear = floorDiv(monthsSinceYear0, 12);
    const i64 gMonth = monthsSinceYear0 - gYear * 12 + 1;              // [1, 12]
    const i64 n = daysFromCivil(gYear, gMonth, 1) + (i64{day} - 1);

    // The 33-year average lands within one year of the answer.
    i64 pYear = 1404 + floorDiv((n - nowruz1404) * 33, daysPer33Years);
    while (yearStart(pYear + 1) <= n)
        ++pYear;
    while (yearStart(pYear) > n)
        --pYear;
    const i64 dayOfYear = n - yearStart(pYear);                        // [0, 365]

    if (pYear < std::numeric_limits<int>::min() || pYear > std::numeric_limits<int>::max())
        throw ConversionError(ErrorKind::Overflow, "Persian year " + std::to_string(pYear) + " does not fit in an int");

    // Farvardin..Shahrivar have 31 days (186 in all), Mehr..Bahman 30, Esfand the rest.
    year = static_cast<int>(pYear);
    if (dayOfYear < 186) {
        month = static_cast<int>(dayOfYear / 31) + 1;                  // [1, 6]
        day = static_cast<int>(dayOfYear % 31) + 1;                    // [1, 31]
    } else {
        month = static_cast<int>((dayOfYear - 186) / 30) + 7;          // [7, 12]
        day = static_cast<int>((dayOfYear - 186) % 30) + 1;            // [1, 30]
    }
}

std::string GregorianTextToPersian(std::string_view gregorianText)
{
    const auto malformed = [&](const char* what) {
        return ConversionError(ErrorKind::InvalidArgument,
                               "date text " + quoted(gregorianText) + what + "; expected month/day/year");
    };

    const auto first = gregorianText.find('/');
    if (first == std::string_view::npos)
        throw malformed(" has no \"/\"");
    int month = readField(gregorianText.substr(0, first), gregorianText);

    const auto last = gregorianText.rfind('/');
    if (last == first)
        throw malformed(" has only one \"/\"");
    int day = readField(gregorianText.substr(first + 1, last - first - 1), gregorianText);
    int year = readField(gregorianText.substr(last + 1), gregorianText);

    // Short years: 0 is 2000, any other year below 1000 is taken as 19xx.
    if (year == 0)
        year = 2000;
    if (year < 1000)
        year += 1900;

    GregorianToPersian(year, month, day);
    return std::to_string(year) + '/' + std::to_string(month) + '/' + std::to_string(day);
}

}  // namespace Module1
