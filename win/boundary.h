// The one boundary where C++ meets COM. Every function another component calls (the
// exported entry points, the class factories, every IDispatch and _Plugin method) runs
// its body through resultFromException, so that no C++ exception ever reaches the caller,
// whose process an exception would end. And the IUnknown of every COM object of the
// library, written once: QueryInterface driven by a static table of the interfaces a class
// offers, AddRef and Release on an atomic count, and the module's count of live objects.
#pragma once

#include <objbase.h>
#include <oleauto.h>
#include <windows.h>

#include <atomic>
#include <span>
#include <type_traits>

#include "automation/error.h"
#include "win/module.h"

namespace brosk::win {

// The HRESULT for the exception being handled; call it only in a catch block. An
// allocation failure is E_OUTOFMEMORY, said without allocating anything; a run-time error
// is 0x800A0000 + its number (an HRESULT given as the number stays as it is), and its
// description becomes the thread's error information, from `source` for interface `iid`;
// anything else is E_UNEXPECTED. The thread's error information is cleared where there
// is none to give, so that a caller never reads an earlier call's.
HRESULT resultFromCaughtException(const wchar_t* source, REFIID iid) noexcept;

// Hands a run-time error to the caller through IErrorInfo, as a VB component does.
void setErrorInfo(const RuntimeError& e, const wchar_t* source, const IID& iid) noexcept;

// The HRESULT for a run-time error number: 0x800A0000 + N for a VB number, the number
// itself when it is an HRESULT (negative).
HRESULT hresultOf(std::int32_t number) noexcept;

// Runs `body`, which returns an HRESULT or nothing (S_OK), as an entry from outside.
template <class Body>
HRESULT resultFromException(const wchar_t* source, REFIID iid, Body&& body) noexcept {
  try {
    if constexpr (std::is_void_v<std::invoke_result_t<Body>>) {
      body();
      return S_OK;
    } else {
      return body();
    }
  } catch (...) {
    return resultFromCaughtException(source, iid);
  }
}

// For IDispatch::Invoke: a failure whose description the callee left in the thread's
// error information reaches the caller as DISP_E_EXCEPTION, with the number and the
// description in EXCEPINFO (the error information stays set too). Any other result
// passes as it is.
HRESULT withExceptionInfo(HRESULT hr, EXCEPINFO* info) noexcept;

// --- IUnknown ----------------------------------------------------------------------------

// One row of a class's table of interfaces: the identifier, and the interface of the
// object that answers to it.
template <class Self>
struct InterfaceEntry {
  const IID* iid;
  IUnknown* (*cast)(Self*) noexcept;
};

template <class Self, class Interface>
IUnknown* asInterface(Self* self) noexcept {
  return static_cast<Interface*>(self);
}

// QueryInterface over a table; its first row must answer IID_IUnknown.
template <class Self>
HRESULT queryInterface(Self* self, std::span<const InterfaceEntry<Self>> table, REFIID riid,
                       void** out) noexcept {
  if (out == nullptr) return E_POINTER;
  for (const InterfaceEntry<Self>& row : table) {
    if (IsEqualIID(*row.iid, riid)) {
      IUnknown* found = row.cast(self);
      found->AddRef();
      *out = found;
      return S_OK;
    }
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

// The IUnknown of an object made with new: Self::kInterfaces is its table. A live
// object keeps the library loaded (DllCanUnloadNow), as its code is the library's.
template <class Self, class... Interfaces>
class ComObject : public Interfaces... {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) noexcept override {
    return queryInterface<Self>(static_cast<Self*>(this), Self::kInterfaces, riid, out);
  }
  ULONG STDMETHODCALLTYPE AddRef() noexcept override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() noexcept override {
    const ULONG left = --refs_;
    if (left == 0) delete this;  // the virtual destructor ends the whole object
    return left;
  }

 protected:
  ComObject() noexcept { ++gObjects; }
  virtual ~ComObject() { --gObjects; }

 private:
  std::atomic<ULONG> refs_{1};
};

// The IUnknown of an object that lives as long as the library (a class factory): the
// same table, and references that count for nothing; LockServer keeps the library.
template <class Self, class... Interfaces>
class ModuleObject : public Interfaces... {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) noexcept override {
    return queryInterface<Self>(static_cast<Self*>(this), Self::kInterfaces, riid, out);
  }
  ULONG STDMETHODCALLTYPE AddRef() noexcept override { return 2; }
  ULONG STDMETHODCALLTYPE Release() noexcept override { return 1; }
};

// A class factory of the library: Self::create(riid, out) makes the object.
template <class Self>
class ClassFactory : public ModuleObject<Self, IClassFactory> {
 public:
  static constexpr InterfaceEntry<Self> kInterfaces[] = {
      {&IID_IUnknown, &asInterface<Self, IClassFactory>},
      {&IID_IClassFactory, &asInterface<Self, IClassFactory>},
  };

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid,
                                           void** out) noexcept override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    return static_cast<Self*>(this)->create(riid, out);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) noexcept override {
    lock ? ++gLocks : --gLocks;
    return S_OK;
  }
};

}  // namespace brosk::win
