// The automation value: one of the kinds a late-bound call passes or returns.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <variant>

namespace brosk {

class Object;
// A counted reference to a late-bound object; the object goes when the last one does.
using ObjectRef = std::shared_ptr<Object>;

// Empty is a value never set; Null is the explicit "no data" a callee may return.
enum class VarKind { Empty, Null, Boolean, Integer, Long, Double, Text, Object };

// Name of a kind as the call trace and messages write it.
const char* kindName(VarKind kind);

class Variant {
 public:
  Variant() = default;

  static Variant null() { return Variant(NullValue{}); }
  static Variant boolean(bool value) {
    return Variant(Bool{static_cast<std::int16_t>(value ? -1 : 0)});
  }
  // A Boolean as it arrives from another component: any non-zero value reads True.
  static Variant rawBoolean(std::int16_t raw) { return Variant(Bool{raw}); }
  static Variant integer(std::int16_t value) { return Variant(value); }
  static Variant lng(std::int32_t value) { return Variant(value); }
  static Variant dbl(double value) { return Variant(value); }
  static Variant text(std::u16string value) { return Variant(Text{std::move(value)}); }
  static Variant object(ObjectRef value) { return Variant(std::move(value)); }

  VarKind kind() const { return static_cast<VarKind>(value_.index()); }

  // Exact accessors: valid only for a value of that kind (see convert.h for conversions).
  bool asBoolean() const { return std::get<Bool>(value_).raw != 0; }
  std::int16_t rawBoolean() const { return std::get<Bool>(value_).raw; }
  std::int16_t asInteger() const { return std::get<std::int16_t>(value_); }
  std::int32_t asLong() const { return std::get<std::int32_t>(value_); }
  double asDouble() const { return std::get<double>(value_); }
  const std::u16string& asText() const { return std::get<Text>(value_).value; }
  const ObjectRef& asObject() const { return std::get<ObjectRef>(value_); }

  friend bool operator==(const Variant&, const Variant&) = default;

 private:
  struct NullValue {
    friend bool operator==(const NullValue&, const NullValue&) = default;
  };
  struct Bool {
    std::int16_t raw;
    friend bool operator==(const Bool&, const Bool&) = default;
  };
  // A text in a structure of its own, not as a bare std::u16string: with every alternative
  // one that libstdc++ takes for "never valueless" (strings and shared_ptr are), GCC 12's
  // std::variant destroys the alternative of index variant_npos when a copy of a text
  // fails to allocate, and crashes. With this one alternative it checks the index.
  struct Text {
    std::u16string value;
    friend bool operator==(const Text&, const Text&) = default;
  };
  template <class T>
  explicit Variant(T value) : value_(std::move(value)) {}

  std::variant<std::monostate, NullValue, Bool, std::int16_t, std::int32_t, double, Text, ObjectRef>
      value_;
};

}  // namespace brosk
