#include "xls/cfb.h"

#include <algorithm>
#include <string_view>

#include "xls/bytes.h"

namespace brosk::xls {
namespace {

constexpr std::size_t kSector = 512;
constexpr std::uint32_t kFree = 0xFFFFFFFF, kEndOfChain = 0xFFFFFFFE, kFatSector = 0xFFFFFFFD,
                        kDifatSector = 0xFFFFFFFC, kNoStream = 0xFFFFFFFF;
constexpr std::size_t kFatEntriesPerSector = kSector / 4;        // 128
constexpr std::size_t kDifatEntriesPerSector = kSector / 4 - 1;  // 127 and a next pointer
constexpr std::size_t kHeaderDifat = 109;
constexpr std::size_t kMiniStreamCutoff = 4096;

std::size_t sectorsFor(std::size_t bytes) {
  return (bytes + kSector - 1) / kSector;
}

void directoryEntry(Bytes& out, std::u16string_view name, std::uint8_t type, std::uint32_t child,
                    std::uint32_t start, std::uint32_t size, bool excelClsid) {
  for (const char16_t c : name) out.u16(c);
  out.zeros(64 - 2 * name.size());
  // An unused entry is all zeros but for its three links.
  out.u16(name.empty() ? 0 : static_cast<std::uint16_t>(2 * (name.size() + 1)));
  out.u8(type);
  out.u8(name.empty() ? 0 : 1);  // black
  out.u32(kNoStream);
  out.u32(kNoStream);
  out.u32(child);
  if (excelClsid) {
    // {00020820-0000-0000-C000-000000000046}: an Excel 97-2003 workbook.
    for (std::uint8_t b : {0x20, 0x08, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00,
                           0x00, 0x00, 0x00, 0x46}) {
      out.u8(b);
    }
  } else {
    out.zeros(16);
  }
  out.u32(0);     // state bits
  out.zeros(16);  // no creation or modification time: the same cells give the same bytes
  out.u32(start);
  out.u32(size);
  out.u32(0);
}

}  // namespace

std::vector<std::uint8_t> compoundFile(std::span<const std::uint8_t> stream) {
  const std::size_t streamSize = std::max(stream.size(), kMiniStreamCutoff);
  const std::size_t streamSectors = sectorsFor(streamSize);
  const std::size_t directorySectors = 1;  // root entry, the stream, two unused entries

  // FAT and DIFAT sectors also need FAT entries: grow both until they cover everything.
  std::size_t fatSectors = 0;
  std::size_t difatSectors = 0;
  while (true) {
    const std::size_t total = streamSectors + directorySectors + fatSectors + difatSectors;
    const std::size_t needFat = (total + kFatEntriesPerSector - 1) / kFatEntriesPerSector;
    const std::size_t needDifat =
        needFat <= kHeaderDifat
            ? 0
            : (needFat - kHeaderDifat + kDifatEntriesPerSector - 1) / kDifatEntriesPerSector;
    if (needFat == fatSectors && needDifat == difatSectors) break;
    fatSectors = needFat;
    difatSectors = needDifat;
  }

  const auto directoryStart = static_cast<std::uint32_t>(streamSectors);
  const auto fatStart = static_cast<std::uint32_t>(directoryStart + directorySectors);
  const auto difatStart = static_cast<std::uint32_t>(fatStart + fatSectors);
  const std::size_t totalSectors = difatStart + difatSectors;

  Bytes out;
  out.reserve(kSector * (1 + totalSectors));

  // Header.
  for (std::uint8_t b : {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1}) out.u8(b);
  out.zeros(16);    // class id
  out.u16(0x003E);  // minor version
  out.u16(0x0003);  // major version 3
  out.u16(0xFFFE);  // little-endian
  out.u16(9);       // 512-byte sectors
  out.u16(6);       // 64-byte mini sectors
  out.zeros(6);
  out.u32(0);  // directory sectors (always 0 in version 3)
  out.u32(static_cast<std::uint32_t>(fatSectors));
  out.u32(directoryStart);
  out.u32(0);  // transaction signature
  out.u32(kMiniStreamCutoff);
  out.u32(kEndOfChain);  // no mini FAT
  out.u32(0);
  out.u32(difatSectors ? difatStart : kEndOfChain);
  out.u32(static_cast<std::uint32_t>(difatSectors));
  for (std::size_t i = 0; i < kHeaderDifat; ++i) {
    out.u32(i < fatSectors ? static_cast<std::uint32_t>(fatStart + i) : kFree);
  }

  // The stream, padded to whole sectors.
  out.raw(stream);
  out.zeros(streamSectors * kSector - stream.size());

  // Directory.
  directoryEntry(out, u"Root Entry", 5, 1, kEndOfChain, 0, true);
  directoryEntry(out, u"Workbook", 2, kNoStream, 0, static_cast<std::uint32_t>(streamSize), false);
  for (int i = 0; i < 2; ++i) directoryEntry(out, u"", 0, kNoStream, 0, 0, false);

  // FAT.
  std::vector<std::uint32_t> fat(fatSectors * kFatEntriesPerSector, kFree);
  for (std::size_t i = 0; i < streamSectors; ++i) {
    fat[i] = i + 1 < streamSectors ? static_cast<std::uint32_t>(i + 1) : kEndOfChain;
  }
  fat[directoryStart] = kEndOfChain;
  for (std::size_t i = 0; i < fatSectors; ++i) fat[fatStart + i] = kFatSector;
  for (std::size_t i = 0; i < difatSectors; ++i) fat[difatStart + i] = kDifatSector;
  for (const std::uint32_t entry : fat) out.u32(entry);

  // DIFAT sectors: the FAT sectors beyond the 109 the header lists.
  for (std::size_t d = 0; d < difatSectors; ++d) {
    for (std::size_t k = 0; k < kDifatEntriesPerSector; ++k) {
      const std::size_t f = kHeaderDifat + d * kDifatEntriesPerSector + k;
      out.u32(f < fatSectors ? static_cast<std::uint32_t>(fatStart + f) : kFree);
    }
    out.u32(d + 1 < difatSectors ? static_cast<std::uint32_t>(difatStart + d + 1) : kEndOfChain);
  }
  return out.take();
}

}  // namespace brosk::xls
