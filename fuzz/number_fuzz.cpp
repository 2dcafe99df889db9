// Fuzz target: reading numbers. The first byte picks the user's conventions, the rest is
// the text. What the locale reading accepts must read the same through strtod once the
// grouping symbols are taken out; the version reading never fails.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "automation/convert.h"
#include "automation/error.h"
#include "automation/text.h"

using namespace brosk;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static const NumberFormat kFormats[] = {
      {u",", u"."},    {u".", u","}, {u",", u"\u202F"},    {u".", u""},
      {u"dec", u"gr"}, {u",", u","}, {u".", u",", {3, 2}}, {u".", u" ", {3, 0}}};
  const NumberFormat& format = kFormats[data[0] % std::size(kFormats)];
  const std::u16string text =
      fromUtf8(std::string(reinterpret_cast<const char*>(data + 1), size - 1));

  const double version = leadingNumber(text);
  if (std::isnan(version)) std::abort();

  double value = 0;
  try {
    value = parseLocaleNumber(text, format);
  } catch (const RuntimeError& e) {
    if (e.number() != 13 && e.number() != 6) std::abort();
    return 0;
  }
  if (!std::isfinite(value)) std::abort();

  // The same text in the C library's terms: grouping out, the decimal separator a point.
  // A space-like grouping symbol stands for every kind of space between digits.
  auto spaceLike = [](char16_t c) { return c == u' ' || c == u'\u00A0' || c == u'\u202F'; };
  const bool spaceGrouping = format.grouping.size() == 1 && spaceLike(format.grouping[0]);
  auto digit = [](char16_t c) { return c >= u'0' && c <= u'9'; };
  std::u16string plain;
  for (std::size_t i = 0; i < text.size();) {
    if (!format.decimal.empty() && text.compare(i, format.decimal.size(), format.decimal) == 0) {
      plain += u'.';
      i += format.decimal.size();
    } else if (spaceGrouping && spaceLike(text[i]) && i > 0 && digit(text[i - 1]) &&
               i + 1 < text.size() && digit(text[i + 1])) {
      ++i;
    } else if (!format.grouping.empty() && format.grouping != format.decimal &&
               text.compare(i, format.grouping.size(), format.grouping) == 0) {
      i += format.grouping.size();
    } else {
      plain += text[i++];
    }
  }
  const std::string c = toUtf8(plain);
  char* end = nullptr;
  const double expected = std::strtod(c.c_str(), &end);
  while (*end == ' ' || *end == '\t') ++end;
  if (*end != '\0' || expected != value) std::abort();
  return 0;
}
