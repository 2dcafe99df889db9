#include "automation/convert.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <limits>
#include <string>

#include "automation/error.h"
#include "automation/text.h"

namespace brosk {
namespace {

bool isBlank(char16_t c) {
  return c == u' ' || c == u'\t';
}
bool isDigit(char16_t c) {
  return c >= u'0' && c <= u'9';
}

bool startsWith(std::u16string_view text, std::size_t at, std::u16string_view prefix) {
  return !prefix.empty() && text.substr(at, prefix.size()) == prefix;
}

[[noreturn]] void typeMismatch() {
  throw RuntimeError(err::kTypeMismatch);
}

[[noreturn]] void invalidUseOfNull() {
  throw RuntimeError(err::kInvalidUseOfNull);
}

bool isSpaceLike(char16_t c) {
  return c == u' ' || c == u'\u00A0' || c == u'\u202F';
}

// The length of the grouping symbol at `at`, 0 when there is none. A space-like
// grouping symbol is matched by any of the three spaces people and systems type there.
std::size_t groupingAt(std::u16string_view text, std::size_t at, const NumberFormat& format) {
  const std::u16string& symbol = format.grouping;
  if (symbol.empty() || symbol == format.decimal || at >= text.size()) return 0;
  if (symbol.size() == 1 && isSpaceLike(symbol[0])) return isSpaceLike(text[at]) ? 1 : 0;
  return startsWith(text, at, symbol) ? symbol.size() : 0;
}

// Whether digit groups of these sizes (left to right) are grouped as the locale groups.
bool groupedAsTheLocale(const std::vector<std::size_t>& sizes, const std::vector<int>& groups) {
  if (sizes.size() < 2) return true;  // no grouping symbol
  if (groups.empty()) return false;
  const std::size_t n = sizes.size();
  for (std::size_t k = 0; k < n; ++k) {  // k = 0 is the group next to the decimal separator
    const std::size_t have = sizes[n - 1 - k];
    const int want = groups[std::min(k, groups.size() - 1)];
    const bool leftmost = k == n - 1;
    if (want <= 0) return leftmost;  // the rest is one group of any length
    if (leftmost) return have <= static_cast<std::size_t>(want);
    if (have != static_cast<std::size_t>(want)) return false;
  }
  return true;
}

// The decimal exponent of the first significant digit of "integer.fraction": 0 for 1 to
// 9.99..., -1 for 0.1 to 0.099...; 0 when every digit is 0.
long long leadingExponent(const std::string& integer, const std::string& fraction) {
  const auto first = integer.find_first_not_of('0');
  if (first != std::string::npos) return static_cast<long long>(integer.size() - first) - 1;
  const auto firstFraction = fraction.find_first_not_of('0');
  return firstFraction == std::string::npos ? 0 : -static_cast<long long>(firstFraction) - 1;
}

double roundedInRange(double value, double low, double high) {
  if (std::isnan(value)) throw RuntimeError(err::kOverflow);
  const double rounded = roundHalfEven(value);
  if (rounded < low || rounded > high) throw RuntimeError(err::kOverflow);
  return rounded;
}

// Up to 15 significant digits, as VB's CStr writes a Double ("%.15G" in the C locale),
// with the user's decimal separator. std::to_chars depends on no process-wide state: a
// printf would take its decimal point from the C runtime's locale, which any other
// component of the host's process may set.
std::u16string formatDouble(double value, const NumberFormat& format) {
  if (value == 0) return u"0";
  if (std::isnan(value)) return u"NaN";
  if (std::isinf(value)) return value > 0 ? u"Inf" : u"-Inf";
  char buffer[40];
  const auto [end, ec] =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
  (void)ec;  // 40 characters always suffice
  std::string text(buffer, end);
  // The few Doubles next to the largest one round to 15 digits above it, a text that
  // would not read back: they are written rounded down instead.
  const std::size_t digits = text[0] == '-' ? 1 : 0;
  if (text.compare(digits, std::string::npos, "1.79769313486232e+308") == 0)
    text[digits + 15] = '1';
  std::u16string out;
  for (const char c : text) {
    if (c == '.') {
      out += format.decimal;
    } else {
      out.push_back(c == 'e' ? u'E' : static_cast<char16_t>(c));
    }
  }
  return out;
}

}  // namespace

double roundHalfEven(double value) {
  // From 2^52 on every Double is a whole number already.
  if (!(std::fabs(value) < 4503599627370496.0)) return value;
  const double below = std::floor(value);  // exact in every rounding mode
  const double rest = value - below;       // exact: both lie within 2^52 of each other
  double rounded = below;
  if (rest > 0.5 || (rest == 0.5 && std::fmod(below, 2.0) != 0)) rounded = below + 1;
  return std::copysign(rounded, value);
}

std::vector<int> groupsFromPosix(std::string_view grouping) {
  std::vector<int> groups;
  for (const char c : grouping) {
    const int size = static_cast<unsigned char>(c);
    if (size == 0) break;  // the last size repeats
    if (size >= CHAR_MAX) {
      if (!groups.empty()) groups.push_back(0);  // no further grouping
      break;
    }
    groups.push_back(size);
  }
  return groups;
}

std::vector<int> groupsFromWindows(std::u16string_view grouping) {
  std::vector<int> groups;
  int size = 0;
  bool any = false;
  for (std::size_t i = 0; i <= grouping.size(); ++i) {
    if (i == grouping.size() || grouping[i] == u';') {
      if (any) groups.push_back(size);
      size = 0;
      any = false;
    } else if (isDigit(grouping[i])) {
      size = std::min(size * 10 + (grouping[i] - u'0'), 99);
      any = true;
    }
  }
  // "3;0" repeats the 3; "3" groups three digits once and the rest not at all.
  if (!groups.empty() && groups.back() == 0) {
    groups.pop_back();
  } else if (!groups.empty()) {
    groups.push_back(0);
  }
  if (!groups.empty() && groups.front() == 0) groups.clear();
  return groups;
}

namespace {

// The parts of a number as the user typed it, in the form from_chars reads them.
struct NumberText {
  bool negative = false;
  std::string integer;
  std::string fraction;
  std::string exponent;         // the exponent's digits, "-" first when negative
  long long exponentValue = 0;  // its value, capped at a billion
};

// Each scanner reads its part of `text` from `i` and returns the position after it.

std::size_t scanSign(std::u16string_view text, std::size_t i, bool& negative) {
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  return i;
}

// Digits, in groups between grouping symbols; a grouping symbol stands between two digits.
std::size_t scanInteger(std::u16string_view text, std::size_t i, const NumberFormat& format,
                        std::string& integer) {
  std::vector<std::size_t> groupSizes;
  std::size_t group = 0;
  while (i < text.size()) {
    if (isDigit(text[i])) {
      integer.push_back(static_cast<char>(text[i++]));
      ++group;
      continue;
    }
    const std::size_t symbol = group > 0 ? groupingAt(text, i, format) : 0;
    if (symbol == 0 || i + symbol >= text.size() || !isDigit(text[i + symbol])) break;
    groupSizes.push_back(group);
    group = 0;
    i += symbol;
  }
  if (!groupSizes.empty()) groupSizes.push_back(group);
  if (!groupedAsTheLocale(groupSizes, format.groups)) typeMismatch();
  return i;
}

std::size_t scanFraction(std::u16string_view text, std::size_t i, const NumberFormat& format,
                         std::string& fraction) {
  if (i >= text.size() || !startsWith(text, i, format.decimal)) return i;
  i += format.decimal.size();
  while (i < text.size() && isDigit(text[i])) fraction.push_back(static_cast<char>(text[i++]));
  return i;
}

std::size_t scanExponent(std::u16string_view text, std::size_t i, NumberText& number) {
  if (i >= text.size() || (text[i] != u'E' && text[i] != u'e')) return i;
  bool negative = false;
  i = scanSign(text, i + 1, negative);
  while (i < text.size() && isDigit(text[i])) {
    number.exponent.push_back(static_cast<char>(text[i]));
    if (number.exponentValue < 1'000'000'000) {
      number.exponentValue = number.exponentValue * 10 + (text[i] - u'0');
    }
    ++i;
  }
  if (number.exponent.empty()) typeMismatch();
  if (negative) {
    number.exponent.insert(0, 1, '-');
    number.exponentValue = -number.exponentValue;
  }
  return i;
}

double toDouble(const NumberText& number) {
  std::string plain = number.negative ? "-" : "";
  plain += number.integer.empty() ? "0" : number.integer;
  if (!number.fraction.empty()) plain += "." + number.fraction;
  if (!number.exponent.empty()) plain += "e" + number.exponent;
  double value = 0;
  const auto [last, ec] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
  if (ec == std::errc::result_out_of_range) {
    // Beyond the range of a Double: too large is an overflow, too small reads as zero.
    if (leadingExponent(number.integer, number.fraction) + number.exponentValue >= 0) {
      throw RuntimeError(err::kOverflow);
    }
    return number.negative ? -0.0 : 0.0;
  }
  if (ec != std::errc() || last != plain.data() + plain.size()) typeMismatch();
  return value;
}

}  // namespace

double parseLocaleNumber(std::u16string_view text, const NumberFormat& format) {
  std::size_t i = 0;
  std::size_t end = text.size();
  while (i < end && isBlank(text[i])) ++i;
  while (end > i && isBlank(text[end - 1])) --end;
  const std::u16string_view body = text.substr(0, end);

  NumberText number;
  i = scanSign(body, i, number.negative);
  i = scanInteger(body, i, format, number.integer);
  i = scanFraction(body, i, format, number.fraction);
  if (number.integer.empty() && number.fraction.empty()) typeMismatch();
  i = scanExponent(body, i, number);
  if (i != end) typeMismatch();
  return toDouble(number);
}

double leadingNumber(std::u16string_view text) {
  std::string plain;
  bool point = false;
  bool digits = false;
  for (const char16_t c : text) {
    if (c == u' ' || c == u'\t' || c == u'\n') continue;
    if (plain.empty() && !digits && (c == u'+' || c == u'-')) {
      plain.push_back(static_cast<char>(c));
      continue;
    }
    if (isDigit(c)) {
      plain.push_back(static_cast<char>(c));
      digits = true;
    } else if (c == u'.' && !point) {
      plain.push_back('.');
      point = true;
    } else {
      break;
    }
  }
  if (!digits) return 0;
  if (plain.front() == '+') plain.erase(0, 1);
  double value = 0;
  const char* first = plain.data();
  const auto [end, ec] = std::from_chars(first, first + plain.size(), value);
  (void)end;
  if (ec == std::errc::result_out_of_range) {
    // Only a huge run of digits gets here; it is beyond any version number.
    return std::numeric_limits<double>::max();
  }
  return value;
}

double toDouble(const Variant& value, const NumberFormat& format) {
  switch (value.kind()) {
    case VarKind::Empty:
      return 0;
    case VarKind::Null:
      invalidUseOfNull();
    case VarKind::Boolean:
      return value.asBoolean() ? -1 : 0;
    case VarKind::Integer:
      return value.asInteger();
    case VarKind::Long:
      return value.asLong();
    case VarKind::Double:
      return value.asDouble();
    case VarKind::Text:
      return parseLocaleNumber(value.asText(), format);
    case VarKind::Object:
      break;
  }
  typeMismatch();
}

std::int32_t toLong(const Variant& value, const NumberFormat& format) {
  switch (value.kind()) {
    case VarKind::Integer:
      return value.asInteger();
    case VarKind::Long:
      return value.asLong();
    default:
      return static_cast<std::int32_t>(
          roundedInRange(toDouble(value, format), -2147483648.0, 2147483647.0));
  }
}

std::int16_t toInteger(const Variant& value, const NumberFormat& format) {
  return static_cast<std::int16_t>(roundedInRange(toDouble(value, format), -32768.0, 32767.0));
}

bool toBoolean(const Variant& value, const NumberFormat& format) {
  switch (value.kind()) {
    case VarKind::Null:
      invalidUseOfNull();
    case VarKind::Boolean:
      return value.asBoolean();
    case VarKind::Text: {
      const std::u16string& text = value.asText();
      if (equalsIgnoringAsciiCase(text, u"True") || equalsIgnoringAsciiCase(text, u"Verdadero")) {
        return true;
      }
      if (equalsIgnoringAsciiCase(text, u"False") || equalsIgnoringAsciiCase(text, u"Falso")) {
        return false;
      }
      return parseLocaleNumber(text, format) != 0;
    }
    default: {
      const double number = toDouble(value, format);
      return number != 0;  // NaN reads True, as any value other than zero
    }
  }
}

std::u16string toText(const Variant& value, const NumberFormat& format) {
  switch (value.kind()) {
    case VarKind::Empty:
      return {};
    case VarKind::Null:
      invalidUseOfNull();
    case VarKind::Boolean:
      return value.asBoolean() ? u"True" : u"False";
    case VarKind::Integer:
      return decimal(value.asInteger());
    case VarKind::Long:
      return decimal(value.asLong());
    case VarKind::Double:
      return formatDouble(value.asDouble(), format);
    case VarKind::Text:
      return value.asText();
    case VarKind::Object:
      break;
  }
  typeMismatch();
}

double checked(double value) {
  if (!std::isfinite(value)) throw RuntimeError(err::kOverflow);
  return value;
}

}  // namespace brosk
