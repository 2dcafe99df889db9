#include "xls/cfb.h"

#include <algorithm>
#include <array>
#include <numeric>
#include <string_view>

#include "xls/bytes.h"

namespace brosk::xls {
namespace {

constexpr std::size_t kSector = 512;
constexpr std::uint32_t kFree = 0xFFFFFFFF, kEndOfChain = 0xFFFFFFFE, kFatSector = 0xFFFFFFFD,
                        kDifatSector = 0xFFFFFFFC, kNoStream = 0xFFFFFFFF;
constexpr std::size_t kFatEntriesPerSector = kSector / 4;        // 128
constexpr std::size_t kDifatEntriesPerSector = kSector / 4 - 1;  // 127 and a next pointer
constexpr std::size_t kEntriesPerSector = kSector / 128;         // 4 directory entries
constexpr std::size_t kHeaderDifat = 109;
constexpr std::size_t kMiniStreamCutoff = 4096;

std::size_t sectorsFor(std::size_t bytes) {
  return (bytes + kSector - 1) / kSector;
}

// [MS-CFB] name order: a shorter name first; names of one length by their upper case.
bool nameBefore(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return a.size() < b.size();
  auto upper = [](char16_t c) { return c >= u'a' && c <= u'z' ? char16_t(c - 32) : c; };
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (upper(a[i]) != upper(b[i])) return upper(a[i]) < upper(b[i]);
  }
  return false;
}

// One directory entry's links and colour.
struct Node {
  std::uint32_t left = kNoStream;
  std::uint32_t right = kNoStream;
  bool red = false;
  int depth = 0;
};

// A balanced tree over entries sorted by name (ids from 1): each subtree's middle entry at
// its top. Its nil links all lie at the two deepest levels; when the deepest is partly
// filled its entries are red, so that every path has as many black entries.
std::uint32_t buildTree(const std::vector<std::uint32_t>& sorted, std::size_t from, std::size_t to,
                        int depth, std::vector<Node>& nodes) {
  if (from >= to) return kNoStream;
  const std::size_t middle = from + (to - from) / 2;
  const std::uint32_t id = sorted[middle];
  nodes[id].depth = depth;
  nodes[id].left = buildTree(sorted, from, middle, depth + 1, nodes);
  nodes[id].right = buildTree(sorted, middle + 1, to, depth + 1, nodes);
  return id;
}

void directoryEntry(Bytes& out, std::u16string_view name, std::uint8_t type, const Node& node,
                    std::uint32_t child, std::uint32_t start, std::uint32_t size,
                    bool workbookClsid) {
  for (const char16_t c : name) out.u16(c);
  out.zeros(64 - 2 * name.size());
  // An unused entry is all zeros but for its three links.
  out.u16(name.empty() ? 0 : static_cast<std::uint16_t>(2 * (name.size() + 1)));
  out.u8(type);
  out.u8(name.empty() || node.red ? 0 : 1);  // 1: black
  out.u32(node.left);
  out.u32(node.right);
  out.u32(child);
  if (workbookClsid) {
    // {00020820-0000-0000-C000-000000000046}: an Excel 97-2003 workbook.
    for (std::uint8_t b : {0x20, 0x08, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00,
                           0x00, 0x00, 0x00, 0x46}) {
      out.u8(b);
    }
  } else {
    out.zeros(16);
  }
  out.u32(0);     // state bits
  out.zeros(16);  // no creation or modification time: the same streams give the same bytes
  out.u32(start);
  out.u32(size);
  out.u32(0);
}

// Where everything lies, in sectors: the streams first, then the directory, the FAT and
// the DIFAT.
struct Layout {
  std::vector<std::size_t> sizes;   // each stream's length once padded
  std::vector<std::size_t> starts;  // each stream's first sector
  std::size_t entries = 0;          // directory entries: the root and the streams
  std::size_t directorySectors = 0;
  std::size_t fatSectors = 0;
  std::size_t difatSectors = 0;
  std::uint32_t directoryStart = 0, fatStart = 0, difatStart = 0;
  std::size_t totalSectors = 0;
};

// One stream of the file: its name and length.
struct Part {
  std::u16string_view name;
  std::size_t size;
};

Layout layOut(std::span<const Part> streams) {
  Layout l;
  std::size_t streamSectors = 0;
  for (const Part& s : streams) {
    l.sizes.push_back(std::max(s.size, kMiniStreamCutoff));
    l.starts.push_back(streamSectors);
    streamSectors += sectorsFor(l.sizes.back());
  }
  l.entries = streams.size() + 1;
  l.directorySectors = (l.entries + kEntriesPerSector - 1) / kEntriesPerSector;
  // FAT and DIFAT sectors also need FAT entries: grow both until they cover everything.
  while (true) {
    const std::size_t total = streamSectors + l.directorySectors + l.fatSectors + l.difatSectors;
    const std::size_t needFat = (total + kFatEntriesPerSector - 1) / kFatEntriesPerSector;
    const std::size_t needDifat =
        needFat <= kHeaderDifat
            ? 0
            : (needFat - kHeaderDifat + kDifatEntriesPerSector - 1) / kDifatEntriesPerSector;
    if (needFat == l.fatSectors && needDifat == l.difatSectors) break;
    l.fatSectors = needFat;
    l.difatSectors = needDifat;
  }
  l.directoryStart = static_cast<std::uint32_t>(streamSectors);
  l.fatStart = static_cast<std::uint32_t>(l.directoryStart + l.directorySectors);
  l.difatStart = static_cast<std::uint32_t>(l.fatStart + l.fatSectors);
  l.totalSectors = l.difatStart + l.difatSectors;
  return l;
}

void writeHeader(Bytes& out, const Layout& l) {
  for (std::uint8_t b : {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1}) out.u8(b);
  out.zeros(16);    // class id
  out.u16(0x003E);  // minor version
  out.u16(0x0003);  // major version 3
  out.u16(0xFFFE);  // little-endian
  out.u16(9);       // 512-byte sectors
  out.u16(6);       // 64-byte mini sectors
  out.zeros(6);
  out.u32(0);  // directory sectors (always 0 in version 3)
  out.u32(static_cast<std::uint32_t>(l.fatSectors));
  out.u32(l.directoryStart);
  out.u32(0);  // transaction signature
  out.u32(kMiniStreamCutoff);
  out.u32(kEndOfChain);  // no mini FAT
  out.u32(0);
  out.u32(l.difatSectors ? l.difatStart : kEndOfChain);
  out.u32(static_cast<std::uint32_t>(l.difatSectors));
  std::array<std::uint32_t, kHeaderDifat> difat;
  for (std::size_t i = 0; i < kHeaderDifat; ++i) {
    difat[i] = i < l.fatSectors ? static_cast<std::uint32_t>(l.fatStart + i) : kFree;
  }
  out.u32s(difat);
}

// The streams after the first (which is in place already), each padded to whole sectors.
void writeStreams(Bytes& out, std::size_t firstSize, std::span<const Stream> others,
                  const Layout& l) {
  out.zeros(sectorsFor(l.sizes[0]) * kSector - firstSize);
  for (std::size_t i = 0; i < others.size(); ++i) {
    out.raw(others[i].bytes);
    out.zeros(sectorsFor(l.sizes[i + 1]) * kSector - others[i].bytes.size());
  }
}

// The root, then the streams in the order given, linked into a tree by name.
void writeDirectory(Bytes& out, std::span<const Part> streams, const Layout& l) {
  std::vector<Node> nodes(l.entries);
  std::vector<std::uint32_t> sorted(streams.size());
  std::iota(sorted.begin(), sorted.end(), 1u);
  std::sort(sorted.begin(), sorted.end(), [&](std::uint32_t a, std::uint32_t b) {
    return nameBefore(streams[a - 1].name, streams[b - 1].name);
  });
  const std::uint32_t top = buildTree(sorted, 0, sorted.size(), 0, nodes);
  int deepest = 0;
  for (std::size_t id = 1; id < l.entries; ++id) deepest = std::max(deepest, nodes[id].depth);
  const bool perfect = streams.size() + 1 == (std::size_t{1} << (deepest + 1));
  for (std::size_t id = 1; id < l.entries; ++id) {
    nodes[id].red = !perfect && nodes[id].depth == deepest;
  }
  directoryEntry(out, u"Root Entry", 5, Node{}, top, kEndOfChain, 0, true);
  for (std::size_t i = 0; i < streams.size(); ++i) {
    directoryEntry(out, streams[i].name, 2, nodes[i + 1], kNoStream,
                   static_cast<std::uint32_t>(l.starts[i]), static_cast<std::uint32_t>(l.sizes[i]),
                   false);
  }
  for (std::size_t i = l.entries; i < l.directorySectors * kEntriesPerSector; ++i) {
    directoryEntry(out, u"", 0, Node{}, kNoStream, 0, 0, false);
  }
}

// Each stream's chain and the directory's (every sector before the FAT's own follows on
// to the next one, but for the last of each chain), then the FAT's and DIFAT's own
// sectors, then free entries to the end of the last FAT sector.
void writeFat(Bytes& out, const Layout& l) {
  std::size_t entry = 0;
  auto chain = [&](std::size_t count) {
    for (std::size_t k = 1; k < count; ++k, ++entry) out.u32(static_cast<std::uint32_t>(entry + 1));
    out.u32(kEndOfChain);
    ++entry;
  };
  for (const std::size_t size : l.sizes) chain(sectorsFor(size));
  chain(l.directorySectors);
  for (std::size_t i = 0; i < l.fatSectors; ++i) out.u32(kFatSector);
  for (std::size_t i = 0; i < l.difatSectors; ++i) out.u32(kDifatSector);
  for (entry = l.totalSectors; entry < l.fatSectors * kFatEntriesPerSector; ++entry) {
    out.u32(kFree);
  }
}

// The FAT sectors beyond the 109 the header lists, each DIFAT sector ending with the next.
void writeDifat(Bytes& out, const Layout& l) {
  for (std::size_t d = 0; d < l.difatSectors; ++d) {
    for (std::size_t k = 0; k < kDifatEntriesPerSector; ++k) {
      const std::size_t f = kHeaderDifat + d * kDifatEntriesPerSector + k;
      out.u32(f < l.fatSectors ? static_cast<std::uint32_t>(l.fatStart + f) : kFree);
    }
    out.u32(d + 1 < l.difatSectors ? static_cast<std::uint32_t>(l.difatStart + d + 1)
                                   : kEndOfChain);
  }
}

std::vector<Part> partsOf(std::u16string_view firstName, std::size_t firstSize,
                          std::span<const Stream> others) {
  std::vector<Part> parts{{firstName, firstSize}};
  for (const Stream& s : others) parts.push_back({s.name, s.bytes.size()});
  return parts;
}

}  // namespace

void finishCompoundFile(Bytes& file, std::u16string_view firstName,
                        std::span<const Stream> others) {
  const std::size_t firstSize = file.size() - kHeaderRoom;
  const std::vector<Part> parts = partsOf(firstName, firstSize, others);
  const Layout l = layOut(parts);
  file.reserve(kSector * (1 + l.totalSectors));
  writeStreams(file, firstSize, others, l);
  writeDirectory(file, parts, l);
  writeFat(file, l);
  writeDifat(file, l);
  Bytes header;
  writeHeader(header, l);
  file.overwrite(0, header.take());
}

std::size_t compoundFileSize(std::size_t firstSize, std::span<const Stream> others) {
  return kSector * (1 + layOut(partsOf(u"", firstSize, others)).totalSectors);
}

std::vector<std::uint8_t> compoundFile(std::span<const Stream> streams) {
  Bytes file;
  file.reserve(compoundFileSize(streams[0].bytes.size(), streams.subspan(1)));
  file.zeros(kHeaderRoom);
  file.raw(streams[0].bytes);
  finishCompoundFile(file, streams[0].name, streams.subspan(1));
  return file.take();
}

}  // namespace brosk::xls
