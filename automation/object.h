// Late-bound objects: members are called by name, as a VB client calls an object
// declared As Object. A failing call throws RuntimeError.
#pragma once

#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "automation/variant.h"

namespace brosk {

enum class CallKind { Method, PropertyGet, PropertyPut };

// One argument of a call: a value, or a reference to the caller's variable, which the
// callee may read and assign (keeping the variable's kind).
class Arg {
 public:
  static Arg byVal(Variant value) { return Arg(std::move(value), nullptr); }
  static Arg byRef(Variant& variable) { return Arg({}, &variable); }

  bool isByRef() const { return ref_ != nullptr; }
  const Variant& value() const { return ref_ ? *ref_ : value_; }
  // The caller's variable; only for a by-reference argument. The callee may assign it
  // even through a const Arg: the variable is the caller's, not the argument's.
  Variant& variable() const { return *ref_; }

 private:
  Arg(Variant value, Variant* ref) : value_(std::move(value)), ref_(ref) {}
  Variant value_;
  Variant* ref_;
};

class Object {
 public:
  virtual ~Object() = default;
  // Calls member `name`. For a property put the new value is the last argument.
  virtual Variant call(std::u16string_view name, CallKind kind, std::span<const Arg> args) = 0;
};

// Object::call with the arguments listed in place.
inline Variant invoke(Object& object, std::u16string_view name, CallKind kind,
                      std::initializer_list<Arg> args = {}) {
  return object.call(name, kind, std::span<const Arg>(args.begin(), args.size()));
}

// The object an object reference names; error 91 when it names none.
Object& deref(const ObjectRef& ref);

// Object::call on the object a reference names (error 91 when it names none). The call
// holds a reference of its own: the object stays alive to the end of the call even if
// the caller's reference is cleared meanwhile.
inline Variant invoke(ObjectRef object, std::u16string_view name, CallKind kind,
                      std::initializer_list<Arg> args = {}) {
  return invoke(deref(object), name, kind, args);
}

// The object a result holds; error 424 when the result is not an object.
ObjectRef toObject(const Variant& value);

}  // namespace brosk
