// A spreadsheet application that records how it is driven, for tests of the workbook
// cycle: every call with its arguments' kinds, by-reference marks and values.
#pragma once

#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "automation/error.h"
#include "automation/factory.h"
#include "automation/text.h"
#include "plugin/plugin.h"

namespace brosk {

struct PluginTestAccess {
  static void setContador(Plugin& p, std::int16_t n) { p.intContador = n; }
  static void setCarpeta(Plugin& p, std::u16string path) { p.strCarpeta = std::move(path); }
};

namespace testing {

struct ExcelScript {
  std::u16string version = u"16.0";
  int failingCreations = 0;                  // creations that fail before one succeeds
  std::optional<std::string> failingMember;  // a member whose every call fails with error 1004
  std::vector<std::string> calls;
};

inline std::string describe(const Arg& a) {
  const Variant& v = a.value();
  std::string s = kindName(v.kind());
  if (a.isByRef()) s += "&";
  switch (v.kind()) {
    case VarKind::Integer:
      return s + " " + std::to_string(v.asInteger());
    case VarKind::Long:
      return s + " " + std::to_string(v.asLong());
    case VarKind::Double: {
      std::ostringstream d;
      d.precision(17);
      d << v.asDouble();
      return s + " " + d.str();
    }
    case VarKind::Text:
      return s + " \"" + toUtf8(v.asText()) + "\"";
    default:
      return s;
  }
}

class FakeExcel : public Object, public std::enable_shared_from_this<FakeExcel> {
 public:
  enum class Role { Application, Workbooks, Workbook, Worksheet };
  FakeExcel(std::shared_ptr<ExcelScript> script, Role role, std::shared_ptr<FakeExcel> app)
      : script_(std::move(script)), role_(role), app_(std::move(app)) {}

  Variant call(std::u16string_view name, CallKind, std::span<const Arg> args) override {
    std::string line = toUtf8(name);
    if (!args.empty()) {
      line += "(";
      for (std::size_t i = 0; i < args.size(); ++i) line += (i ? ", " : "") + describe(args[i]);
      line += ")";
    }
    script_->calls.push_back(line);
    if (script_->failingMember && *script_->failingMember == toUtf8(name)) {
      throw RuntimeError(1004, u"Error en el método " + std::u16string(name));
    }
    auto self = shared_from_this();
    auto app = role_ == Role::Application ? self : app_;
    if (name == u"Workbooks")
      return Variant::object(std::make_shared<FakeExcel>(script_, Role::Workbooks, app));
    if (name == u"Add")
      return Variant::object(std::make_shared<FakeExcel>(script_, Role::Workbook, app));
    if (name == u"Worksheets")
      return Variant::object(std::make_shared<FakeExcel>(script_, Role::Worksheet, app));
    if (name == u"Application") return Variant::object(app);
    if (name == u"Version") return Variant::text(script_->version);
    return {};
  }

  // Registers the recording application as Excel.Application.
  static void registerInto(ObjectFactory& factory, const std::shared_ptr<ExcelScript>& script) {
    factory.add(u"Excel.Application", [script]() -> ObjectRef {
      script->calls.push_back("create");
      if (script->failingCreations > 0) {
        const int left = --script->failingCreations;
        throw RuntimeError(
            429, u"El componente ActiveX no puede crear el objeto (" + decimal(left) + u")");
      }
      return std::make_shared<FakeExcel>(script, Role::Application, nullptr);
    });
  }

 private:
  std::shared_ptr<ExcelScript> script_;
  Role role_;
  std::shared_ptr<FakeExcel> app_;
};

}  // namespace testing
}  // namespace brosk
