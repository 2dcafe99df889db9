#include "automation/object.h"

#include "automation/error.h"

namespace brosk {

const char* kindName(VarKind kind) {
  switch (kind) {
    case VarKind::Empty:
      return "Empty";
    case VarKind::Null:
      return "Null";
    case VarKind::Boolean:
      return "Boolean";
    case VarKind::Integer:
      return "Integer";
    case VarKind::Long:
      return "Long";
    case VarKind::Double:
      return "Double";
    case VarKind::Text:
      return "String";
    case VarKind::Object:
      return "Object";
  }
  return "?";
}

Object& deref(const ObjectRef& ref) {
  if (!ref) throw RuntimeError(err::kObjectNotSet);
  return *ref;
}

ObjectRef toObject(const Variant& value) {
  if (value.kind() != VarKind::Object || !value.asObject())
    throw RuntimeError(err::kObjectRequired);
  return value.asObject();
}

}  // namespace brosk
