// Shared pieces of the tests: a recording user, a fresh thread for a fresh order state.
#pragma once

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

namespace brosk::testing {

// A user who only watches: records message boxes and answers each with its first button.
class WatchingUser : public UserInterface {
 public:
  std::vector<MessageBox> boxes;
  int messageBox(const std::u16string& text, const std::u16string& title, int style) override {
    boxes.push_back({text, title, style});
    return (style & 0xF) == 4 ? 6 : 1;
  }
  void showModal(FrmDatos&) override { throw std::logic_error("no dialog expected here"); }
  std::optional<std::u16string> browseForFolder(const std::u16string&) override { return {}; }
};

}  // namespace brosk::testing
