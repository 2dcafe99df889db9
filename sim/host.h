// The substitute host: KDSDK.Appli and KDSDK.Scene over a scene file, for brosk-host
// and the tests on Linux and for kdsim.dll on Windows. It records every call (the call
// trace) and fails the calls the scene's fault list names.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <vector>

#include "automation/factory.h"
#include "sim/scene.h"

namespace brosk::sim {

class Host {
 public:
  explicit Host(Scene scene);
  ~Host();
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  // Registers KDSDK.Appli and KDSDK.Scene; objects created there serve this host's scene
  // and may outlive the factory registration but not the host's data (it is shared).
  void registerInto(ObjectFactory& factory);
  // A new object of one of the two ProgIDs, as a creation through the factory makes it.
  ObjectRef create(const std::u16string& progId);

  // Whether calls are recorded in the trace (they are unless switched off, for instance
  // to measure the plug-in without the host's bookkeeping).
  void keepTrace(bool keep);

  // Every call so far: creations, member calls (arguments with kind, by-reference mark
  // and value; the result or the error) and releases, in order.
  const std::vector<nlohmann::json>& trace() const;
  // The trace as JSON lines.
  void writeTrace(std::ostream& out) const;
  // Member names of the calls so far, in order (creations as "new KDSDK.Appli", releases
  // as "release KDSDK.Appli"); a short form of the trace for tests.
  std::vector<std::string> calls() const;
  // Captions of the menu items inserted so far.
  const std::vector<std::u16string>& menuItems() const;

  struct State;

 private:
  std::shared_ptr<State> state_;
};

// The trace form of one value: {"kind": ..., "value": ...}.
nlohmann::json traceValue(const Variant& value);

}  // namespace brosk::sim
