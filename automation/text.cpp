#include "automation/text.h"

#include <cstdint>
#include <type_traits>

namespace brosk {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool isHigh(char16_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
bool isLow(char16_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

void appendUtf16(std::u16string& out, char32_t cp) {
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

void appendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

template <class Char>
bool sameIgnoringAsciiCase(std::u16string_view a, std::basic_string_view<Char> b) {
  auto lower = [](char32_t c) { return c >= U'A' && c <= U'Z' ? c + 32 : c; };
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(static_cast<char32_t>(static_cast<std::make_unsigned_t<Char>>(b[i]))))
      return false;
  }
  return true;
}

}  // namespace

bool equalsIgnoringAsciiCase(std::u16string_view a, std::u16string_view b) {
  return sameIgnoringAsciiCase(a, b);
}

bool equalsIgnoringAsciiCase(std::u16string_view a, std::string_view b) {
  return sameIgnoringAsciiCase(a, b);
}

std::u16string fromUtf8(std::string_view in) {
  std::u16string out;
  out.reserve(in.size());
  std::size_t i = 0;
  while (i < in.size()) {
    const auto b0 = static_cast<std::uint8_t>(in[i]);
    int extra = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if (b0 < 0x80) {
      out.push_back(b0);
      ++i;
      continue;
    } else if ((b0 & 0xE0) == 0xC0) {
      extra = 1, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
      extra = 2, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
      extra = 3, cp = b0 & 0x07, min = 0x10000;
    } else {
      out.push_back(kReplacement);
      ++i;
      continue;
    }
    std::size_t j = i + 1;
    bool ok = true;
    for (int k = 0; k < extra; ++k, ++j) {
      if (j >= in.size() || (static_cast<std::uint8_t>(in[j]) & 0xC0) != 0x80) {
        ok = false;
        break;
      }
      cp = (cp << 6) | (static_cast<std::uint8_t>(in[j]) & 0x3F);
    }
    if (!ok || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      out.push_back(kReplacement);
      i = ok ? j : i + 1;
      continue;
    }
    appendUtf16(out, cp);
    i = j;
  }
  return out;
}

std::string toUtf8(std::u16string_view in) {
  std::string out;
  out.reserve(in.size());
  for (std::size_t i = 0; i < in.size(); ++i) {
    const char16_t c = in[i];
    if (isHigh(c) && i + 1 < in.size() && isLow(in[i + 1])) {
      appendUtf8(out, 0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(in[i + 1]) - 0xDC00));
      ++i;
    } else if (isHigh(c) || isLow(c)) {
      appendUtf8(out, kReplacement);
    } else {
      appendUtf8(out, c);
    }
  }
  return out;
}

bool hasUnpairedSurrogate(std::u16string_view text) {
  // Most texts hold no surrogate at all: a pass the compiler can vectorize says so first.
  bool surrogates = false;
  for (const char16_t c : text) surrogates |= (c & 0xF800) == 0xD800;
  if (!surrogates) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (isHigh(text[i])) {
      if (i + 1 >= text.size() || !isLow(text[i + 1])) return true;
      ++i;
    } else if (isLow(text[i])) {
      return true;
    }
  }
  return false;
}

std::u16string decimal(long long value) {
  const std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}

}  // namespace brosk
