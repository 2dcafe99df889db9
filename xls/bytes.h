// A growing little-endian byte buffer, for BIFF records and the compound file.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

namespace brosk::xls {

class Bytes {
 public:
  void u8(std::uint8_t v) { put(&v, 1); }
  void u16(std::uint16_t v) {
    const std::uint8_t b[2] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)};
    put(b, 2);
  }
  void u32(std::uint32_t v) {
    const std::uint8_t b[4] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                               static_cast<std::uint8_t>(v >> 16),
                               static_cast<std::uint8_t>(v >> 24)};
    put(b, 4);
  }
  void f64(double v) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    u32(static_cast<std::uint32_t>(bits));
    u32(static_cast<std::uint32_t>(bits >> 32));
  }
  void raw(std::span<const std::uint8_t> bytes) { put(bytes.data(), bytes.size()); }
  void zeros(std::size_t n) {
    reserve(size_ + n);
    std::memset(buffer_.data() + size_, 0, n);
    size_ += n;
  }

  void patch16(std::size_t at, std::uint16_t v) {
    buffer_[at] = static_cast<std::uint8_t>(v);
    buffer_[at + 1] = static_cast<std::uint8_t>(v >> 8);
  }
  void patch32(std::size_t at, std::uint32_t v) {
    patch16(at, static_cast<std::uint16_t>(v));
    patch16(at + 2, static_cast<std::uint16_t>(v >> 16));
  }

  std::size_t size() const { return size_; }
  void reserve(std::size_t n) {
    if (n > buffer_.size()) buffer_.resize(std::max(n, 2 * buffer_.size()));
  }
  // The bytes written; the buffer is left empty.
  std::vector<std::uint8_t> take() {
    buffer_.resize(size_);
    size_ = 0;
    return std::move(buffer_);
  }

 private:
  void put(const std::uint8_t* bytes, std::size_t n) {
    if (size_ + n > buffer_.size()) reserve(size_ + n);
    std::memcpy(buffer_.data() + size_, bytes, n);
    size_ += n;
  }

  std::vector<std::uint8_t> buffer_;  // its size is the capacity; size_ bytes are in use
  std::size_t size_ = 0;
};

}  // namespace brosk::xls
