#include "win/boundary.h"

#include <new>

#include "automation/error.h"
#include "win/com.h"
#include "win/dispatch.h"

namespace brosk::win {

HRESULT resultFromCaughtException(const wchar_t* source, REFIID iid) noexcept {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    SetErrorInfo(0, nullptr);
    return E_OUTOFMEMORY;
  } catch (const RuntimeError& e) {
    setErrorInfo(e, source, iid);
    return hresultOf(e.number());
  } catch (...) {
    SetErrorInfo(0, nullptr);
    return E_UNEXPECTED;
  }
}

HRESULT withExceptionInfo(HRESULT hr, EXCEPINFO* info) noexcept {
  if (SUCCEEDED(hr) || info == nullptr) return hr;
  ComPtr<IErrorInfo> error;
  if (GetErrorInfo(0, error.put()) != S_OK || !error) return hr;
  *info = EXCEPINFO{};
  error->GetSource(&info->bstrSource);
  error->GetDescription(&info->bstrDescription);
  info->scode = hr;
  SetErrorInfo(0, error.get());  // reading took it: it stays for callers who ask it
  return DISP_E_EXCEPTION;
}

void setErrorInfo(const RuntimeError& e, const wchar_t* source, const IID& iid) noexcept {
  ComPtr<ICreateErrorInfo> create;
  if (FAILED(CreateErrorInfo(create.put()))) {
    SetErrorInfo(0, nullptr);
    return;
  }
  create->SetGUID(iid);
  create->SetSource(const_cast<LPOLESTR>(source));
  const unique_bstr description = makeBstr(e.description());
  create->SetDescription(description.get());
  ComPtr<IErrorInfo> info;
  if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, info.putVoid()))) {
    SetErrorInfo(0, info.get());
  } else {
    SetErrorInfo(0, nullptr);
  }
}

HRESULT hresultOf(std::int32_t number) noexcept {
  if (number < 0) return static_cast<HRESULT>(number);
  return static_cast<HRESULT>(0x800A0000u | (static_cast<std::uint32_t>(number) & 0xFFFFu));
}

}  // namespace brosk::win
