// Gregorian to Persian (Solar Hijri) date conversion. Standard C++ only.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace Module1 {

enum class ErrorKind { InvalidArgument, TypeMismatch, Overflow };

// Thrown for date text that cannot be read; what() quotes the offending text.
class ConversionError : public std::runtime_error {
public:
    ConversionError(ErrorKind kind, const std::string& message);
    ErrorKind kind() const noexcept;

private:
    ErrorKind kind_;
};

// Reads month/day/year text (e.g. "12/9/2005"; only the first and the last "/"
// are looked at, blanks around each field are allowed) and returns the Persian
// date as year/month/day text without leading zeros (e.g. "1384/9/18").
// Short years: 0 means 2000, and every other year below 1000 gets 1900 added,
// negative ones too ("1/1/-50" is 1 January 1850).
// Throws ConversionError: InvalidArgument when the text has fewer than two "/",
// TypeMismatch when a field is not a whole number, Overflow when a field lies
// outside -32768..32767; the fields are read month, day, year, in that order.
std::string GregorianTextToPersian(std::string_view gregorianText);

// Rewrites a proleptic Gregorian date in place as the Persian date. Month and
// day roll over like a date-serial constructor does (month 13 is January of the
// next year, day 0 the last day of the previous month). Exact for every triple
// of 16-bit values; throws ConversionError(Overflow) only when a wider input
// would give a Persian year outside the range of int.
void GregorianToPersian(int& year, int& month, int& day);

}  // namespace Module1
