// The substitute host's call trace, looked up by member: a test names the call it checks
// ("the second ObjectGetInfo") and the argument it means, never a position in the trace
// that one more host call would shift.
#pragma once

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

namespace brosk::testing {

// The calls to `member`, in order.
inline std::vector<nlohmann::json> callsTo(const std::vector<nlohmann::json>& trace,
                                           std::string_view member) {
  std::vector<nlohmann::json> found;
  for (const nlohmann::json& entry : trace) {
    if (entry.value("member", "") == member) found.push_back(entry);
  }
  return found;
}

// The arguments of the n-th call to `member` (from 0); a missing call fails the test.
inline nlohmann::json argsOf(const std::vector<nlohmann::json>& trace, std::string_view member,
                             std::size_t n = 0) {
  const auto calls = callsTo(trace, member);
  if (n >= calls.size()) {
    ADD_FAILURE() << "no call " << n << " to " << member;
    return nlohmann::json::array();
  }
  return calls[n]["args"];
}

// One argument as the trace writes it.
inline nlohmann::json arg(const char* kind, nlohmann::json value, bool byRef = false) {
  return {{"kind", kind}, {"byref", byRef}, {"value", std::move(value)}};
}
inline nlohmann::json longRef(std::int32_t value) {
  return arg("Long", value, true);
}

}  // namespace brosk::testing
