// A scene file: what the substitute host serves through KDSDK.Appli and KDSDK.Scene.
// The format is described in docs/scene-format.md.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "automation/variant.h"

namespace brosk::sim {

// A scene file that cannot be read or does not follow the format; the message names
// the file and what is wrong.
class SceneError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct SceneObject {
  std::int32_t id = 0;
  std::map<std::int32_t, Variant> info;  // information code -> value
};

// The Nth call of a member (or the Nth creation of a ProgID) fails with this error.
struct Fault {
  std::string member;  // a member name, or "KDSDK.Appli" / "KDSDK.Scene" for the creation
  std::int64_t call = 0;
  std::int32_t number = 0;
  std::u16string description;
};

struct Scene {
  Variant language = Variant::text(u"ESP");
  Variant session = Variant::lng(1);
  std::map<std::u16string, Variant> keywords;
  std::vector<SceneObject> objects;
  std::vector<Fault> faults;
  std::map<std::string, Variant, std::less<>> returns;  // member -> result of every call
};

// Parses scene JSON; `name` names the source in error messages.
Scene parseScene(std::string_view json, const std::string& name);
Scene loadScene(const std::string& path);

}  // namespace brosk::sim
