#include "sim/scene.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>

#include "automation/error.h"
#include "automation/text.h"

namespace brosk::sim {
namespace {

using nlohmann::json;

class Reader {
 public:
  explicit Reader(std::string name) : name_(std::move(name)) {}

  [[noreturn]] void fail(const std::string& where, const std::string& what) const {
    throw SceneError(name_ + ": " + where + ": " + what);
  }

  // A value the host hands back: text, whole number (Long), other number (Double),
  // true/false (Boolean) or null (Null).
  Variant value(const json& j, const std::string& where) const {
    switch (j.type()) {
      case json::value_t::string:
        return Variant::text(fromUtf8(j.get<std::string>()));
      case json::value_t::boolean:
        return Variant::boolean(j.get<bool>());
      case json::value_t::null:
        return Variant::null();
      case json::value_t::number_integer:
      case json::value_t::number_unsigned: {
        if (j.is_number_unsigned() && j.get<std::uint64_t>() > 2147483647u) break;
        const auto v = j.get<std::int64_t>();
        if (v >= std::numeric_limits<std::int32_t>::min() &&
            v <= std::numeric_limits<std::int32_t>::max()) {
          return Variant::lng(static_cast<std::int32_t>(v));
        }
        break;
      }
      case json::value_t::number_float:
        return Variant::dbl(j.get<double>());
      default:
        fail(where, "expected a text, a number, true, false or null");
    }
    return Variant::dbl(j.get<double>());
  }

  std::int64_t integer(const json& j, const std::string& where, std::int64_t min,
                       std::int64_t max) const {
    if (!j.is_number_integer() && !j.is_number_unsigned()) fail(where, "expected a whole number");
    if (j.is_number_unsigned() && j.get<std::uint64_t>() > static_cast<std::uint64_t>(max)) {
      fail(where, "out of range");
    }
    const auto v = j.get<std::int64_t>();
    if (v < min || v > max) fail(where, "out of range");
    return v;
  }

  std::string text(const json& j, const std::string& where) const {
    if (!j.is_string()) fail(where, "expected a text");
    return j.get<std::string>();
  }

  std::int32_t code(const std::string& key, const std::string& where) const {
    std::int32_t value = 0;
    const auto [end, ec] = std::from_chars(key.data(), key.data() + key.size(), value);
    if (key.empty() || ec != std::errc() || end != key.data() + key.size()) {
      fail(where, "\"" + key + "\" is not an information code (a whole number)");
    }
    return value;
  }

 private:
  std::string name_;
};

void checkKeys(const Reader& r, const json& object, const std::string& where,
               std::initializer_list<const char*> allowed) {
  for (const auto& [key, unused] : object.items()) {
    bool known = false;
    for (const char* a : allowed) known = known || key == a;
    if (!known) r.fail(where, "unknown field \"" + key + "\"");
  }
}

}  // namespace

namespace {

void readKeywords(const Reader& r, const json& keywords, Scene& scene) {
  if (!keywords.is_object()) r.fail("keywords", "expected an object");
  for (const auto& [key, value] : keywords.items()) {
    scene.keywords[fromUtf8(key)] = r.value(value, "keywords[\"" + key + "\"]");
  }
}

SceneObject readObject(const Reader& r, const json& o, std::size_t i) {
  const std::string where = "objects[" + std::to_string(i) + "]";
  if (!o.is_object()) r.fail(where, "expected an object");
  checkKeys(r, o, where, {"id", "info", "note"});
  SceneObject object;
  object.id = o.contains("id")
                  ? static_cast<std::int32_t>(r.integer(o["id"], where + ".id",
                                                        std::numeric_limits<std::int32_t>::min(),
                                                        std::numeric_limits<std::int32_t>::max()))
                  : static_cast<std::int32_t>(i + 1);
  if (o.contains("info")) {
    const json& info = o["info"];
    if (!info.is_object()) r.fail(where + ".info", "expected an object");
    for (const auto& [key, value] : info.items()) {
      object.info[r.code(key, where + ".info")] = r.value(value, where + ".info[\"" + key + "\"]");
    }
  }
  return object;
}

Fault readFault(const Reader& r, const json& f, std::size_t i) {
  const std::string where = "faults[" + std::to_string(i) + "]";
  if (!f.is_object()) r.fail(where, "expected an object");
  checkKeys(r, f, where, {"member", "call", "number", "description"});
  if (!f.contains("member") || !f.contains("number")) {
    r.fail(where, "\"member\" and \"number\" are required");
  }
  Fault fault;
  fault.member = r.text(f["member"], where + ".member");
  fault.call = f.contains("call") ? r.integer(f["call"], where + ".call", 1,
                                              std::numeric_limits<std::int64_t>::max())
                                  : 1;
  fault.number = static_cast<std::int32_t>(r.integer(f["number"], where + ".number",
                                                     std::numeric_limits<std::int32_t>::min(),
                                                     std::numeric_limits<std::int32_t>::max()));
  if (fault.number == 0) r.fail(where + ".number", "0 is no error");
  fault.description = f.contains("description")
                          ? fromUtf8(r.text(f["description"], where + ".description"))
                          : RuntimeError(fault.number).description();
  return fault;
}

// The elements of an array field, each read by `read` with its index.
template <typename Read>
void readArray(const Reader& r, const json& array, const char* field, Read read) {
  if (!array.is_array()) r.fail(field, "expected an array");
  for (std::size_t i = 0; i < array.size(); ++i) read(array[i], i);
}

json parseJson(std::string_view text, const std::string& name) {
  try {
    return json::parse(text.begin(), text.end(), nullptr, true, /*ignore_comments=*/true);
  } catch (const json::exception& e) {
    // A syntax error, or a number too large for a double (an out_of_range error).
    std::string what = e.what();
    if (const auto at = what.find("] "); at != std::string::npos) what = what.substr(at + 2);
    throw SceneError(name + ": not valid JSON: " + what);
  }
}

}  // namespace

Scene parseScene(std::string_view text, const std::string& name) {
  const Reader r(name);
  const json root = parseJson(text, name);
  if (!root.is_object()) r.fail("top level", "expected an object");
  checkKeys(r, root, "top level",
            {"language", "session", "keywords", "objects", "faults", "returns", "description"});

  Scene scene;
  if (root.contains("language")) scene.language = r.value(root["language"], "language");
  if (root.contains("session")) scene.session = r.value(root["session"], "session");
  if (root.contains("keywords")) readKeywords(r, root["keywords"], scene);
  if (root.contains("objects")) {
    readArray(r, root["objects"], "objects",
              [&](const json& o, std::size_t i) { scene.objects.push_back(readObject(r, o, i)); });
  }
  if (root.contains("faults")) {
    readArray(r, root["faults"], "faults",
              [&](const json& f, std::size_t i) { scene.faults.push_back(readFault(r, f, i)); });
  }
  if (root.contains("returns")) {
    const json& returns = root["returns"];
    if (!returns.is_object()) r.fail("returns", "expected an object");
    for (const auto& [member, value] : returns.items()) {
      scene.returns[member] = r.value(value, "returns[\"" + member + "\"]");
    }
  }
  return scene;
}

Scene loadScene(const std::string& path) {
  std::error_code ignored;
  if (std::filesystem::is_directory(path, ignored)) throw SceneError(path + ": is a directory");
  errno = 0;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    const int reason = errno;
    throw SceneError(path + ": cannot be opened" +
                     (reason != 0 ? std::string(": ") + std::strerror(reason) : std::string()));
  }
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) throw SceneError(path + ": cannot be read");
  return parseScene(text.str(), path);
}

}  // namespace brosk::sim
