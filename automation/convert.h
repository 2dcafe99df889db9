// Conversions between automation values, as a VB client makes them: CLng, CInt,
// CBool, CStr and CDbl, and the two ways of reading a number from text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "automation/variant.h"

namespace brosk {

// The user's number conventions. Separators are texts: some locales use more than one
// character, or a no-break space for grouping.
struct NumberFormat {
  std::u16string decimal = u".";
  std::u16string grouping = u",";
};

// Reads a number the way the user's locale writes it: blanks around it are ignored,
// an optional sign, digits in which the grouping symbol may appear after the first
// digit (and is ignored), then optionally the decimal separator and more digits.
// Nothing else is a number: anything else, the empty text included, is error 13.
// A number too large for a Double is error 6.
double parseLocaleNumber(std::u16string_view text, const NumberFormat& format);

// Reads the leading number of a text whatever the locale: blanks, tabs and line feeds
// anywhere are skipped, an optional sign, then digits with at most one "." as decimal
// point; reading stops at the first other character. No leading number reads as 0.
double leadingNumber(std::u16string_view text);

// Value conversions. Numbers round half to even; a result outside the target range is
// error 6; a value that cannot convert (an object, a text that is not a number) is 13.
std::int32_t toLong(const Variant& value, const NumberFormat& format);
std::int16_t toInteger(const Variant& value, const NumberFormat& format);
bool toBoolean(const Variant& value, const NumberFormat& format);
double toDouble(const Variant& value, const NumberFormat& format);
// Empty is the empty text; True and False are "True" and "False"; a Double is written
// with up to 15 significant digits and the locale's decimal separator.
std::u16string toText(const Variant& value, const NumberFormat& format);

}  // namespace brosk
