// The automation seam: values, conversions, reading numbers, creation by ProgID.
#include <gtest/gtest.h>

#include "support.h"

#include <cmath>
#include <limits>

#include "automation/convert.h"
#include "automation/error.h"
#include "automation/factory.h"
#include "automation/text.h"

namespace brosk {
namespace {

using testing::errorOf;

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
  EXPECT_EQ(errorOf([] { toLong(Variant::dbl(2147483647.5), kSpanish); }), 6);
  EXPECT_EQ(errorOf([] { toLong(Variant::dbl(std::nan("")), kSpanish); }), 6);
  EXPECT_EQ(toLong(Variant(), kSpanish), 0);
  EXPECT_EQ(toLong(Variant::boolean(true), kSpanish), -1);
  EXPECT_EQ(toLong(Variant::text(u" 1.234,5 "), kSpanish), 1234);
  EXPECT_EQ(errorOf([] { toLong(Variant::text(u"siete"), kSpanish); }), 13);
  EXPECT_EQ(errorOf([] { toLong(Variant::text(u""), kSpanish); }), 13);
  EXPECT_EQ(errorOf([] { toLong(Variant::object(nullptr), kSpanish); }), 13);
}

TEST(Conversion, ToIntegerKeepsTo16Bits) {
  EXPECT_EQ(toInteger(Variant::lng(32767), kSpanish), 32767);
  EXPECT_EQ(toInteger(Variant::lng(-32768), kSpanish), -32768);
  EXPECT_EQ(toInteger(Variant::dbl(-32768.5), kSpanish), -32768);
  EXPECT_EQ(errorOf([] { toInteger(Variant::lng(32768), kSpanish); }), 6);
  EXPECT_EQ(errorOf([] { toInteger(Variant::dbl(32767.5), kSpanish); }), 6);
}

TEST(Conversion, ToBooleanFromTextAndNumbers) {
  EXPECT_TRUE(toBoolean(Variant::text(u"True"), kSpanish));
  EXPECT_TRUE(toBoolean(Variant::text(u"verdadero"), kSpanish));
  EXPECT_FALSE(toBoolean(Variant::text(u"FALSE"), kSpanish));
  EXPECT_FALSE(toBoolean(Variant::text(u"0"), kSpanish));
  EXPECT_TRUE(toBoolean(Variant::text(u"-1"), kSpanish));
  EXPECT_TRUE(toBoolean(Variant::lng(5), kSpanish));
  EXPECT_FALSE(toBoolean(Variant(), kSpanish));
  EXPECT_EQ(errorOf([] { toBoolean(Variant::text(u"sí"), kSpanish); }), 13);
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
  EXPECT_EQ(errorOf([] { toText(Variant::object(nullptr), kSpanish); }), 13);
}

struct NumberCase {
  const char16_t* text;
  double value;  // NAN: error 13
};

void expectReadings(const NumberFormat& format, std::initializer_list<NumberCase> cases) {
  for (const NumberCase& c : cases) {
    SCOPED_TRACE(toUtf8(c.text));
    if (std::isnan(c.value)) {
      EXPECT_EQ(errorOf([&] { parseLocaleNumber(c.text, format); }), 13);
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
                               {u"  -3,25\t", -3.25},
                               {u"+7", 7.0},
                               {u",5", 0.5},
                               {u"5,", 5.0},
                               {u"0", 0.0},
                               {u"1.5", 15.0},  // the point groups digits here
                               {u"", NAN},
                               {u"   ", NAN},
                               {u"abc", NAN},
                               {u"12a", NAN},
                               {u"1,5,0", NAN},
                               {u".5", NAN},  // grouping before any digit
                               {u"1,000.5", NAN},
                               {u"--1", NAN},
                               {u"-", NAN},
                               {u"1e5", NAN},
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
                               {u"1,0", 10.0},
                               {u"-0.125", -0.125},
                               {u"1.2.3", NAN},
                               {u"1,234,5", 12345.0},
                               {u"0,5", 5.0},
                           });
}

TEST(LocaleNumber, MultiCharacterAndBlankGroupingSymbols) {
  const NumberFormat french{u",", u"\u202F"};
  EXPECT_EQ(parseLocaleNumber(u"1\u202F234,5", french), 1234.5);
  const NumberFormat odd{u"dec", u"gr"};
  EXPECT_EQ(parseLocaleNumber(u"1gr234dec75", odd), 1234.75);
}

TEST(LocaleNumber, HugeNumbersOverflowTinyOnesReadAsZero) {
  const std::u16string huge(400, u'9');
  EXPECT_EQ(errorOf([&] { parseLocaleNumber(huge, kSpanish); }), 6);
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

TEST(RuntimeErrors, CarryTheSpanishDescriptions) {
  EXPECT_EQ(RuntimeError(9).description(), u"Subíndice fuera del intervalo");
  EXPECT_EQ(RuntimeError(13).description(), u"No coinciden los tipos");
  EXPECT_EQ(RuntimeError(429).description(), u"El componente ActiveX no puede crear el objeto");
  EXPECT_EQ(RuntimeError(70, u"x").description(), u"x");
  EXPECT_STREQ(RuntimeError(6).what(), "6: Desbordamiento");
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
  try {
    factory.create(u"KDSDK.Appli");
    FAIL() << "created an unknown class";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), 429);
    EXPECT_EQ(e.description(), u"El componente ActiveX no puede crear el objeto");
  }
}

TEST(ObjectFactory, CreatorFailurePassesThroughAndFallbackIsAskedLast) {
  ObjectFactory factory;
  factory.add(u"A.B", []() -> ObjectRef { throw RuntimeError(70); });
  EXPECT_EQ(errorOf([&] { factory.create(u"A.B"); }), 70);
  std::u16string asked;
  factory.setFallback([&](std::u16string_view id) -> ObjectRef {
    asked = id;
    return std::make_shared<Dummy>();
  });
  EXPECT_NE(factory.create(u"C.D"), nullptr);
  EXPECT_EQ(asked, u"C.D");
  EXPECT_EQ(errorOf([&] { factory.create(u"A.B"); }), 70);
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
