#include "xls/typed_text.h"

#include <cstdint>
#include <optional>

namespace brosk::xls {
namespace {

bool isDigit(char16_t c) {
  return c >= u'0' && c <= u'9';
}

// The value of one to `most` digits making up the whole text.
std::optional<int> digits(std::u16string_view text, std::size_t least, std::size_t most) {
  if (text.size() < least || text.size() > most) return std::nullopt;
  int value = 0;
  for (const char16_t c : text) {
    if (!isDigit(c)) return std::nullopt;
    value = value * 10 + (c - u'0');
  }
  return value;
}

bool isLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

// Days from 1 January 1970 to the given day of the proleptic Gregorian calendar (Howard
// Hinnant's days_from_civil).
long long daysFromCivil(int year, int month, int day) {
  year -= month <= 2;
  const long long era = (year >= 0 ? year : year - 399) / 400;
  const long long yearOfEra = year - era * 400;
  const long long dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const long long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

std::optional<double> wholeNumber(std::u16string_view text) {
  if (text == u"0") return 0.0;
  const bool negative = !text.empty() && text.front() == u'-';
  if (negative) text.remove_prefix(1);
  if (text.empty() || text.size() > 15 || text.front() < u'1' || text.front() > u'9') {
    return std::nullopt;
  }
  std::int64_t value = 0;
  for (const char16_t c : text) {
    if (!isDigit(c)) return std::nullopt;
    value = value * 10 + (c - u'0');
  }
  return static_cast<double>(negative ? -value : value);  // at most 15 digits: exact
}

std::optional<double> monthFirstDate(std::u16string_view text) {
  const auto first = text.find(u'/');
  const auto second = first == std::u16string_view::npos ? first : text.find(u'/', first + 1);
  if (second == std::u16string_view::npos) return std::nullopt;
  const auto month = digits(text.substr(0, first), 1, 2);
  const auto day = digits(text.substr(first + 1, second - first - 1), 1, 2);
  const auto year = digits(text.substr(second + 1), 4, 4);
  if (!month || !day || !year || *year < 1900 || *month < 1 || *month > 12 || *day < 1 ||
      *day > daysInMonth(*year, *month)) {
    return std::nullopt;
  }
  return dateSerial(*year, *month, *day);
}

}  // namespace

double dateSerial(int year, int month, int day) {
  const long long days = daysFromCivil(year, month, day) - daysFromCivil(1899, 12, 30);
  // Before 1 March 1900 the application's count has no 29 February 1900 yet.
  return static_cast<double>(days < 61 ? days - 1 : days);
}

TypedText typedText(std::u16string_view text) {
  if (const auto number = wholeNumber(text)) return {TypedText::Kind::Number, *number};
  if (const auto serial = monthFirstDate(text)) return {TypedText::Kind::Date, *serial};
  return {};
}

}  // namespace brosk::xls
