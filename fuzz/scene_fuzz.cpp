// Fuzz target: the scene-file reader, and the substitute host serving what it read.
#include <cstdint>
#include <string_view>

#include "automation/convert.h"
#include "automation/error.h"
#include "sim/host.h"

using namespace brosk;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  sim::Scene scene;
  try {
    scene = sim::parseScene(text, "fuzz.json");
  } catch (const sim::SceneError&) {
    return 0;  // a clear error is the right answer to a bad file
  }
  // Ask the host for everything a link asks, converting as the plug-in does.
  const NumberFormat spanish{u",", u"."};
  sim::Host host(std::move(scene));
  try {
    ObjectRef appli = host.create(u"KDSDK.Appli");
    ObjectRef sceneObject = host.create(u"KDSDK.Scene");
    Variant block = Variant::lng(1);
    Variant session = Variant::lng(
        toLong(invoke(*appli, u"StartSessionFromCallParams", CallKind::Method, {Arg::byRef(block)}),
               spanish));
    toText(invoke(*appli, u"GetLanguage", CallKind::Method, {Arg::byRef(session)}), spanish);
    const std::int32_t count =
        toLong(invoke(*sceneObject, u"SceneGetObjectsNb", CallKind::Method, {Arg::byRef(session)}),
               spanish);
    for (std::int32_t rank = 1; rank <= count && rank <= 300; ++rank) {
      Variant r = Variant::lng(rank);
      Variant id = Variant::lng(toLong(invoke(*sceneObject, u"SceneGetObjectId", CallKind::Method,
                                              {Arg::byRef(session), Arg::byRef(r)}),
                                       spanish));
      for (const std::int32_t code : {0, 43, 35, 8, 49}) {
        const Variant info =
            invoke(*sceneObject, u"ObjectGetInfo", CallKind::Method,
                   {Arg::byRef(session), Arg::byRef(id), Arg::byVal(Variant::lng(code))});
        try {
          parseLocaleNumber(toText(info, spanish), spanish);
        } catch (const RuntimeError&) {
        }
      }
    }
    toText(invoke(*sceneObject, u"SceneGetKeywordInfo", CallKind::Method,
                  {Arg::byRef(session), Arg::byVal(Variant::text(u"@Heading.ModelName()"))}),
           spanish);
  } catch (const RuntimeError&) {
    // injected faults, results that do not convert: errors the plug-in reports
  }
  return 0;
}
