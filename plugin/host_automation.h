// The host's automation objects KDSDK.Appli and KDSDK.Scene, called late-bound by
// member name with the argument kinds the host expects. Numbers the host takes by
// reference are passed as references to the caller's variables. Each wrapper holds a
// counted reference: a host call may run the host's message loop, and the object must
// outlive whatever happens there.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "automation/convert.h"
#include "automation/object.h"

namespace brosk {

inline constexpr char16_t kAppliProgId[] = u"KDSDK.Appli";
inline constexpr char16_t kSceneProgId[] = u"KDSDK.Scene";

class HostAppli {
 public:
  HostAppli(ObjectRef appli, const NumberFormat& format)
      : appli_(std::move(appli)), format_(format) {}

  // Opens a session; 0 means none was opened.
  std::int32_t StartSessionFromCallParams(std::int32_t& lCallParamsBlock);
  std::u16string GetLanguage(std::int32_t& session);
  // Adds the link command's menu item, bound to SceneCheck of class Plugin in brosk.dll.
  bool InsertMenuItem(std::int32_t& session, std::u16string& caption);
  bool EndSession(std::int32_t& session);

 private:
  ObjectRef appli_;
  const NumberFormat& format_;
};

class HostScene {
 public:
  // A scene object that is not set fails at the first call, with error 91.
  HostScene(ObjectRef scene, const NumberFormat& format)
      : scene_(std::move(scene)), format_(format) {}

  std::u16string SceneGetKeywordInfo(std::int32_t& session, const std::u16string& keyword);
  std::int32_t SceneGetObjectsNb(std::int32_t& session);
  // The identifier of the object of rank 1..count.
  std::int32_t SceneGetObjectId(std::int32_t& session, std::int32_t& rank);
  // One piece of information on an object, as the host gives it.
  Variant ObjectGetInfo(std::int32_t& session, std::int32_t& objectId, std::int32_t code);

 private:
  ObjectRef scene_;
  const NumberFormat& format_;
};

}  // namespace brosk
