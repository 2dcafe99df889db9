// Text helpers. Inside the plug-in every text is UTF-16, as automation strings and
// BIFF8 cells are; UTF-8 appears only where Linux files, terminals and JSON need it.
#pragma once

#include <string>
#include <string_view>

namespace brosk {

// UTF-8 to UTF-16. Malformed UTF-8 sequences become U+FFFD.
std::u16string fromUtf8(std::string_view utf8);

// UTF-16 to UTF-8. An unpaired surrogate becomes U+FFFD: UTF-8 cannot carry it.
std::string toUtf8(std::u16string_view utf16);

// True when the text holds a surrogate code unit without its partner.
bool hasUnpairedSurrogate(std::u16string_view text);

// Decimal digits of a signed integer, with a leading minus sign when negative.
std::u16string decimal(long long value);

// Whether two names are the same without regard to ASCII case, as automation compares
// member names and ProgIDs; the second may be given in UTF-16 or in ASCII.
bool equalsIgnoringAsciiCase(std::u16string_view a, std::u16string_view b);
bool equalsIgnoringAsciiCase(std::u16string_view a, std::string_view b);

}  // namespace brosk
