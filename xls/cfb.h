// The Compound File Binary container ([MS-CFB], version 3, 512-byte sectors) holding
// streams in its root storage.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

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

}  // namespace brosk::xls
