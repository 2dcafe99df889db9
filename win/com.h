// Owners for COM resources: interface pointers, BSTRs and VARIANTs are released when
// their owner goes, on every path.
#pragma once

#include <oleauto.h>
#include <windows.h>

#include <string>
#include <utility>

namespace brosk::win {

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

class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(const std::u16string& s)
      : b_(SysAllocStringLen(reinterpret_cast<const OLECHAR*>(s.data()),
                             static_cast<UINT>(s.size()))) {}
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  ~Bstr() { SysFreeString(b_); }
  BSTR get() const { return b_; }
  BSTR* put() {
    SysFreeString(b_);
    b_ = nullptr;
    return &b_;
  }
  // Hands the string to a callee that will free it.
  BSTR release() { return std::exchange(b_, nullptr); }

 private:
  BSTR b_ = nullptr;
};

inline std::u16string fromBstr(BSTR b) {
  return b ? std::u16string(reinterpret_cast<const char16_t*>(b), SysStringLen(b))
           : std::u16string();
}

class VariantGuard {
 public:
  VariantGuard() { VariantInit(&v_); }
  VariantGuard(const VariantGuard&) = delete;
  VariantGuard& operator=(const VariantGuard&) = delete;
  ~VariantGuard() { VariantClear(&v_); }
  VARIANT* get() { return &v_; }
  VARIANT& operator*() { return v_; }

 private:
  VARIANT v_;
};

}  // namespace brosk::win
