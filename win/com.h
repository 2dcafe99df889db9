// Owners for COM resources: interface pointers, BSTRs and VARIANTs are released when
// their owner goes, on every path.
#pragma once

#include <oleauto.h>
#include <windows.h>

#include <string>
#include <utility>

#include "platform/unique_any.h"

namespace brosk::win {

// A counted reference to an interface: copies AddRef, the last owner Releases.
template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  // Takes over a reference the caller already holds.
  explicit ComPtr(T* p) : p_(p) {}
  ComPtr(const ComPtr& o) : p_(o.p_) {
    if (p_) p_->AddRef();
  }
  ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  ComPtr& operator=(ComPtr o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }
  ~ComPtr() {
    if (p_) p_->Release();
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // For out-parameters: releases what it held and hands out the slot.
  T** put() {
    *this = ComPtr();
    return &p_;
  }
  void** putVoid() { return reinterpret_cast<void**>(put()); }

 private:
  T* p_ = nullptr;
};

using unique_bstr = unique_any<BSTR, &::SysFreeString>;

// A BSTR holding the text; no string (an owner of nothing) when there is no memory for it.
inline unique_bstr makeBstr(const std::u16string& s) noexcept {
  return unique_bstr(
      SysAllocStringLen(reinterpret_cast<const OLECHAR*>(s.data()), static_cast<UINT>(s.size())));
}

inline std::u16string fromBstr(BSTR b) {
  return b ? std::u16string(reinterpret_cast<const char16_t*>(b), SysStringLen(b))
           : std::u16string();
}

// A VARIANT is cleared rather than closed, and VT_EMPTY holds nothing.
struct variant_traits {
  using type = VARIANT;
  static VARIANT invalid() noexcept {
    VARIANT v;
    VariantInit(&v);
    return v;
  }
  static bool valid(const VARIANT& v) noexcept { return v.vt != VT_EMPTY; }
  static void close(VARIANT& v) noexcept { VariantClear(&v); }
};
using unique_variant = unique_any_t<variant_traits>;

}  // namespace brosk::win
