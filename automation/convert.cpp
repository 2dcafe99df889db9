#include "automation/convert.h"

#include <charconv>
#include <cmath>
#include <cstdio>
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

// Converts "[-]digits[.digits]" (ASCII) to a Double; a value beyond the Double range is
// error 6, one too small for it reads as zero.
double fromPlainDecimal(const std::string& plain, bool integerPartNonZero) {
  double value = 0;
  const auto [end, ec] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
  if (ec == std::errc::result_out_of_range) {
    if (integerPartNonZero) throw RuntimeError(err::kOverflow);
    return plain.front() == '-' ? -0.0 : 0.0;
  }
  if (ec != std::errc() || end != plain.data() + plain.size()) typeMismatch();
  return value;
}

double roundedInRange(double value, double low, double high) {
  if (std::isnan(value)) throw RuntimeError(err::kOverflow);
  const double rounded = std::nearbyint(value);  // the default mode rounds half to even
  if (rounded < low || rounded > high) throw RuntimeError(err::kOverflow);
  return rounded;
}

std::u16string formatDouble(double value, const NumberFormat& format) {
  if (value == 0) return u"0";
  if (std::isnan(value)) return u"NaN";
  if (std::isinf(value)) return value > 0 ? u"Inf" : u"-Inf";
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.15G", value);
  std::u16string out;
  for (const char* p = buffer; *p; ++p) {
    if (*p == '.') {
      out += format.decimal;
    } else {
      out.push_back(static_cast<char16_t>(*p));
    }
  }
  return out;
}

bool equalsIgnoringAsciiCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace

double parseLocaleNumber(std::u16string_view text, const NumberFormat& format) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && isBlank(text[begin])) ++begin;
  while (end > begin && isBlank(text[end - 1])) --end;
  const std::u16string_view body = text.substr(0, end);

  std::string plain;
  std::size_t i = begin;
  if (i < end && (body[i] == u'+' || body[i] == u'-')) {
    if (body[i] == u'-') plain.push_back('-');
    ++i;
  }
  bool anyDigit = false;
  bool integerPartNonZero = false;
  // Integer part: digits, with grouping symbols after the first digit.
  while (i < end) {
    if (isDigit(body[i])) {
      plain.push_back(static_cast<char>(body[i]));
      integerPartNonZero = integerPartNonZero || body[i] != u'0';
      anyDigit = true;
      ++i;
    } else if (anyDigit && format.grouping != format.decimal &&
               startsWith(body, i, format.grouping)) {
      i += format.grouping.size();
    } else {
      break;
    }
  }
  if (i < end && startsWith(body, i, format.decimal)) {
    i += format.decimal.size();
    plain.push_back('.');
    while (i < end && isDigit(body[i])) {
      plain.push_back(static_cast<char>(body[i]));
      anyDigit = true;
      ++i;
    }
  }
  if (i != end || !anyDigit) typeMismatch();
  // from_chars wants a digit on each side of the point.
  const bool negative = plain.front() == '-';
  std::string digits = negative ? plain.substr(1) : plain;
  if (digits.front() == '.') digits = "0" + digits;
  if (digits.back() == '.') digits.pop_back();
  plain = negative ? "-" + digits : digits;
  return fromPlainDecimal(plain, integerPartNonZero);
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

}  // namespace brosk
