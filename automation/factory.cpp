#include "automation/factory.h"

#include <algorithm>

#include "automation/error.h"
#include "automation/text.h"

namespace brosk {
void ObjectFactory::add(std::u16string progId, Creator creator) {
  remove(progId);
  entries_.push_back({std::move(progId), std::move(creator)});
}

void ObjectFactory::remove(std::u16string_view progId) {
  std::erase_if(entries_,
                [&](const Entry& e) { return equalsIgnoringAsciiCase(e.progId, progId); });
}

ObjectRef ObjectFactory::create(std::u16string_view progId) const {
  for (const Entry& e : entries_) {
    if (equalsIgnoringAsciiCase(e.progId, progId)) {
      ObjectRef object;
      try {
        object = e.creator();
      } catch (const RuntimeError& failure) {
        // A class that fails with a run-time error of its own is reported so, as a VB
        // caller shows it; any other failure to make the object is error 429.
        if (failure.number() < 0) throw RuntimeError(err::kCannotCreate);
        throw;
      }
      if (!object) throw RuntimeError(err::kCannotCreate);
      return object;
    }
  }
  if (fallback_) {
    if (ObjectRef object = fallback_(progId)) return object;
  }
  throw RuntimeError(err::kCannotCreate);
}

}  // namespace brosk
