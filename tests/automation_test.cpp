// The automation seam: values, conversions, reading numbers, creation by ProgID.
#include <gtest/gtest.h>

#include "support.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "automation/convert.h"
#include "automation/error.h"
#include "automation/factory.h"
#include "automation/text.h"

namespace brosk {
namespace {

const NumberFormat kSpanish{u",", u"."};
const NumberFormat kEnglish{u".", u","};

// The number of the run-time error `body` raises, or 0 when it raises none.

TEST(Variant, BooleanReadsAnyNonZeroAsTrue) {
  EXPECT_EQ(Variant::boolean(true).rawBoolean(), -1);
  EXPECT_EQ(Variant::boolean(false).rawBoolean(), 0);
  EXPECT_TRUE(Variant::rawBoolean(1).asBoolean());
  EXPECT_TRUE(toBoolean(Variant::rawBoolean(2), kSpanish));
  EXPECT_FALSE(toBoolean(Variant::rawBoolean(0), kSpanish));
}

TEST(Conversion, ToLongRoundsHalfToEvenAndOverflowsWithError6) {
  EXPECT_EQ(toLong(Variant::dbl(2.5), kSpanish), 2);
  EXPECT_EQ(toLong(Variant::dbl(3.5), kSpanish), 4);
  EXPECT_EQ(toLong(Variant::dbl(-2.5), kSpanish), -2);
  EXPECT_EQ(toLong(Variant::dbl(2147483646.5), kSpanish), 2147483646);
  EXPECT_EQ(toLong(Variant::dbl(-2147483648.0), kSpanish),
            std::numeric_limits<std::int32_t>::min());
  EXPECT_RAISES(toLong(Variant::dbl(2147483647.5), kSpanish), 6);
  EXPECT_RAISES(toLong(Variant::dbl(std::nan("")), kSpanish), 6);
  EXPECT_EQ(toLong(Variant(), kSpanish), 0);
  EXPECT_EQ(toLong(Variant::boolean(true), kSpanish), -1);
  EXPECT_EQ(toLong(Variant::text(u" 1.234,5 "), kSpanish), 1234);
  EXPECT_RAISES(toLong(Variant::text(u"siete"), kSpanish), 13);
  EXPECT_RAISES(toLong(Variant::text(u""), kSpanish), 13);
  EXPECT_RAISES(toLong(Variant::object(nullptr), kSpanish), 13);
}

TEST(Conversion, ToIntegerKeepsTo16Bits) {
  EXPECT_EQ(toInteger(Variant::lng(32767), kSpanish), 32767);
  EXPECT_EQ(toInteger(Variant::lng(-32768), kSpanish), -32768);
  EXPECT_EQ(toInteger(Variant::dbl(-32768.5), kSpanish), -32768);
  EXPECT_RAISES(toInteger(Variant::lng(32768), kSpanish), 6);
  EXPECT_RAISES(toInteger(Variant::dbl(32767.5), kSpanish), 6);
}

TEST(Conversion, ToBooleanFromTextAndNumbers) {
  EXPECT_TRUE(toBoolean(Variant::text(u"True"), kSpanish));
  EXPECT_TRUE(toBoolean(Variant::text(u"verdadero"), kSpanish));
  EXPECT_FALSE(toBoolean(Variant::text(u"FALSE"), kSpanish));
  EXPECT_FALSE(toBoolean(Variant::text(u"0"), kSpanish));
  EXPECT_TRUE(toBoolean(Variant::text(u"-1"), kSpanish));
  EXPECT_TRUE(toBoolean(Variant::lng(5), kSpanish));
  EXPECT_FALSE(toBoolean(Variant(), kSpanish));
  EXPECT_RAISES(toBoolean(Variant::text(u"sí"), kSpanish), 13);
}

TEST(Conversion, NullConvertsToNothing) {
  for (auto convert :
       {+[] { toText(Variant::null(), kSpanish); }, +[] { toLong(Variant::null(), kSpanish); },
        +[] { toInteger(Variant::null(), kSpanish); }, +[] { toDouble(Variant::null(), kSpanish); },
        +[] { toBoolean(Variant::null(), kSpanish); }}) {
    EXPECT_RAISES(convert(), 94);
  }
  EXPECT_EQ(RuntimeError(94).description(), u"Uso no válido de Null");
  EXPECT_NE(Variant::null(), Variant());
}

TEST(Conversion, ToTextWritesNumbersInTheUsersConvention) {
  EXPECT_EQ(toText(Variant::dbl(125.5), kSpanish), u"125,5");
  EXPECT_EQ(toText(Variant::dbl(125.5), kEnglish), u"125.5");
  EXPECT_EQ(toText(Variant::dbl(0.1), kSpanish), u"0,1");
  EXPECT_EQ(toText(Variant::dbl(1e20), kSpanish), u"1E+20");
  EXPECT_EQ(toText(Variant::dbl(-0.0), kSpanish), u"0");
  EXPECT_EQ(toText(Variant::dbl(1.0 / 3), kSpanish), u"0,333333333333333");
  EXPECT_EQ(toText(Variant::lng(-5), kSpanish), u"-5");
  EXPECT_EQ(toText(Variant::integer(19), kSpanish), u"19");
  EXPECT_EQ(toText(Variant::boolean(true), kSpanish), u"True");
  EXPECT_EQ(toText(Variant(), kSpanish), u"");
  EXPECT_RAISES(toText(Variant::object(nullptr), kSpanish), 13);
}

struct NumberCase {
  const char16_t* text;
  double value;  // NAN: error 13
};

void expectReadings(const NumberFormat& format, std::initializer_list<NumberCase> cases) {
  for (const NumberCase& c : cases) {
    SCOPED_TRACE(toUtf8(c.text));
    if (std::isnan(c.value)) {
      EXPECT_RAISES(parseLocaleNumber(c.text, format), 13);
    } else {
      EXPECT_EQ(parseLocaleNumber(c.text, format), c.value);
    }
  }
}

TEST(LocaleNumber, CommaDecimalConvention) {
  expectReadings(kSpanish, {
                               {u"125,50", 125.5},
                               {u"1,0", 1.0},
                               {u"18", 18.0},
                               {u"1.234,5", 1234.5},
                               {u"1.234.567", 1234567.0},
                               {u"12.345.678", 12345678.0},
                               {u"-1.234", -1234.0},
                               {u"1234567,5", 1234567.5},  // grouping is optional
                               {u"  -3,25\t", -3.25},
                               {u"+7", 7.0},
                               {u",5", 0.5},
                               {u"5,", 5.0},
                               {u"0", 0.0},
                               {u"", NAN},
                               {u"   ", NAN},
                               {u"abc", NAN},
                               {u"12a", NAN},
                               {u"1,5,0", NAN},
                               {u".5", NAN},  // grouping before any digit
                               {u"1,000.5", NAN},
                               {u"--1", NAN},
                               {u"-", NAN},
                               {u"NaN", NAN},
                               {u" 1 . 000 ", NAN},
                               {u"1 000", NAN},
                               {u"١٢", NAN},  // only ASCII digits
                           });
}

TEST(LocaleNumber, PointDecimalConvention) {
  expectReadings(kEnglish, {
                               {u"125.50", 125.5},
                               {u"1,234.5", 1234.5},
                               {u"1,234,567.25", 1234567.25},
                               {u"-0.125", -0.125},
                               {u"1.2.3", NAN},
                           });
}

// A grouping symbol that is not between digit groups of the locale's sizes is no
// grouping at all: the text is not a number, rather than a number ten or a hundred
// times too large ("1,0" is the dialog's own initial point value).
TEST(LocaleNumber, MisplacedGroupingSymbolsAreNotNumbers) {
  expectReadings(kEnglish, {
                               {u"1,0", NAN},
                               {u"0,5", NAN},
                               {u"1,234,5", NAN},
                               {u"12,34", NAN},
                               {u"1,2345", NAN},
                               {u"1234,567", NAN},  // a first group of more than 3
                               {u"1,,234", NAN},
                               {u"1,", NAN},
                               {u"1,.5", NAN},
                               {u",123", NAN},
                           });
  expectReadings(kSpanish, {
                               {u"99.50", NAN},  // a point price under Spanish conventions
                               {u"1.5", NAN},
                               {u"1.23,4", NAN},
                               {u"1.234.56", NAN},
                               {u"1.234.5678", NAN},
                           });
}

TEST(LocaleNumber, GroupSizesComeFromTheLocale) {
  const NumberFormat india{u".", u",", {3, 2}};
  expectReadings(india, {
                            {u"1,23,45,678.5", 12345678.5},
                            {u"12,34,567", 1234567.0},
                            {u"1,234", 1234.0},
                            {u"12,345", 12345.0},
                            {u"1,234,567", NAN},
                            {u"123,45,678", NAN},
                        });
  const NumberFormat once{u".", u",", {3, 0}};  // one group of three, the rest together
  expectReadings(once, {{u"1234567,890", 1234567890.0}, {u"1,234,567", NAN}});
  const NumberFormat none{u".", u",", {}};
  expectReadings(none, {{u"1234", 1234.0}, {u"1,234", NAN}});

  EXPECT_EQ(groupsFromPosix("\3\3"), (std::vector<int>{3, 3}));
  EXPECT_EQ(groupsFromPosix("\3\2"), (std::vector<int>{3, 2}));
  EXPECT_EQ(groupsFromPosix("\3\x7F"), (std::vector<int>{3, 0}));
  EXPECT_EQ(groupsFromPosix(""), std::vector<int>{});
  EXPECT_EQ(groupsFromWindows(u"3;0"), (std::vector<int>{3}));
  EXPECT_EQ(groupsFromWindows(u"3;2;0"), (std::vector<int>{3, 2}));
  EXPECT_EQ(groupsFromWindows(u"3"), (std::vector<int>{3, 0}));
  EXPECT_EQ(groupsFromWindows(u"0"), std::vector<int>{});
}

TEST(LocaleNumber, ExponentsAfterTheMantissa) {
  expectReadings(kSpanish, {
                               {u"1E+15", 1e15},
                               {u"1E-05", 1e-5},
                               {u"1e5", 1e5},
                               {u"-2,5E3", -2500.0},
                               {u"1.234,5e-2", 12.345},
                               {u",5E1", 5.0},
                               {u"1E", NAN},
                               {u"1E+", NAN},
                               {u"E5", NAN},
                               {u"1E5,5", NAN},
                               {u"1 E5", NAN},
                           });
  EXPECT_RAISES(parseLocaleNumber(u"1e400", kSpanish), 6);
  EXPECT_RAISES(parseLocaleNumber(u"0,1e310", kSpanish), 6);
  EXPECT_EQ(parseLocaleNumber(u"0,1e309", kSpanish), 1e308);
  EXPECT_EQ(parseLocaleNumber(u"1e-400", kSpanish), 0.0);
  EXPECT_EQ(parseLocaleNumber(u"1000e-310", kSpanish), 1e-307);
  EXPECT_EQ(parseLocaleNumber(u"0e99999999999999999999", kSpanish), 0.0);
  EXPECT_RAISES(parseLocaleNumber(u"1e99999999999999999999", kSpanish), 6);
}

// Every number the plug-in writes as text reads back as the same number, and writing
// that again gives the same text: a host result of code 43 that is a Double survives.
TEST(LocaleNumber, TextOfEveryFiniteDoubleReadsBack) {
  std::vector<double> values = {0.0,      1.0,
                                -1.0,     0.1,
                                1e15,     1e-5,
                                1e16,     123456789012345.0,
                                0.000123, 1.0 / 3,
                                2.0 / 3,  1e308,
                                -1e308,   1.7976931348623157e308,
                                5e-324,   2.2250738585072014e-308,
                                99.995,   1234567.89};
  std::uint64_t bits = 0x9E3779B97F4A7C15u;
  for (int i = 0; i < 20000; ++i) {
    bits ^= bits << 13, bits ^= bits >> 7, bits ^= bits << 17;
    double d = 0;
    std::memcpy(&d, &bits, sizeof d);
    if (std::isfinite(d)) values.push_back(d);
  }
  for (const NumberFormat& format : {kSpanish, kEnglish}) {
    for (const double d : values) {
      const std::u16string text = toText(Variant::dbl(d), format);
      SCOPED_TRACE(toUtf8(text));
      double back = 0;
      ASSERT_NO_THROW(back = parseLocaleNumber(text, format));
      std::string plain = toUtf8(text);
      std::replace(plain.begin(), plain.end(), ',', '.');
      EXPECT_EQ(back, std::strtod(plain.c_str(), nullptr));
      EXPECT_EQ(toText(Variant::dbl(back), format), text);
    }
  }
}

TEST(LocaleNumber, MultiCharacterAndBlankGroupingSymbols) {
  const NumberFormat french{u",", u"\u202F"};
  EXPECT_EQ(parseLocaleNumber(u"1\u202F234,5", french), 1234.5);
  // Where the locale groups with a space, any of the spaces typed there groups.
  EXPECT_EQ(parseLocaleNumber(u"1 234,5", french), 1234.5);
  EXPECT_EQ(parseLocaleNumber(u"1\u00A0234\u00A0567", french), 1234567.0);
  EXPECT_EQ(parseLocaleNumber(u" 12 345 ", french), 12345.0);
  EXPECT_RAISES(parseLocaleNumber(u"1 2,5", french), 13);
  EXPECT_RAISES(parseLocaleNumber(u"1  234", french), 13);
  const NumberFormat windowsFrench{u",", u"\u00A0"};
  EXPECT_EQ(parseLocaleNumber(u"1 234,5", windowsFrench), 1234.5);
  const NumberFormat odd{u"dec", u"gr"};
  EXPECT_EQ(parseLocaleNumber(u"1gr234dec75", odd), 1234.75);
}

TEST(LocaleNumber, HugeNumbersOverflowTinyOnesReadAsZero) {
  const std::u16string huge(400, u'9');
  EXPECT_RAISES(parseLocaleNumber(huge, kSpanish), 6);
  const std::u16string tiny = u"0," + std::u16string(400, u'0') + u"1";
  EXPECT_EQ(parseLocaleNumber(tiny, kSpanish), 0.0);
}

TEST(LeadingNumber, ReadsTheVersionTextWhateverTheLocale) {
  EXPECT_EQ(leadingNumber(u"12.0"), 12.0);
  EXPECT_EQ(leadingNumber(u"11.0"), 11.0);
  EXPECT_EQ(leadingNumber(u"16.0"), 16.0);
  EXPECT_EQ(leadingNumber(u" 1 6 . 5 "), 16.5);
  EXPECT_EQ(leadingNumber(u"\t12\n.5beta"), 12.5);
  EXPECT_EQ(leadingNumber(u"9.0.1"), 9.0);
  EXPECT_EQ(leadingNumber(u"12,0"), 12.0);
  EXPECT_EQ(leadingNumber(u""), 0.0);
  EXPECT_EQ(leadingNumber(u"versión 12"), 0.0);
  EXPECT_EQ(leadingNumber(u"."), 0.0);
  EXPECT_EQ(leadingNumber(u"-3"), -3.0);
}

// As a VB caller reads an error, on every platform alike: a given description stands, an
// empty one is the standard description of the number (that of an automation error for
// an HRESULT of another facility), and an HRESULT of the VB facility is its VB number.
TEST(RuntimeErrors, ReadAsAVbCallerReadsThem) {
  EXPECT_EQ(RuntimeError(70, u"x").description(), u"x");
  EXPECT_STREQ(RuntimeError(6).what(), "6: Desbordamiento");
  EXPECT_EQ(RuntimeError(70, u"").description(), u"Permiso denegado");
  EXPECT_EQ(RuntimeError(-2147221005, u"").description(), u"Error de automatización");
  const RuntimeError vb(-2146828218, u"ocupado");  // 0x800A0046
  EXPECT_EQ(vb.number(), 70);
  EXPECT_EQ(vb.description(), u"ocupado");
  EXPECT_EQ(RuntimeError(static_cast<std::int32_t>(0x800A01ADu)).number(), 429);
  // A bare 0x800A0000 names no error: the automation error, as the DLL reads it too.
  EXPECT_EQ(RuntimeError(static_cast<std::int32_t>(0x800A0000u)).number(), 440);
}

TEST(RuntimeErrors, AnyExceptionBecomesARuntimeError) {
  auto map = [](auto thrower) {
    try {
      thrower();
    } catch (...) {
      return currentError();
    }
    return RuntimeError(0);
  };
  EXPECT_EQ(map([] { throw std::bad_alloc(); }).number(), 7);
  const RuntimeError other = map([] { throw std::runtime_error("roto"); });
  EXPECT_EQ(other.number(), 440);
  EXPECT_EQ(other.description(), u"roto");
  EXPECT_EQ(map([] { throw RuntimeError(52); }).number(), 52);
}

class Dummy : public Object {
 public:
  Variant call(std::u16string_view, CallKind, std::span<const Arg>) override { return {}; }
};

TEST(ObjectFactory, CreatesByProgIdWithoutRegardToCase) {
  ObjectFactory factory;
  int made = 0;
  factory.add(u"Excel.Application", [&] {
    ++made;
    return std::make_shared<Dummy>();
  });
  EXPECT_NE(factory.create(u"excel.application"), nullptr);
  EXPECT_EQ(made, 1);
}

TEST(ObjectFactory, UnknownProgIdIsError429) {
  ObjectFactory factory;
  EXPECT_RAISES(factory.create(u"KDSDK.Appli"), 429,
                u"El componente ActiveX no puede crear el objeto");
}

// A class that fails with a run-time error of its own is reported so; any other failure
// to make the object (an HRESULT of another facility) is error 429, as on Windows.
TEST(ObjectFactory, CreatorFailurePassesThroughAndFallbackIsAskedLast) {
  ObjectFactory factory;
  factory.add(u"A.B", []() -> ObjectRef { throw RuntimeError(70); });
  EXPECT_RAISES(factory.create(u"A.B"), 70);
  factory.add(u"E.F", []() -> ObjectRef { throw RuntimeError(-2147221005, u"no registrada"); });
  EXPECT_RAISES(factory.create(u"E.F"), 429, u"El componente ActiveX no puede crear el objeto");
  std::u16string asked;
  factory.setFallback([&](std::u16string_view id) -> ObjectRef {
    asked = id;
    return std::make_shared<Dummy>();
  });
  EXPECT_NE(factory.create(u"C.D"), nullptr);
  EXPECT_EQ(asked, u"C.D");
  EXPECT_RAISES(factory.create(u"A.B"), 70);
}

TEST(Text, Utf8RoundTripKeepsEveryCharacter) {
  const std::u16string text = u"Atención ¡¡Exito!! \r\n 𝄞 ñ";
  EXPECT_EQ(fromUtf8(toUtf8(text)), text);
  EXPECT_EQ(toUtf8(u"𝄞"), "\xF0\x9D\x84\x9E");
}

TEST(Text, UnpairedSurrogatesAndBadUtf8BecomeReplacementCharacters) {
  const std::u16string lone = {u'a', char16_t(0xD800), u'b'};
  EXPECT_TRUE(hasUnpairedSurrogate(lone));
  EXPECT_FALSE(hasUnpairedSurrogate(u"a𝄞b"));
  EXPECT_EQ(toUtf8(lone),
            "a\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(fromUtf8("a\xC3"), u"a\uFFFD");
  EXPECT_EQ(fromUtf8("\xED\xA0\x80"), u"\uFFFD");  // an encoded surrogate
}

}  // namespace
}  // namespace brosk
