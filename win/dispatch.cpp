#include "win/dispatch.h"

#include <atomic>
#include <memory>
#include <vector>

#include "automation/error.h"
#include "automation/text.h"
#include "platform/fp_state.h"
#include "win/boundary.h"
#include "win/com.h"

namespace brosk::win {
namespace {

class DispatchObject : public Object {
 public:
  explicit DispatchObject(IDispatch* d) : dispatch_(d) { dispatch_->AddRef(); }
  ~DispatchObject() override {
    const FpCallout callout;  // the last release runs the other component's code
    dispatch_->Release();
  }
  DispatchObject(const DispatchObject&) = delete;
  DispatchObject& operator=(const DispatchObject&) = delete;
  IDispatch* dispatch() const { return dispatch_; }

  Variant call(std::u16string_view name, CallKind kind, std::span<const Arg> args) override;

 private:
  IDispatch* dispatch_;
};

// Storage of one argument: the VARIANT that owns the value, and what goes into
// DISPPARAMS (the value itself, or a VT_BYREF pointer into the storage).
struct ArgSlot {
  unique_variant value;
  VARIANTARG passed;
};

void passByReference(ArgSlot& slot) {
  VARIANT& v = *slot.value.addressof();
  VariantInit(&slot.passed);
  switch (v.vt) {
    case VT_I2:
      slot.passed.vt = VT_BYREF | VT_I2, slot.passed.piVal = &v.iVal;
      break;
    case VT_I4:
      slot.passed.vt = VT_BYREF | VT_I4, slot.passed.plVal = &v.lVal;
      break;
    case VT_R8:
      slot.passed.vt = VT_BYREF | VT_R8, slot.passed.pdblVal = &v.dblVal;
      break;
    case VT_BOOL:
      slot.passed.vt = VT_BYREF | VT_BOOL, slot.passed.pboolVal = &v.boolVal;
      break;
    case VT_BSTR:
      slot.passed.vt = VT_BYREF | VT_BSTR, slot.passed.pbstrVal = &v.bstrVal;
      break;
    case VT_DISPATCH:
      slot.passed.vt = VT_BYREF | VT_DISPATCH, slot.passed.ppdispVal = &v.pdispVal;
      break;
    default:
      slot.passed.vt = VT_BYREF | VT_VARIANT, slot.passed.pvarVal = &v;
      break;
  }
}

// The arguments as DISPPARAMS holds them, the last first, stored in `slots`: by value, or
// by reference to the slot's value.
std::vector<VARIANTARG> passArguments(std::span<const Arg> args, std::vector<ArgSlot>& slots) {
  const std::size_t n = args.size();
  slots = std::vector<ArgSlot>(n);
  std::vector<VARIANTARG> params(n);
  for (std::size_t i = 0; i < n; ++i) {
    toVariant(args[i].value(), *slots[i].value.addressof());
    if (args[i].isByRef()) {
      passByReference(slots[i]);
    } else {
      slots[i].passed = slots[i].value.get();  // a shallow copy: the storage owns the value
    }
    params[n - 1 - i] = slots[i].passed;
  }
  return params;
}

// What the callee assigned to by-reference arguments lands in the caller's variables, when
// it is of the variable's kind.
void copyBack(std::span<const Arg> args, const std::vector<ArgSlot>& slots) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (!args[i].isByRef()) continue;
    Variant assigned = fromVariant(slots[i].value.get());
    if (assigned.kind() == args[i].variable().kind()) args[i].variable() = std::move(assigned);
  }
}

Variant DispatchObject::call(std::u16string_view name, CallKind kind, std::span<const Arg> args) {
  std::u16string member(name);
  LPOLESTR names[1] = {reinterpret_cast<LPOLESTR>(member.data())};
  DISPID id = 0;
  const HRESULT found = callOut(
      [&] { return dispatch_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id); });
  if (FAILED(found)) throw RuntimeError(err::kNoSuchMember);
  std::vector<ArgSlot> slots;
  std::vector<VARIANTARG> params = passArguments(args, slots);
  const auto n = static_cast<UINT>(args.size());
  DISPID putId = DISPID_PROPERTYPUT;
  DISPPARAMS dp{params.data(), nullptr, n, 0};
  WORD flags = DISPATCH_METHOD | DISPATCH_PROPERTYGET;
  if (kind == CallKind::PropertyPut) {
    dp.rgdispidNamedArgs = &putId;
    dp.cNamedArgs = 1;
    flags = DISPATCH_PROPERTYPUT;
  }
  unique_variant result;
  EXCEPINFO info{};
  UINT badArgument = 0;
  // The callee runs in the host's floating-point state, and may run its message loop.
  const HRESULT hr = callOut([&] {
    return dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &dp,
                             kind == CallKind::PropertyPut ? nullptr : result.addressof(), &info,
                             &badArgument);
  });
  copyBack(args, slots);
  if (FAILED(hr)) throw invokeError(hr, info);
  return fromVariant(result.get());
}

std::u16string errorInfoDescription() {
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.put()) != S_OK || !info) return {};
  unique_bstr description;
  info->GetDescription(description.put());
  return fromBstr(description.get());
}

// The caller's arguments in call order, their values in `values`. For a property put the
// new value (named DISPID_PROPERTYPUT) comes first in DISPPARAMS; in call order it is the
// last argument.
std::vector<Arg> receiveArguments(const DISPPARAMS* dp, std::vector<Variant>& values) {
  const std::size_t n = values.size();
  std::vector<Arg> args;
  args.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    const VARIANTARG& v = dp->rgvarg[n - 1 - i];
    values[i] = fromVariant(v);
    args.push_back((v.vt & VT_BYREF) ? Arg::byRef(values[i]) : Arg::byVal(values[i]));
  }
  return args;
}

// What the call assigned to the caller's Long and Integer variables passed by reference.
void returnByReference(DISPPARAMS* dp, const std::vector<Variant>& values) {
  const std::size_t n = values.size();
  for (std::size_t i = 0; i < n; ++i) {
    VARIANTARG& v = dp->rgvarg[n - 1 - i];
    if (v.vt == (VT_BYREF | VT_I4) && values[i].kind() == VarKind::Long) {
      *v.plVal = values[i].asLong();
    }
    if (v.vt == (VT_BYREF | VT_I2) && values[i].kind() == VarKind::Integer) {
      *v.piVal = values[i].asInteger();
    }
  }
}

class ObjectDispatch : public ComObject<ObjectDispatch, IDispatch> {
 public:
  static constexpr InterfaceEntry<ObjectDispatch> kInterfaces[] = {
      {&IID_IUnknown, &asInterface<ObjectDispatch, IDispatch>},
      {&IID_IDispatch, &asInterface<ObjectDispatch, IDispatch>},
  };

  ObjectDispatch(ObjectRef object, const wchar_t* source)
      : object_(std::move(object)), source_(source) {}

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) noexcept override {
    if (count) *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) noexcept override {
    if (info) *info = nullptr;
    return DISP_E_BADINDEX;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) noexcept override {
    return resultFromException(source_, IID_IDispatch, [&]() -> HRESULT {
      if (names == nullptr || ids == nullptr || count == 0) return E_INVALIDARG;
      const std::u16string name(reinterpret_cast<const char16_t*>(names[0]));
      ids[0] = 0;
      for (std::size_t i = 0; i < names_.size(); ++i) {
        if (equalsIgnoringAsciiCase(names_[i], name)) ids[0] = static_cast<DISPID>(i + 1);
      }
      if (ids[0] == 0) {
        names_.push_back(name);
        ids[0] = static_cast<DISPID>(names_.size());
      }
      for (UINT i = 1; i < count; ++i) ids[i] = DISPID_UNKNOWN;  // no named arguments
      return count > 1 ? DISP_E_UNKNOWNNAME : S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* dp,
                                   VARIANT* result, EXCEPINFO* info, UINT*) noexcept override {
    SetErrorInfo(0, nullptr);
    return withExceptionInfo(
        resultFromException(source_, IID_IDispatch,
                            [&]() -> HRESULT { return invoke(id, flags, dp, result); }),
        info);
  }

 private:
  HRESULT invoke(DISPID id, WORD flags, DISPPARAMS* dp, VARIANT* result) {
    if (id < 1 || static_cast<std::size_t>(id) > names_.size()) return DISP_E_MEMBERNOTFOUND;
    const CallKind kind = (flags & DISPATCH_PROPERTYPUT) ? CallKind::PropertyPut
                          : (flags & DISPATCH_METHOD)    ? CallKind::Method
                                                         : CallKind::PropertyGet;
    std::vector<Variant> values(dp ? dp->cArgs : 0);
    const std::vector<Arg> args = receiveArguments(dp, values);
    const Variant answer = object_->call(names_[static_cast<std::size_t>(id) - 1], kind, args);
    returnByReference(dp, values);
    if (result) {
      unique_variant made;
      toVariant(answer, *made.addressof());
      VariantInit(result);
      *result = made.release();
    }
    return S_OK;
  }

  ObjectRef object_;
  const wchar_t* source_;
  std::vector<std::u16string> names_;
};

}  // namespace

RuntimeError invokeError(HRESULT hr, const EXCEPINFO& given) {
  EXCEPINFO info = given;
  if (hr == DISP_E_EXCEPTION) {
    if (info.pfnDeferredFillIn) info.pfnDeferredFillIn(&info);
    // The callee's strings are ours to free, whatever happens while they are read.
    const unique_bstr description(info.bstrDescription), source(info.bstrSource),
        help(info.bstrHelpFile);
    std::int32_t number = info.wCode ? info.wCode : vbNumber(info.scode);
    if (number == 0) number = err::kAutomation;
    return RuntimeError(number, fromBstr(description.get()));
  }
  switch (hr) {
    case DISP_E_MEMBERNOTFOUND:
    case DISP_E_UNKNOWNNAME:
      return RuntimeError(err::kNoSuchMember);
    case DISP_E_TYPEMISMATCH:
      return RuntimeError(err::kTypeMismatch);
    case DISP_E_BADPARAMCOUNT:
      return RuntimeError(err::kWrongArgumentCount);
    case DISP_E_PARAMNOTOPTIONAL:
      return RuntimeError(err::kArgumentNotOptional);
    case DISP_E_OVERFLOW:
      return RuntimeError(err::kOverflow);
    case DISP_E_BADINDEX:
      return RuntimeError(err::kSubscript);
    case DISP_E_DIVBYZERO:
      return RuntimeError(err::kDivisionByZero);
    case E_OUTOFMEMORY:
      return RuntimeError(err::kOutOfMemory);
    default:
      break;
  }
  // An HRESULT of the VB facility becomes its number, and an empty description the
  // standard one, as RuntimeError makes them.
  return RuntimeError(static_cast<std::int32_t>(hr), errorInfoDescription());
}

Variant fromVariant(const VARIANT& given) {
  if (given.vt == (VT_BYREF | VT_VARIANT))
    return given.pvarVal ? fromVariant(*given.pvarVal) : Variant();
  unique_variant plain;
  const VARIANT* v = &given;
  if (given.vt & VT_BYREF) {
    if (FAILED(VariantCopyInd(plain.addressof(), const_cast<VARIANT*>(&given))))
      throw RuntimeError(err::kTypeMismatch);
    v = plain.addressof();
  }
  switch (v->vt) {
    case VT_EMPTY:
    case VT_ERROR:
      return Variant();
    case VT_NULL:
      return Variant::null();
    case VT_BOOL:
      return Variant::rawBoolean(v->boolVal);
    case VT_I2:
      return Variant::integer(v->iVal);
    case VT_UI1:
      return Variant::integer(v->bVal);
    case VT_I1:
      return Variant::integer(v->cVal);
    case VT_I4:
      return Variant::lng(v->lVal);
    case VT_INT:
      return Variant::lng(v->intVal);
    case VT_UI2:
      return Variant::lng(v->uiVal);
    case VT_R8:
      return Variant::dbl(v->dblVal);
    case VT_BSTR:
      return Variant::text(fromBstr(v->bstrVal));
    case VT_DISPATCH:
      return Variant::object(v->pdispVal ? wrapDispatch(v->pdispVal) : nullptr);
    case VT_UNKNOWN: {
      if (v->punkVal == nullptr) return Variant::object(nullptr);
      ComPtr<IDispatch> d;
      if (FAILED(v->punkVal->QueryInterface(IID_IDispatch, d.putVoid())))
        throw RuntimeError(err::kTypeMismatch);
      return Variant::object(wrapDispatch(d.get()));
    }
    default: {
      unique_variant number;
      if (FAILED(VariantChangeType(number.addressof(), const_cast<VARIANT*>(v), 0, VT_R8)))
        throw RuntimeError(err::kTypeMismatch);
      return Variant::dbl(number.get().dblVal);
    }
  }
}

void toVariant(const Variant& value, VARIANT& out) {
  VariantInit(&out);
  switch (value.kind()) {
    case VarKind::Empty:
      break;
    case VarKind::Null:
      out.vt = VT_NULL;
      break;
    case VarKind::Boolean:
      out.vt = VT_BOOL, out.boolVal = value.rawBoolean();
      break;
    case VarKind::Integer:
      out.vt = VT_I2, out.iVal = value.asInteger();
      break;
    case VarKind::Long:
      out.vt = VT_I4, out.lVal = value.asLong();
      break;
    case VarKind::Double:
      out.vt = VT_R8, out.dblVal = value.asDouble();
      break;
    case VarKind::Text:
      out.vt = VT_BSTR;
      out.bstrVal = makeBstr(value.asText()).release();
      if (out.bstrVal == nullptr) throw std::bad_alloc();
      break;
    case VarKind::Object: {
      out.vt = VT_DISPATCH;
      const ObjectRef& object = value.asObject();
      if (!object) {
        out.pdispVal = nullptr;
      } else if (auto* d = dynamic_cast<DispatchObject*>(object.get())) {
        out.pdispVal = d->dispatch();
        out.pdispVal->AddRef();
      } else {
        out.pdispVal = exposeObject(object, L"brosk");
      }
      break;
    }
  }
}

ObjectRef wrapDispatch(IDispatch* dispatch) {
  return std::make_shared<DispatchObject>(dispatch);
}

IDispatch* exposeObject(ObjectRef object, const wchar_t* source) {
  return new ObjectDispatch(std::move(object), source);
}

ObjectRef createComObject(std::u16string_view progId) {
  const std::u16string name(progId);
  CLSID clsid;
  ComPtr<IDispatch> dispatch;
  HRESULT hr = S_OK;
  {
    const FpCallout callout;  // the class's own code runs as it is made
    if (FAILED(CLSIDFromProgID(reinterpret_cast<LPCOLESTR>(name.c_str()), &clsid))) return nullptr;
    SetErrorInfo(0, nullptr);
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_SERVER, IID_IDispatch, dispatch.putVoid());
  }
  // A class that fails with a run-time error of its own (an HRESULT of the VB facility)
  // is reported so, with its description; any other failure is no object: error 429.
  if (FAILED(hr)) {
    if (isVbFacility(hr)) throw invokeError(hr, {});
    return nullptr;
  }
  return wrapDispatch(dispatch.get());
}

}  // namespace brosk::win
