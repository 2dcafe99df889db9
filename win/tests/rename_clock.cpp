// Loaded into the Wine server (LD_PRELOAD), which makes the renames Windows programs ask
// for: each rename(2) is logged with the monotonic clock's time when it returned, to the
// file BROSK_RENAME_LOG names, "SECONDS.NANOSECONDS STATUS TO" per line. One write(2) per
// rename, so that the log costs the time between two renames a few microseconds at most.
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>

extern "C" int rename(const char* from, const char* to) {
  using Rename = int (*)(const char*, const char*);
  static const auto real = reinterpret_cast<Rename>(dlsym(RTLD_NEXT, "rename"));
  static const int log = [] {
    const char* path = std::getenv("BROSK_RENAME_LOG");
    return path ? ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644) : -1;
  }();
  const int status = real(from, to);
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  if (log >= 0) {
    char line[4200];
    const int n = std::snprintf(line, sizeof line, "%lld.%09ld %d %s\n",
                                static_cast<long long>(now.tv_sec), now.tv_nsec, status, to);
    if (n > 0) (void)!::write(log, line, static_cast<std::size_t>(std::min(n, 4199)));
  }
  return status;
}
