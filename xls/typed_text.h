// A text put into a cell as a user types it: the spreadsheet application stores what
// reads as a whole number as a number and what reads as a month-first date as a date, by
// the conventions of the locale identifier its callers pass (a VB-style caller passes US
// English whatever the user's settings). Readers of the workbooks this engine writes
// know files written so. Only what converts without loss is converted: the
// application's faults are not copied (leading zeros dropped, codes such as "1-2" or
// "3/4" taken for dates, exponents, percentages, currency, decimals, blanks, a leading
// "+", sixteen digits or more, words taken for booleans, "=" taken for a formula, a date
// read day first); everything else stays the text it was.
#pragma once

#include <string_view>

namespace brosk::xls {

struct TypedText {
  enum class Kind { Text, Number, Date };
  Kind kind = Kind::Text;
  // The number, or for a date its serial number in the 1900 date system as the
  // spreadsheet application counts it (1 January 1900 is 1; it counts a 29 February
  // 1900 that never was, so from 1 March 1900 on a serial is the days since
  // 30 December 1899).
  double number = 0;
};

// A number when the text is a canonical whole number: "0", or an optional "-", a digit 1
// to 9 and at most 14 more digits. A date when it is a month-first date M/D/YYYY (month
// and day of one or two digits, "/" between) that is a real day of the years 1900 to
// 9999. Text in every other case.
TypedText typedText(std::u16string_view text);

// The serial number of a day of the years 1900 to 9999 in the 1900 date system.
double dateSerial(int year, int month, int day);

}  // namespace brosk::xls
