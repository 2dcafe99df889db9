// The system services on Linux: the file system through POSIX calls, the user's
// conventions through the C library's locales, the user's home standing for drive C:.
#pragma once

#include <locale.h>

#include <string>

#include "automation/error.h"
#include "platform/platform.h"

namespace brosk {

// The run-time error for a failed file-system call: errno mapped to the VB number, the
// description saying what went wrong and on which path.
RuntimeError fileSystemError(int errnum, const std::u16string& path);

class LinuxSystem : public SystemServices {
 public:
  // `localeName` as the C library knows it ("es_ES.UTF-8"); empty takes the user's
  // locale from the environment. Throws std::runtime_error when the locale is unknown.
  explicit LinuxSystem(const std::string& localeName = {});
  ~LinuxSystem() override;
  LinuxSystem(const LinuxSystem&) = delete;
  LinuxSystem& operator=(const LinuxSystem&) = delete;

  bool entryExists(const std::u16string& path) override;
  void createFolder(const std::u16string& path) override;
  LocalDate today() override;
  NumberFormat numberFormat() override { return format_; }
  std::u16string dateSeparator() override { return dateSeparator_; }
  char16_t pathSeparator() override { return u'/'; }
  std::u16string defaultFolder() override;
  std::u16string fallbackFolder() override;

 private:
  NumberFormat format_;
  std::u16string dateSeparator_;
};

// The separator between the parts of a short date written by strftime format `dateFormat`
// ("%d/%m/%y" gives "/"); "/" when the format has none.
std::u16string dateSeparatorOf(const std::string& dateFormat);

}  // namespace brosk
