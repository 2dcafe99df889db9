#include "plugin/host_automation.h"

namespace brosk {
namespace {

// A Long variable passed by reference: the callee sees the caller's value and what it
// assigns lands back in the caller's variable.
class LongRef {
 public:
  explicit LongRef(std::int32_t& target) : target_(target), value_(Variant::lng(target)) {}
  ~LongRef() {
    if (value_.kind() == VarKind::Long) target_ = value_.asLong();
  }
  LongRef(const LongRef&) = delete;
  LongRef& operator=(const LongRef&) = delete;
  Arg arg() { return Arg::byRef(value_); }

 private:
  std::int32_t& target_;
  Variant value_;
};

class TextRef {
 public:
  explicit TextRef(std::u16string& target) : target_(target), value_(Variant::text(target)) {}
  ~TextRef() {
    if (value_.kind() == VarKind::Text) target_ = value_.asText();
  }
  TextRef(const TextRef&) = delete;
  TextRef& operator=(const TextRef&) = delete;
  Arg arg() { return Arg::byRef(value_); }

 private:
  std::u16string& target_;
  Variant value_;
};

Arg integer(std::int16_t value) {
  return Arg::byVal(Variant::integer(value));
}
Arg text(std::u16string value) {
  return Arg::byVal(Variant::text(std::move(value)));
}

}  // namespace

std::int32_t HostAppli::StartSessionFromCallParams(std::int32_t& lCallParamsBlock) {
  LongRef block(lCallParamsBlock);
  const Variant result =
      invoke(deref(appli_), u"StartSessionFromCallParams", CallKind::Method, {block.arg()});
  return toLong(result, format_);
}

std::u16string HostAppli::GetLanguage(std::int32_t& session) {
  LongRef s(session);
  return toText(invoke(deref(appli_), u"GetLanguage", CallKind::Method, {s.arg()}), format_);
}

bool HostAppli::InsertMenuItem(std::int32_t& session, std::u16string& caption) {
  LongRef s(session);
  TextRef c(caption);
  const Variant result =
      invoke(deref(appli_), u"InsertMenuItem", CallKind::Method,
             {s.arg(), c.arg(), integer(0), integer(0), text(u""), integer(1), integer(19),
              text(u"brosk.dll"), text(u"Plugin"), text(u"SceneCheck")});
  return toBoolean(result, format_);
}

bool HostAppli::EndSession(std::int32_t& session) {
  LongRef s(session);
  return toBoolean(invoke(deref(appli_), u"EndSession", CallKind::Method, {s.arg()}), format_);
}

std::u16string HostScene::SceneGetKeywordInfo(std::int32_t& session,
                                              const std::u16string& keyword) {
  LongRef s(session);
  return toText(
      invoke(deref(scene_), u"SceneGetKeywordInfo", CallKind::Method, {s.arg(), text(keyword)}),
      format_);
}

std::int32_t HostScene::SceneGetObjectsNb(std::int32_t& session) {
  LongRef s(session);
  return toLong(invoke(deref(scene_), u"SceneGetObjectsNb", CallKind::Method, {s.arg()}), format_);
}

std::int32_t HostScene::SceneGetObjectId(std::int32_t& session, std::int32_t& rank) {
  LongRef s(session);
  LongRef r(rank);
  return toLong(invoke(deref(scene_), u"SceneGetObjectId", CallKind::Method, {s.arg(), r.arg()}),
                format_);
}

Variant HostScene::ObjectGetInfo(std::int32_t& session, std::int32_t& objectId, std::int32_t code) {
  LongRef s(session);
  LongRef id(objectId);
  return invoke(deref(scene_), u"ObjectGetInfo", CallKind::Method,
                {s.arg(), id.arg(), Arg::byVal(Variant::lng(code))});
}

}  // namespace brosk
