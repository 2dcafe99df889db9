// One owner for every kind of handle: unique_any_t<Traits> holds one value that
// Traits::close releases when the owner goes (or is reset), and Traits::invalid() is the
// value that owns nothing. A handle with a close function and an invalid value is one line:
//
//   using unique_fd = unique_any<int, &::close, -1>;
//   using unique_find = unique_any<HANDLE, &::FindClose, -1>;  // INVALID_HANDLE_VALUE
//
// A structure that is cleared rather than closed (a VARIANT) gives traits of its own.
#pragma once

#include <cstdint>
#include <type_traits>
#include <utility>

namespace brosk {

template <class Traits>
class unique_any_t {
 public:
  using value_type = typename Traits::type;

  unique_any_t() noexcept : value_(Traits::invalid()) {}
  // Takes over a value the caller owns.
  explicit unique_any_t(value_type value) noexcept : value_(value) {}
  unique_any_t(unique_any_t&& other) noexcept : value_(other.release()) {}
  unique_any_t& operator=(unique_any_t&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  unique_any_t(const unique_any_t&) = delete;
  unique_any_t& operator=(const unique_any_t&) = delete;
  ~unique_any_t() { reset(); }

  // Releases what is owned, then owns `value`.
  void reset(value_type value = Traits::invalid()) noexcept {
    if (Traits::valid(value_)) Traits::close(value_);
    value_ = value;
  }
  // Hands the value to the caller, who then owns it.
  value_type release() noexcept { return std::exchange(value_, Traits::invalid()); }

  value_type get() const noexcept { return value_; }
  // The storage itself, for calls that fill it in (an out-parameter) or work on it in
  // place; whatever was owned is released first.
  value_type* put() noexcept {
    reset();
    return &value_;
  }
  value_type* addressof() noexcept { return &value_; }
  explicit operator bool() const noexcept { return Traits::valid(value_); }

 private:
  value_type value_;
};

// The traits of a plain handle: its type, the function that closes it, and the invalid
// value as an integer (a pointer type takes it through reinterpret_cast, as Windows
// defines INVALID_HANDLE_VALUE).
template <class T, auto Close, std::intptr_t Invalid>
struct handle_traits {
  using type = T;
  static T invalid() noexcept {
    if constexpr (std::is_pointer_v<T>) {
      return reinterpret_cast<T>(Invalid);
    } else {
      return static_cast<T>(Invalid);
    }
  }
  static bool valid(T value) noexcept { return value != invalid(); }
  static void close(T value) noexcept { Close(value); }
};

template <class T, auto Close, std::intptr_t Invalid = 0>
using unique_any = unique_any_t<handle_traits<T, Close, Invalid>>;

}  // namespace brosk
