// A scriptable stand-in for the system services, for tests: fixed conventions and
// date, chosen default folders, folder creation that can be told to fail. Entry tests
// and folder creation otherwise go to the real (Linux) file system.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/linux_system.h"

namespace brosk {

class FakeSystem : public SystemServices {
 public:
  NumberFormat format{u",", u"."};  // Spanish conventions
  std::u16string dateSep = u"/";
  LocalDate date{2026, 12, 8};
  std::u16string defaultPath = u"/nonexistent/KD_LORVENIC";
  std::u16string fallbackPath = u"/nonexistent";
  std::optional<RuntimeError> createFolderError;  // thrown by every createFolder
  std::vector<std::u16string> created;            // folders created, in order
  std::vector<std::u16string> looked;             // paths given to entryExists, in order

  bool entryExists(const std::u16string& path) override {
    looked.push_back(path);
    return real_.entryExists(path);
  }
  void createFolder(const std::u16string& path) override {
    if (createFolderError) throw *createFolderError;
    real_.createFolder(path);
    created.push_back(path);
  }
  LocalDate today() override { return date; }
  NumberFormat numberFormat() override { return format; }
  std::u16string dateSeparator() override { return dateSep; }
  char16_t pathSeparator() override { return u'/'; }
  std::u16string defaultFolder() override { return defaultPath; }
  std::u16string fallbackFolder() override { return fallbackPath; }

 private:
  LinuxSystem real_{"C"};
};

}  // namespace brosk
