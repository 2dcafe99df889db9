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
      ObjectRef object = e.creator();
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
