// The host's automation objects KDSDK.Appli and KDSDK.Scene, called late-bound by
// member name with the argument kinds the host expects. Numbers the host takes by
// reference are passed as references to the caller's variables.
#pragma once

#include <cstdint>
#include <string>

#include "automation/convert.h"
#include "automation/object.h"

namespace brosk {

inline constexpr char16_t kAppliProgId[] = u"KDSDK.Appli";
inline constexpr char16_t kSceneProgId[] = u"KDSDK.Scene";

class HostAppli {
 public:
  HostAppli(Object& appli, const NumberFormat& format) : appli_(appli), format_(format) {}

  // Opens a session; 0 means none was opened.
  std::int32_t StartSessionFromCallParams(std::int32_t& lCallParamsBlock);
  std::u16string GetLanguage(std::int32_t& session);
  // Adds the link command's menu item, bound to SceneCheck of class Plugin in brosk.dll.
  bool InsertMenuItem(std::int32_t& session, std::u16string& caption);
  bool EndSession(std::int32_t& session);

 private:
  Object& appli_;
  const NumberFormat& format_;
};

class HostScene {
 public:
  HostScene(Object& scene, const NumberFormat& format) : scene_(scene), format_(format) {}

  std::u16string SceneGetKeywordInfo(std::int32_t& session, const std::u16string& keyword);
  std::int32_t SceneGetObjectsNb(std::int32_t& session);
  // The identifier of the object of rank 1..count.
  std::int32_t SceneGetObjectId(std::int32_t& session, std::int32_t& rank);
  // One piece of information on an object, as the host gives it.
  Variant ObjectGetInfo(std::int32_t& session, std::int32_t& objectId, std::int32_t code);

 private:
  Object& scene_;
  const NumberFormat& format_;
};

}  // namespace brosk
