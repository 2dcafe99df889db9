// A growing little-endian byte buffer, for BIFF records and the compound file.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

namespace brosk::xls {

// Little-endian values written one after another into room made before, without a check
// for each: for records whose length is known.
class Cursor {
 public:
  explicit Cursor(std::uint8_t* at) : at_(at) {}
  Cursor& u16(std::uint16_t v) {
    *at_++ = static_cast<std::uint8_t>(v);
    *at_++ = static_cast<std::uint8_t>(v >> 8);
    return *this;
  }
  Cursor& u32(std::uint32_t v) {
    return u16(static_cast<std::uint16_t>(v)).u16(static_cast<std::uint16_t>(v >> 16));
  }
  Cursor& f64(double v) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return u32(static_cast<std::uint32_t>(bits)).u32(static_cast<std::uint32_t>(bits >> 32));
  }

 private:
  std::uint8_t* at_;
};

class Bytes {
 public:
  // Records are written a few bytes at a time: each write is a store into room the buffer
  // mostly has already.
  void u8(std::uint8_t v) {
    if (size_ == buffer_.size()) reserve(size_ + 1);
    buffer_[size_++] = v;
  }
  void u16(std::uint16_t v) {
    const std::uint8_t b[2] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)};
    put(b);
  }
  void u32(std::uint32_t v) {
    const std::uint8_t b[4] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                               static_cast<std::uint8_t>(v >> 16),
                               static_cast<std::uint8_t>(v >> 24)};
    put(b);
  }
  void f64(double v) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    u32(static_cast<std::uint32_t>(bits));
    u32(static_cast<std::uint32_t>(bits >> 32));
  }
  void raw(std::span<const std::uint8_t> bytes) { put(bytes.data(), bytes.size()); }
  // 32-bit values in a row.
  void u32s(std::span<const std::uint32_t> values) {
    std::uint8_t* at = extend(4 * values.size());
    for (const std::uint32_t v : values) {
      *at++ = static_cast<std::uint8_t>(v);
      *at++ = static_cast<std::uint8_t>(v >> 8);
      *at++ = static_cast<std::uint8_t>(v >> 16);
      *at++ = static_cast<std::uint8_t>(v >> 24);
    }
  }
  // Room for `n` more bytes, written through the pointer it returns.
  std::uint8_t* extend(std::size_t n) {
    if (size_ + n > buffer_.size()) reserve(size_ + n);
    std::uint8_t* at = buffer_.data() + size_;
    size_ += n;
    return at;
  }
  // Nothing is ever written past size_, and the room the buffer grows by is zeroed when it
  // is made: the bytes there are zeros already.
  void zeros(std::size_t n) {
    reserve(size_ + n);
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

  // Bytes written before, written again.
  void overwrite(std::size_t at, std::span<const std::uint8_t> bytes) {
    std::memcpy(buffer_.data() + at, bytes.data(), bytes.size());
  }

  std::size_t size() const { return size_; }
  void reserve(std::size_t n) {
    if (n > buffer_.size()) buffer_.resize(std::max(n, 2 * buffer_.size()));
  }
  // The bytes written so far.
  std::span<const std::uint8_t> view() const { return std::span(buffer_).first(size_); }
  // Empty again, keeping its memory (zeroed where it was written, as room must be).
  void clear() {
    std::fill_n(buffer_.begin(), size_, std::uint8_t{0});
    size_ = 0;
  }
  // The bytes written; the buffer is left empty.
  std::vector<std::uint8_t> take() {
    buffer_.resize(size_);
    size_ = 0;
    return std::move(buffer_);
  }

 private:
  template <std::size_t N>
  void put(const std::uint8_t (&bytes)[N]) {
    if (size_ + N > buffer_.size()) reserve(size_ + N);
    std::memcpy(buffer_.data() + size_, bytes, N);
    size_ += N;
  }
  void put(const std::uint8_t* bytes, std::size_t n) {
    if (size_ + n > buffer_.size()) reserve(size_ + n);
    std::memcpy(buffer_.data() + size_, bytes, n);
    size_ += n;
  }

  std::vector<std::uint8_t> buffer_;  // its size is the capacity; size_ bytes are in use, the
                                      // rest are zeros
  std::size_t size_ = 0;
};

}  // namespace brosk::xls
