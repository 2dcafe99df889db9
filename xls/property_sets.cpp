#include "xls/property_sets.h"

#include <array>
#include <string_view>

#include "brosk_version.h"
#include "xls/bytes.h"

namespace brosk::xls {
namespace {

using Fmtid = std::array<std::uint8_t, 16>;
// {F29F85E0-4FF9-1068-AB91-08002B27B3D9} and {D5CDD502-2E9C-101B-9397-08002B2CF9AE}
constexpr Fmtid kSummaryFmtid = {0xE0, 0x85, 0x9F, 0xF2, 0xF9, 0x4F, 0x68, 0x10,
                                 0xAB, 0x91, 0x08, 0x00, 0x2B, 0x27, 0xB3, 0xD9};
constexpr Fmtid kDocumentSummaryFmtid = {0x02, 0xD5, 0xCD, 0xD5, 0x9C, 0x2E, 0x1B, 0x10,
                                         0x93, 0x97, 0x08, 0x00, 0x2B, 0x2C, 0xF9, 0xAE};

constexpr std::uint16_t kVtI2 = 0x0002, kVtI4 = 0x0003, kVtBool = 0x000B, kVtVariant = 0x000C,
                        kVtLpstr = 0x001E, kVtVector = 0x1000;
constexpr std::uint32_t kCodePageProperty = 1;
constexpr std::int16_t kCodePage = 1252;

void padToFour(Bytes& out) {
  while (out.size() % 4 != 0) out.u8(0);
}

// A CodePageString in code page 1252: its length with the closing NUL, the characters,
// the NUL; a property's own value is padded to four bytes, an element of a vector is not
// (the next element's type follows at once, as [MS-OSHARED] lays out HeadingPairs). The
// texts written here are the product's own and Latin-1, which code page 1252 holds at the
// same values.
void codePageString(Bytes& out, std::u16string_view text, bool padded = true) {
  out.u32(static_cast<std::uint32_t>(text.size() + 1));
  for (const char16_t c : text) out.u8(static_cast<std::uint8_t>(c));
  out.u8(0);
  if (padded) padToFour(out);
}

// The typed values a property holds.
void i2(Bytes& out, std::int16_t value) {
  out.u16(kVtI2);
  out.u16(0);
  out.u16(static_cast<std::uint16_t>(value));
  out.u16(0);
}
void i4(Bytes& out, std::uint32_t value) {
  out.u16(kVtI4);
  out.u16(0);
  out.u32(value);
}
void boolean(Bytes& out, bool value) {
  out.u16(kVtBool);
  out.u16(0);
  out.u16(value ? 0xFFFF : 0);
  out.u16(0);
}
void lpstr(Bytes& out, std::u16string_view text, bool padded = true) {
  out.u16(kVtLpstr);
  out.u16(0);
  codePageString(out, text, padded);
}

struct Property {
  std::uint32_t id;
  Bytes value;
};

// A property set stream with one property set: the header, the FMTID and offset of the
// set, then the set (its size, the identifiers and offsets of its properties in the order
// given, the properties one after the other, the set padded to four bytes).
std::vector<std::uint8_t> propertySetStream(const Fmtid& fmtid, std::vector<Property> properties) {
  Bytes out;
  out.u16(0xFFFE);      // byte order
  out.u16(0);           // version
  out.u32(0x00020006);  // system: Windows
  out.zeros(16);        // class identifier
  out.u32(1);           // one property set
  for (const std::uint8_t b : fmtid) out.u8(b);
  out.u32(48);  // where the set begins
  const std::size_t set = out.size();
  out.u32(0);  // its size, set below
  out.u32(static_cast<std::uint32_t>(properties.size()));
  std::size_t offset = 8 + 8 * properties.size();
  for (const Property& p : properties) {
    out.u32(p.id);
    out.u32(static_cast<std::uint32_t>(offset));
    offset += p.value.size();
  }
  for (Property& p : properties) out.raw(p.value.take());
  padToFour(out);
  out.patch32(set, static_cast<std::uint32_t>(out.size() - set));
  return out.take();
}

template <class Write>
Property property(std::uint32_t id, Write write) {
  Property p{id, {}};
  write(p.value);
  return p;
}

}  // namespace

std::vector<std::uint8_t> summaryInformation() {
  std::vector<Property> properties;
  properties.push_back(property(kCodePageProperty, [](Bytes& v) { i2(v, kCodePage); }));
  properties.push_back(property(0x12, [](Bytes& v) { lpstr(v, u"brosk"); }));  // application
  properties.push_back(property(0x13, [](Bytes& v) { i4(v, 0); }));            // no security
  return propertySetStream(kSummaryFmtid, std::move(properties));
}

// Laid out as the spreadsheet application lays it: the flags and the version, then the
// parts' names, then HeadingPairs last, the strings inside both vectors unpadded. The parts'
// names end where the sheet's name ends, so that HeadingPairs' offset is a multiple of
// four only for some names, although [MS-OLEPS] asks every property to start at one: the
// application's files do so, and readers that take the padding inside HeadingPairs for the
// next element's type (Gnumeric, SheetJS's strict read) read this layout, and only this one,
// without a warning.
std::vector<std::uint8_t> documentSummaryInformation(const std::u16string& sheetName) {
  std::vector<Property> properties;
  properties.push_back(property(kCodePageProperty, [](Bytes& v) { i2(v, kCodePage); }));
  // The creating application's version, major in the high word: the one whose marks the
  // workbook carries (Excel 2003 Service Pack 3 writes 11.9999), and in its place, after
  // the code page.
  properties.push_back(property(0x17, [](Bytes& v) { i4(v, 11u << 16 | 9999); }));
  properties.push_back(property(0x0B, [](Bytes& v) { boolean(v, false); }));  // not scaled
  properties.push_back(property(0x10, [](Bytes& v) { boolean(v, false); }));  // links current
  properties.push_back(property(0x13, [](Bytes& v) { boolean(v, false); }));  // not shared
  properties.push_back(property(0x16, [](Bytes& v) { boolean(v, false); }));  // links unchanged
  properties.push_back(property(0x0D, [&](Bytes& v) {                         // the parts' names
    v.u16(kVtVector | kVtLpstr);
    v.u16(0);
    v.u32(1);
    codePageString(v, sheetName, false);
  }));
  // The parts of the document by heading: one worksheet.
  properties.push_back(property(0x0C, [](Bytes& v) {
    v.u16(kVtVector | kVtVariant);
    v.u16(0);
    v.u32(2);
    lpstr(v, u"Hojas de cálculo", false);
    i4(v, 1);
  }));
  return propertySetStream(kDocumentSummaryFmtid, std::move(properties));
}

}  // namespace brosk::xls
