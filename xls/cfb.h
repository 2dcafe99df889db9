// The Compound File Binary container ([MS-CFB], version 3, 512-byte sectors) holding
// streams in its root storage.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "xls/bytes.h"

namespace brosk::xls {

struct Stream {
  std::u16string name;
  std::span<const std::uint8_t> bytes;
};

// The file: the streams in ordinary sectors, each padded with zeros to 4096 bytes at
// least, so that the file needs no mini stream (as the spreadsheet application writes
// 97-2003 workbooks); the directory's entries in a red-black tree in [MS-CFB] name order;
// no time stamps, so that the same streams give the same bytes.
std::vector<std::uint8_t> compoundFile(std::span<const Stream> streams);

// The same file made in place, so that the first stream is written once, straight into the
// file's buffer: `file` holds kHeaderRoom bytes (any) and then the first stream; the
// header goes over those bytes and the other streams, the directory and the FAT after.
inline constexpr std::size_t kHeaderRoom = 512;
void finishCompoundFile(Bytes& file, std::u16string_view firstName, std::span<const Stream> others);
// The file's length with a first stream of `firstSize` bytes; it grows with `firstSize`.
std::size_t compoundFileSize(std::size_t firstSize, std::span<const Stream> others);

}  // namespace brosk::xls
