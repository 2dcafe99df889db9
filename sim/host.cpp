#include "sim/host.h"

#include <algorithm>
#include <cmath>

#include "automation/convert.h"
#include "automation/error.h"
#include "automation/text.h"

namespace brosk::sim {

using nlohmann::json;

struct Host::State {
  Scene scene;
  std::map<std::string, std::int64_t, std::less<>> counts;  // calls so far, per member or creation
  std::map<std::int32_t, std::size_t> byId;  // object identifier -> first object with it
  std::vector<json> trace;
  bool tracing = true;
  std::vector<std::u16string> menu;
  int instances = 0;

  void record(json entry) {
    if (tracing) trace.push_back(std::move(entry));
  }

  // Counts the call and throws the error the scene's fault list sets for it, if any.
  void countAndMaybeFail(std::string_view member, json& entry) {
    auto count = counts.find(member);
    if (count == counts.end()) count = counts.emplace(std::string(member), 0).first;
    const std::int64_t n = ++count->second;
    for (const Fault& f : scene.faults) {
      if (f.member == member && f.call == n) {
        if (tracing) {
          entry["error"] = {{"number", f.number}, {"description", toUtf8(f.description)}};
          record(entry);
        }
        throw RuntimeError(f.number, f.description);
      }
    }
  }
};

json traceValue(const Variant& value) {
  json j = {{"kind", kindName(value.kind())}};
  switch (value.kind()) {
    case VarKind::Empty:
    case VarKind::Null:
      j["value"] = nullptr;
      break;
    case VarKind::Boolean:
      j["value"] = value.rawBoolean();
      break;
    case VarKind::Integer:
      j["value"] = value.asInteger();
      break;
    case VarKind::Long:
      j["value"] = value.asLong();
      break;
    case VarKind::Double:
      if (std::isfinite(value.asDouble())) {
        j["value"] = value.asDouble();
      } else {
        j["value"] = std::isnan(value.asDouble()) ? "NaN" : value.asDouble() > 0 ? "Inf" : "-Inf";
      }
      break;
    case VarKind::Text:
      j["value"] = toUtf8(value.asText());
      break;
    case VarKind::Object:
      j["value"] = value.asObject() ? "(object)" : "Nothing";
      break;
  }
  return j;
}

namespace {

const NumberFormat kInvariant{u".", u""};

// One of the two host objects. What it serves comes from the shared host state.
class SimObject : public Object {
 public:
  SimObject(std::shared_ptr<Host::State> state, std::string progId)
      : state_(std::move(state)), progId_(std::move(progId)), instance_(++state_->instances) {}

  ~SimObject() override {
    if (state_->tracing) {
      state_->record({{"object", progId_}, {"instance", instance_}, {"member", "(release)"}});
    }
  }

  Variant call(std::u16string_view name, CallKind kind, std::span<const Arg> args) override {
    const Member* member = find(name);
    json entry;
    if (state_->tracing) {
      entry = {{"object", progId_},
               {"instance", instance_},
               {"member", member ? member->name : toUtf8(name)}};
      json list = json::array();
      for (const Arg& a : args) {
        json v = traceValue(a.value());
        v["byref"] = a.isByRef();
        list.push_back(std::move(v));
      }
      entry["args"] = std::move(list);
    }
    if (member == nullptr || kind == CallKind::PropertyPut) {
      return fail(entry, RuntimeError(err::kNoSuchMember));
    }
    state_->countAndMaybeFail(member->name, entry);
    if (args.size() != member->arity) return fail(entry, RuntimeError(err::kWrongArgumentCount));
    Variant result;
    try {
      result = (this->*(member->run))(args);
      if (const auto r = state_->scene.returns.find(member->name);
          r != state_->scene.returns.end()) {
        result = r->second;
      }
    } catch (const RuntimeError& e) {
      return fail(entry, e);
    }
    if (state_->tracing) entry["result"] = traceValue(result);
    state_->record(std::move(entry));
    return result;
  }

 private:
  struct Member {
    const char* name;
    std::size_t arity;
    Variant (SimObject::*run)(std::span<const Arg>);
  };

  Variant fail(json& entry, const RuntimeError& e) {
    if (state_->tracing) {
      entry["error"] = {{"number", e.number()}, {"description", toUtf8(e.description())}};
      state_->record(std::move(entry));
    }
    throw e;
  }

  const Member* find(std::u16string_view name) const {
    static constexpr Member kAppli[] = {
        {"StartSessionFromCallParams", 1, &SimObject::startSession},
        {"GetLanguage", 1, &SimObject::getLanguage},
        {"InsertMenuItem", 10, &SimObject::insertMenuItem},
        {"EndSession", 1, &SimObject::endSession},
    };
    static constexpr Member kScene[] = {
        {"SceneGetKeywordInfo", 2, &SimObject::keywordInfo},
        {"SceneGetObjectsNb", 1, &SimObject::objectsNb},
        {"SceneGetObjectId", 2, &SimObject::objectId},
        {"ObjectGetInfo", 3, &SimObject::objectInfo},
    };
    const std::span<const Member> members = progId_ == "KDSDK.Appli"
                                                ? std::span<const Member>(kAppli)
                                                : std::span<const Member>(kScene);
    for (const Member& m : members) {
      if (equalsIgnoringAsciiCase(name, std::string_view(m.name))) return &m;
    }
    return nullptr;
  }

  // Arguments are coerced as a late-bound callee does; one that cannot convert is 13.
  static std::int32_t longArg(const Arg& a) { return toLong(a.value(), kInvariant); }
  static std::u16string textArg(const Arg& a) { return toText(a.value(), kInvariant); }

  void checkSession(const Arg& a) const {
    const std::int32_t expected = state_->scene.session.kind() == VarKind::Long
                                      ? state_->scene.session.asLong()
                                      : longArg(Arg::byVal(state_->scene.session));
    if (longArg(a) != expected) {
      throw RuntimeError(err::kInvalidCall, u"Sesión no válida: " + decimal(longArg(a)));
    }
  }

  Variant startSession(std::span<const Arg> args) {
    longArg(args[0]);
    return state_->scene.session;
  }
  Variant getLanguage(std::span<const Arg> args) {
    checkSession(args[0]);
    return state_->scene.language;
  }
  Variant insertMenuItem(std::span<const Arg> args) {
    checkSession(args[0]);
    for (std::size_t i : {2u, 3u, 5u, 6u}) longArg(args[i]);
    state_->menu.push_back(textArg(args[1]));
    return Variant::boolean(true);
  }
  Variant endSession(std::span<const Arg> args) {
    checkSession(args[0]);
    return Variant::boolean(true);
  }
  Variant keywordInfo(std::span<const Arg> args) {
    checkSession(args[0]);
    const auto k = state_->scene.keywords.find(textArg(args[1]));
    return k == state_->scene.keywords.end() ? Variant::text(u"") : k->second;
  }
  Variant objectsNb(std::span<const Arg> args) {
    checkSession(args[0]);
    return Variant::lng(static_cast<std::int32_t>(state_->scene.objects.size()));
  }
  Variant objectId(std::span<const Arg> args) {
    checkSession(args[0]);
    const std::int32_t rank = longArg(args[1]);
    if (rank < 1 || static_cast<std::size_t>(rank) > state_->scene.objects.size()) {
      throw RuntimeError(err::kSubscript);
    }
    return Variant::lng(state_->scene.objects[static_cast<std::size_t>(rank) - 1].id);
  }
  Variant objectInfo(std::span<const Arg> args) {
    checkSession(args[0]);
    const std::int32_t id = longArg(args[1]);
    const std::int32_t code = longArg(args[2]);
    const auto object = state_->byId.find(id);
    if (object == state_->byId.end()) return Variant::text(u"");
    const SceneObject& o = state_->scene.objects[object->second];
    const auto info = o.info.find(code);
    return info == o.info.end() ? Variant::text(u"") : info->second;
  }

  std::shared_ptr<Host::State> state_;
  std::string progId_;
  int instance_;
};

}  // namespace

Host::Host(Scene scene) : state_(std::make_shared<State>()) {
  state_->scene = std::move(scene);
  for (std::size_t i = 0; i < state_->scene.objects.size(); ++i) {
    state_->byId.emplace(state_->scene.objects[i].id, i);
  }
}

Host::~Host() = default;

ObjectRef Host::create(const std::u16string& progId) {
  const std::string name = toUtf8(progId);
  json entry;
  if (state_->tracing) entry = {{"object", name}, {"member", "(create)"}};
  state_->countAndMaybeFail(name, entry);
  auto object = std::make_shared<SimObject>(state_, name);
  if (state_->tracing) {
    entry["instance"] = state_->instances;
    state_->record(std::move(entry));
  }
  return object;
}

void Host::registerInto(ObjectFactory& factory) {
  for (const char16_t* progId : {u"KDSDK.Appli", u"KDSDK.Scene"}) {
    factory.add(progId, [this, id = std::u16string(progId)] { return create(id); });
  }
}

void Host::keepTrace(bool keep) {
  state_->tracing = keep;
}

const std::vector<json>& Host::trace() const {
  return state_->trace;
}

void Host::writeTrace(std::ostream& out) const {
  for (const json& entry : state_->trace) out << entry.dump() << '\n';
}

std::vector<std::string> Host::calls() const {
  std::vector<std::string> names;
  for (const json& entry : state_->trace) {
    const std::string member = entry["member"];
    const std::string object = entry["object"];
    if (member == "(create)") {
      names.push_back("new " + object);
    } else if (member == "(release)") {
      names.push_back("release " + object);
    } else {
      names.push_back(member);
    }
  }
  return names;
}

const std::vector<std::u16string>& Host::menuItems() const {
  return state_->menu;
}

}  // namespace brosk::sim
