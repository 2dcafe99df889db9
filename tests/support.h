// Shared pieces of the tests: message boxes to compare, assertions on run-time errors, a
// fresh thread for a fresh order state.
#pragma once

#include <gtest/gtest.h>

#include <exception>
#include <functional>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "automation/error.h"
#include "automation/text.h"
#include "platform/platform.h"

namespace brosk::testing {

struct MessageBox {
  std::u16string text;
  std::u16string title;
  int style = 0;
  friend bool operator==(const MessageBox&, const MessageBox&) = default;
  friend void PrintTo(const MessageBox& b, std::ostream* os) {
    *os << "[" << toUtf8(b.title) << "] " << toUtf8(b.text) << " (" << b.style << ")";
  }
};

// The number of the run-time error `body` raises, or 0 when it raises none.
template <class F>
std::int32_t errorOf(F&& body) {
  try {
    body();
  } catch (const RuntimeError& e) {
    return e.number();
  }
  return 0;
}

// Whether `body` raises run-time error `number` (0: none), with exactly `description` when
// one is given; the failure says what it raised instead.
template <class F>
::testing::AssertionResult raises(F&& body, std::int32_t number,
                                  const std::optional<std::u16string>& description = {}) {
  try {
    body();
  } catch (const RuntimeError& e) {
    if (e.number() == number && (!description || e.description() == *description))
      return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "raised " << e.what() << ", not error " << number;
  }
  if (number == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "raised no run-time error, not error " << number;
}

// EXPECT_RAISES(statement, number[, description]) and ASSERT_RAISES: the statement raises
// that run-time error (0: none), with that description when one is given.
#define EXPECT_RAISES(statement, ...) \
  EXPECT_TRUE(::brosk::testing::raises([&] { statement; }, __VA_ARGS__)) << #statement
#define ASSERT_RAISES(statement, ...) \
  ASSERT_TRUE(::brosk::testing::raises([&] { statement; }, __VA_ARGS__)) << #statement

// Runs `body` on a new thread: it starts with the order state and the dialog a new
// apartment has. Exceptions come back to the caller.
inline void inFreshThread(const std::function<void()>& body) {
  std::exception_ptr failure;
  std::thread worker([&] {
    try {
      body();
    } catch (...) {
      failure = std::current_exception();
    }
  });
  worker.join();
  if (failure) std::rethrow_exception(failure);
}

}  // namespace brosk::testing
