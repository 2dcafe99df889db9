// Creation of late-bound objects by ProgID, as CreateObject does. Components register
// a creator under their ProgID; a platform may add a fallback (real COM on Windows).
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "automation/object.h"

namespace brosk {

class ObjectFactory {
 public:
  using Creator = std::function<ObjectRef()>;
  // Asked for a ProgID no registered creator knows; returns null when it knows none.
  using Fallback = std::function<ObjectRef(std::u16string_view progId)>;

  // Registers (or replaces) the creator of a ProgID. ProgIDs compare without regard to
  // ASCII case, as the system registry does.
  void add(std::u16string progId, Creator creator);
  void remove(std::u16string_view progId);
  void setFallback(Fallback fallback) { fallback_ = std::move(fallback); }

  // A new object; error 429 when no creator knows the ProgID, or when the creator fails
  // otherwise than with a run-time error of its own (a VB number), which passes through.
  ObjectRef create(std::u16string_view progId) const;

 private:
  struct Entry {
    std::u16string progId;
    Creator creator;
  };
  std::vector<Entry> entries_;
  Fallback fallback_;
};

}  // namespace brosk
