// Conversions between automation values, as a VB client makes them: CLng, CInt,
// CBool, CStr and CDbl, and the two ways of reading a number from text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "automation/variant.h"

namespace brosk {

// The user's number conventions. Separators are texts: some locales use more than one
// character, or a no-break space for grouping.
struct NumberFormat {
  std::u16string decimal = u".";
  std::u16string grouping = u",";
  // Sizes of the digit groups, from the decimal separator leftwards. The last size
  // repeats for the digits further left, unless it is 0: then those digits form one
  // group of any length. {3} is the usual grouping, {3, 2} that of India, {3, 0} a single
  // group of three; no sizes means the locale groups no digits.
  std::vector<int> groups{3};
};

// The group sizes of a C library grouping string (LC_NUMERIC "grouping": one byte a
// group, the last repeating, CHAR_MAX ending the grouping) and of a Windows
// LOCALE_SGROUPING text ("3;0" repeats the 3, "3" does not, "3;2;0" is India's).
std::vector<int> groupsFromPosix(std::string_view grouping);
std::vector<int> groupsFromWindows(std::u16string_view grouping);

// A Double that arithmetic took out of range (an overflow, an invalid operation) is error
// 6, as a floating-point fault is for a VB program; any other is given back.
double checked(double value);

// Reads a number the way the user's locale writes it: blanks around it are ignored,
// an optional sign, the integer digits, optionally the decimal separator and more
// digits, optionally an exponent (E or e, an optional sign, digits). The integer digits
// may be grouped by the locale's grouping symbol, but only as the locale groups them
// (for the usual grouping: 1 to 3 digits, then groups of exactly 3 up to the decimal
// separator); where that symbol is a space of some kind, an ordinary space, a no-break
// space and a narrow no-break space all count as it. Nothing else is a number: anything
// else, the empty text included, is error 13. A number too large for a Double is error 6.
double parseLocaleNumber(std::u16string_view text, const NumberFormat& format);

// Reads the leading number of a text whatever the locale: blanks, tabs and line feeds
// anywhere are skipped, an optional sign, then digits with at most one "." as decimal
// point; reading stops at the first other character. No leading number reads as 0.
double leadingNumber(std::u16string_view text);

// Rounds to the nearest whole number, an exact half to the even one, by exact steps that
// do not depend on the rounding mode the thread happens to be in. NaN and infinities come
// back as they are; the sign of a zero result is kept.
double roundHalfEven(double value);

// Value conversions. Numbers round half to even; a result outside the target range is
// error 6; a value that cannot convert (an object, a text that is not a number) is 13;
// Null converts to nothing: error 94.
std::int32_t toLong(const Variant& value, const NumberFormat& format);
std::int16_t toInteger(const Variant& value, const NumberFormat& format);
bool toBoolean(const Variant& value, const NumberFormat& format);
double toDouble(const Variant& value, const NumberFormat& format);
// Empty is the empty text; True and False are "True" and "False"; a Double is written
// with up to 15 significant digits and the locale's decimal separator.
std::u16string toText(const Variant& value, const NumberFormat& format);

}  // namespace brosk
