// Late-bound calls on real COM objects: IDispatch behind the automation seam, and the
// seam's objects behind IDispatch.
#pragma once

#include <oaidl.h>

#include "automation/error.h"
#include "automation/object.h"

namespace brosk::win {

// An object created by ProgID through COM (CLSIDFromProgID, CoCreateInstance); no
// object (error 429 for the caller) when no class is registered under that name or the
// class cannot be made, but a class that fails with a run-time error of its own (an
// HRESULT of the VB facility) gives that error and its description.
ObjectRef createComObject(std::u16string_view progId);

// The seam object for an IDispatch pointer (AddRef'd here).
ObjectRef wrapDispatch(IDispatch* dispatch);

// VARIANT <-> Variant. A VARIANT of another kind converts to the nearest one the seam
// has (a number to Double, a date or currency to Double, an unknown to an object).
Variant fromVariant(const VARIANT& v);
// Fills an empty VARIANT; the caller clears it.
void toVariant(const Variant& value, VARIANT& out);

// The run-time error a VB client reports for a failed IDispatch::Invoke.
RuntimeError invokeError(HRESULT hr, const EXCEPINFO& info);

// An IDispatch over a seam object: names through GetIDsOfNames (without regard to case),
// arguments by value or by reference (VT_BYREF), failures as DISP_E_EXCEPTION with the
// number and description in EXCEPINFO, from `source`. No type information.
IDispatch* exposeObject(ObjectRef object, const wchar_t* source);

}  // namespace brosk::win
