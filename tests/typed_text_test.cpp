// A text put into a cell as the spreadsheet application stores one typed: numbers and
// month-first dates where nothing is lost, the text itself otherwise.
#include <gtest/gtest.h>

#include <string>

#include "automation/text.h"
#include "xls/typed_text.h"

namespace brosk::xls {
namespace {

using Kind = TypedText::Kind;

struct Case {
  const char16_t* text;
  Kind kind;
  double value = 0;
};

void expectCases(std::initializer_list<Case> cases) {
  for (const Case& c : cases) {
    const TypedText typed = typedText(c.text);
    EXPECT_EQ(typed.kind, c.kind) << toUtf8(c.text);
    if (c.kind != Kind::Text) {
      EXPECT_EQ(typed.number, c.value) << toUtf8(c.text);
    }
  }
}

TEST(TypedText, CanonicalWholeNumbersBecomeNumbers) {
  expectCases({
      {u"0", Kind::Number, 0},
      {u"9", Kind::Number, 9},
      {u"2024", Kind::Number, 2024},
      {u"4711", Kind::Number, 4711},
      {u"-5", Kind::Number, -5},
      {u"123456789012345", Kind::Number, 123456789012345.0},
      {u"-999999999999999", Kind::Number, -999999999999999.0},
  });
}

// What the application would convert with a loss, or take for something it is not.
TEST(TypedText, EverythingElseStaysText) {
  expectCases({
      {u"0047", Kind::Text},  // a leading zero is part of a code
      {u"00", Kind::Text},
      {u"-0", Kind::Text},
      {u"+5", Kind::Text},
      {u"1234567890123456", Kind::Text},  // sixteen digits: no longer exact as a number
      {u"1E5", Kind::Text},
      {u"1e5", Kind::Text},
      {u"5%", Kind::Text},
      {u"$5", Kind::Text},
      {u"5€", Kind::Text},
      {u"1,5", Kind::Text},
      {u"1.5", Kind::Text},
      {u"1.000", Kind::Text},
      {u" 5", Kind::Text},
      {u"5 ", Kind::Text},
      {u"", Kind::Text},
      {u"-", Kind::Text},
      {u"TRUE", Kind::Text},
      {u"Verdadero", Kind::Text},
      {u"=1+1", Kind::Text},
      {u"1-2", Kind::Text},
      {u"3/4", Kind::Text},
      {u"12/2026", Kind::Text},
      {u"B60-2C", Kind::Text},
      {u"٣", Kind::Text},  // a digit of another script
  });
}

// Month first, as the date text of the header workbook is; "/" only; a real day of the
// years 1900 to 9999. The serials are those of the 1900 date system, 29 February 1900
// counted (xlrd's xldate_as_tuple and Python's datetime give the same days, see
// XlsEngine.DatesReadBackAsTheirDays).
TEST(TypedText, MonthFirstDatesOfRealDaysBecomeDates) {
  expectCases({
      {u"12/08/2026", Kind::Date, 46364},
      {u"1/1/1900", Kind::Date, 1},
      {u"01/01/1900", Kind::Date, 1},
      {u"2/28/1900", Kind::Date, 59},
      {u"3/1/1900", Kind::Date, 61},
      {u"2/29/2000", Kind::Date, 36585},
      {u"12/31/9999", Kind::Date, 2958465},
      {u"1/08/2026", Kind::Date, 46030},
  });
  expectCases({
      {u"08/12/2026 ", Kind::Text},
      {u"13/08/2026", Kind::Text},  // no month 13: not read day first
      {u"2/29/1900", Kind::Text},   // a day that never was
      {u"2/29/2026", Kind::Text},
      {u"4/31/2026", Kind::Text},
      {u"0/10/2026", Kind::Text},
      {u"10/0/2026", Kind::Text},
      {u"12/31/1899", Kind::Text},
      {u"1/1/10000", Kind::Text},
      {u"12/08/26", Kind::Text},
      {u"12-08-2026", Kind::Text},
      {u"12.08.2026", Kind::Text},
      {u"012/08/2026", Kind::Text},
      {u"12/008/2026", Kind::Text},
      {u"12/08/2026/1", Kind::Text},
  });
}

}  // namespace
}  // namespace brosk::xls
