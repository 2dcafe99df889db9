#include "automation/factory.h"

#include <algorithm>

#include "automation/error.h"

namespace brosk {
namespace {

bool sameProgId(std::u16string_view a, std::u16string_view b) {
  auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; };
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [&](char16_t x, char16_t y) { return lower(x) == lower(y); });
}

}  // namespace

void ObjectFactory::add(std::u16string progId, Creator creator) {
  remove(progId);
  entries_.push_back({std::move(progId), std::move(creator)});
}

void ObjectFactory::remove(std::u16string_view progId) {
  std::erase_if(entries_, [&](const Entry& e) { return sameProgId(e.progId, progId); });
}

ObjectRef ObjectFactory::create(std::u16string_view progId) const {
  for (const Entry& e : entries_) {
    if (sameProgId(e.progId, progId)) {
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
