#include "platform/linux_system.h"

#include <errno.h>
#include <langinfo.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <stdexcept>

#include "automation/text.h"
#include "platform/files.h"

namespace brosk {
namespace {

// A path as the Linux file system takes it.
std::string nativePath(const std::u16string& path) {
  checkPath(path);
  return toUtf8(path);
}

std::u16string homeFolder() {
  if (const char* home = std::getenv("HOME"); home && *home) return fromUtf8(home);
  if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return fromUtf8(pw->pw_dir);
  return u"/";
}

}  // namespace

RuntimeError fileSystemError(int errnum, const std::u16string& path) {
  std::int32_t number = err::kPathFileAccess;
  switch (errnum) {
    case ENOENT:
    case ENOTDIR:
      number = err::kPathNotFound;
      break;
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
    case EBUSY:
      number = err::kPermissionDenied;
      break;
    case ENAMETOOLONG:
    case EINVAL:
    case EILSEQ:
      number = err::kBadFileName;
      break;
    case ENOSPC:
    case EDQUOT:
      number = err::kDiskFull;
      break;
    case EIO:
      number = err::kIoError;
      break;
    default:
      number = err::kPathFileAccess;
      break;  // EEXIST, EISDIR and the rest
  }
  return pathError(number, path);
}

std::u16string dateSeparatorOf(const std::string& dateFormat) {
  for (std::size_t i = 0; i + 1 < dateFormat.size(); ++i) {
    if (dateFormat[i] != '%') continue;
    std::size_t j = i + 1;
    while (j < dateFormat.size() && (dateFormat[j] == 'E' || dateFormat[j] == 'O' ||
                                     dateFormat[j] == '-' || dateFormat[j] == '_')) {
      ++j;
    }
    std::size_t k = j + 1;
    std::size_t end = k;
    while (end < dateFormat.size() && dateFormat[end] != '%') ++end;
    if (end > k && end < dateFormat.size()) return fromUtf8(dateFormat.substr(k, end - k));
    i = j;
  }
  return u"/";
}

LinuxSystem::LinuxSystem(const std::string& localeName) {
  locale_t loc = newlocale(LC_NUMERIC_MASK | LC_TIME_MASK, localeName.c_str(), nullptr);
  if (loc == nullptr) {
    throw std::runtime_error(
        "unknown locale '" +
        (localeName.empty() ? std::string("(from the environment)") : localeName) + "'");
  }
  format_.decimal = fromUtf8(nl_langinfo_l(RADIXCHAR, loc));
  format_.grouping = fromUtf8(nl_langinfo_l(THOUSEP, loc));
  format_.groups = groupsFromPosix(nl_langinfo_l(GROUPING, loc));
  if (format_.decimal.empty()) format_.decimal = u".";
  dateSeparator_ = dateSeparatorOf(nl_langinfo_l(D_FMT, loc));
  freelocale(loc);
}

LinuxSystem::~LinuxSystem() = default;

bool LinuxSystem::entryExists(const std::u16string& path) {
  const std::string native = nativePath(path);
  struct stat st {};
  if (::stat(native.c_str(), &st) != 0) return false;
  // Linux has no hidden or system attribute: every folder and ordinary file counts.
  return S_ISDIR(st.st_mode) || S_ISREG(st.st_mode);
}

void LinuxSystem::createFolder(const std::u16string& path) {
  const std::string native = nativePath(path);
  if (::mkdir(native.c_str(), 0777) != 0) {
    throw fileSystemError(errno, path);
  }
}

LocalDate LinuxSystem::today() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

std::u16string LinuxSystem::defaultFolder() {
  return homeFolder() + u"/KD_LORVENIC";
}

std::u16string LinuxSystem::fallbackFolder() {
  return homeFolder();
}

}  // namespace brosk
