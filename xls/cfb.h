// The Compound File Binary container ([MS-CFB], version 3, 512-byte sectors) holding
// one stream named "Workbook" in its root storage.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace brosk::xls {

// Streams shorter than 4096 bytes are padded with zeros to that size, so that the
// stream lives in ordinary sectors and the file needs no mini stream.
std::vector<std::uint8_t> compoundFile(std::span<const std::uint8_t> workbookStream);

}  // namespace brosk::xls
