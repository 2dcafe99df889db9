#include "platform/files.h"

#include <algorithm>

#include "automation/text.h"

namespace brosk {
namespace {

// Eight hexadecimal digits, for temporary names.
std::u16string hex8(std::uint32_t value) {
  std::u16string digits(8, u'0');
  for (int i = 7; i >= 0; --i, value >>= 4) digits[i] = u"0123456789abcdef"[value & 0xF];
  return digits;
}

// How long the files of one set are waited for while another program holds them, in
// all: about two seconds, the time a scanner takes over a new file, and well under the
// five seconds after which Windows calls the host "not responding". The pauses grow from
// the first to the longest, so that a file held for an instant costs an instant and one
// held for good costs few tries (each a round trip on a network share).
constexpr std::int64_t kPatienceMilliseconds = 2000;
constexpr int kFirstPause = 10;
constexpr int kLongestPause = 250;

// Temporary and set-aside files older than this are a link's that never finished (a
// killed host, a power cut); another PC's save in progress is younger.
constexpr std::int64_t kLeftoverSeconds = 5 * 60;

RuntimeError heldError(const std::u16string& path) {
  return RuntimeError(err::kPermissionDenied, standardDescription(err::kPermissionDenied) +
                                                  u": otro programa tiene abierto «" + path + u"»");
}

// A probe's refusal: no permission to replace the file is said so; any other reason (a
// network drop, say) as the system gives it.
RuntimeError refusalError(FileSystem& files, FileSystem::Error error, const std::u16string& path) {
  RuntimeError reason = files.error(error, path);
  if (reason.number() != err::kPermissionDenied) return reason;
  return RuntimeError(err::kPermissionDenied, standardDescription(err::kPermissionDenied) +
                                                  u": no tiene permiso para reemplazar «" + path +
                                                  u"»");
}

std::u16string folderOf(const std::u16string& native, char16_t separator) {
  const auto slash = native.rfind(separator);
  return slash == std::u16string::npos ? std::u16string() : native.substr(0, slash + 1);
}

// ".NAME.xls.XXXXXXXX.tmp" and ".NAME.xls.XXXXXXXX.old": the names this file gives
// temporary files and earlier files set aside.
bool ownWorkName(std::u16string_view name) {
  if (!name.starts_with(u'.') || name.size() < 1 + 4 + 1 + 8 + 4) return false;
  const std::u16string_view kind = name.substr(name.size() - 4);
  if (kind != u".tmp" && kind != u".old") return false;
  const std::u16string_view number = name.substr(name.size() - 12, 8);
  const bool hex = std::all_of(number.begin(), number.end(), [](char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f');
  });
  const std::u16string_view target = name.substr(1, name.size() - 14);
  return hex && name[name.size() - 13] == u'.' && target.size() > 4 &&
         equalsIgnoringAsciiCase(target.substr(target.size() - 4), u".xls");
}

// Whether a name is one Windows takes for a device: the part before the first dot, less
// trailing spaces, is CON, PRN, AUX, NUL, or COM or LPT with a digit 1-9 (or a
// superscript 1, 2 or 3).
bool deviceName(std::u16string_view name) {
  std::u16string_view base = name.substr(0, std::min(name.find(u'.'), name.size()));
  while (!base.empty() && base.back() == u' ') base.remove_suffix(1);
  for (std::u16string_view device : {u"CON", u"PRN", u"AUX", u"NUL"}) {
    if (equalsIgnoringAsciiCase(base, device)) return true;
  }
  if (base.size() != 4) return false;
  const bool port = equalsIgnoringAsciiCase(base.substr(0, 3), u"COM") ||
                    equalsIgnoringAsciiCase(base.substr(0, 3), u"LPT");
  const char16_t digit = base[3];
  return port && ((digit >= u'1' && digit <= u'9') || digit == u'\u00b9' || digit == u'\u00b2' ||
                  digit == u'\u00b3');
}

}  // namespace

RuntimeError pathError(std::int32_t number, const std::u16string& path) {
  return RuntimeError(number, standardDescription(number) + u": «" + path + u"»");
}

void checkPath(const std::u16string& path) {
  if (path.empty() || path.find(u'\0') != std::u16string::npos)
    throw pathError(err::kBadFileName, path);
}

void checkFolderName(std::u16string_view name, const std::u16string& path) {
  // What Windows allows in a name: no separator, none of <>:"|?* (a ":" would name a
  // stream of another entry, "*" and "?" match other entries), no control character.
  auto refused = [](char16_t c) {
    return c < 0x20 || std::u16string_view(u"\\/<>:\"|?*").find(c) != std::u16string_view::npos;
  };
  const bool plain = !name.empty() && name.size() <= kMaxNameLength && name != u"." &&
                     name != u".." && std::none_of(name.begin(), name.end(), refused) &&
                     name.back() != u'.' && name.back() != u' ' && !deviceName(name);
  if (!plain) throw pathError(err::kBadFileName, path);
}

// One file of a set: its target, its temporary file (open until the set is committed, so
// that the rename can be flushed through it) and, while the set is committed, the
// earlier file's second name.
struct StagedFiles::Staged {
  std::u16string path;    // as given, for messages
  std::u16string target;  // native
  std::u16string temp;    // native; the target's name once renamed
  std::u16string aside;   // native; empty when nothing is set aside
  bool moved = false;     // the earlier file itself moved aside (no hard links)
  std::unique_ptr<FileSystem::File> file;
  bool earlier = false;  // a file was at the target when the set was committed
  bool renamed = false;
};

namespace {
thread_local StagedFiles* tCurrent = nullptr;
}  // namespace

StagedFiles::StagedFiles(FileSystem& files) : files_(files) {}

StagedFiles::~StagedFiles() {
  for (Staged& s : staged_) {
    s.file.reset();
    if (!s.renamed && !s.temp.empty()) (void)files_.remove(s.temp);
    if (!s.aside.empty() && !s.moved) (void)files_.remove(s.aside);
  }
}

StagedFiles* StagedFiles::current() noexcept {
  return tCurrent;
}
StagedFiles::Current::Current(StagedFiles& files) noexcept : previous_(tCurrent) {
  tCurrent = &files;
}
StagedFiles::Current::~Current() {
  tCurrent = previous_;
}

bool StagedFiles::wait() {
  const std::int64_t now = files_.now();
  if (deadline_ < 0) deadline_ = now + kPatienceMilliseconds;
  if (now >= deadline_) return false;
  pause_ = pause_ == 0 ? kFirstPause : std::min(pause_ * 2, kLongestPause);
  files_.pause(static_cast<int>(std::min<std::int64_t>(pause_, deadline_ - now)));
  return true;
}

void StagedFiles::stage(const std::u16string& path, std::span<const std::uint8_t> bytes) {
  checkPath(path);
  Staged& s = staged_.emplace_back();
  s.path = path;
  s.target = files_.nativePath(path);
  const FileSystem::Entry earlier = files_.entry(s.target);
  if (earlier == FileSystem::Entry::Folder) throw pathError(err::kPathFileAccess, path);
  // Windows refuses to rename over a read-only file, Linux and Wine replace it: on every
  // platform it is kept, and said so.
  if (earlier == FileSystem::Entry::ReadOnlyFile) {
    throw RuntimeError(err::kPathFileAccess, standardDescription(err::kPathFileAccess) + u": «" +
                                                 path + u"» es de sólo lectura");
  }
  const std::u16string folder = folderOf(s.target, files_.separator());
  const std::u16string name = s.target.substr(folder.size());
  if (std::find(cleaned_.begin(), cleaned_.end(), folder) == cleaned_.end()) {
    removeLeftovers(folder);
    cleaned_.push_back(folder);
  }

  // A hidden name of the target's own, in the same folder: the rename stays within one
  // file system, and an interrupted save leaves nothing a reader would take for a workbook.
  for (int attempt = 0; !s.file; ++attempt) {
    std::u16string candidate = folder + u"." + name + u"." + hex8(files_.randomNumber()) + u".tmp";
    FileSystem::Error error;
    while ((error = files_.createNew(candidate, s.file)) != 0 && files_.heldOpen(error) && wait()) {
    }
    if (error == 0) {
      s.temp = std::move(candidate);
    } else if (files_.heldOpen(error)) {
      throw heldError(path);
    } else if (!files_.alreadyExists(error) || attempt == 99) {
      throw files_.error(error, path);
    }
  }
  if (const FileSystem::Error error = s.file->write(bytes)) throw files_.error(error, path);
  if (const FileSystem::Error error = s.file->flush()) throw files_.error(error, path);
}

void StagedFiles::removeLeftovers(const std::u16string& folder) {
  std::vector<FileSystem::Listed> listed;
  if (files_.list(folder, listed) != 0) return;  // the stage's own calls will say why
  for (const FileSystem::Listed& entry : listed) {
    if (ownWorkName(entry.name) && entry.ageSeconds > kLeftoverSeconds)
      (void)files_.remove(folder + entry.name);
  }
}

void StagedFiles::probeAll() {
  while (true) {
    const std::u16string* held = nullptr;
    for (Staged& s : staged_) {
      s.earlier = files_.entry(s.target) != FileSystem::Entry::None;
      const FileSystem::Error error = files_.probe(s.target);
      if (error == 0) continue;
      if (!files_.heldOpen(error)) throw refusalError(files_, error, s.path);
      held = &s.path;
    }
    if (!held) return;
    if (!wait()) throw heldError(*held);
  }
}

FileSystem::Error StagedFiles::rename(const std::u16string& from, const std::u16string& to,
                                      bool patient) {
  FileSystem::Error error;
  while ((error = files_.replace(from, to)) != 0 && patient &&
         (files_.heldOpen(error) || files_.mayBeHeld(error)) && wait()) {
  }
  return error;
}

// The earlier file gets a second name, so that it can come back as itself. Where the file
// system has no hard links, the file itself moves aside: then, for the one rename that
// follows, the folder holds no file of that name.
void StagedFiles::setEarlierAside(Staged& s) {
  const std::u16string folder = folderOf(s.target, files_.separator());
  const std::u16string name = s.target.substr(folder.size());
  for (int attempt = 0;; ++attempt) {
    const std::u16string aside =
        folder + u"." + name + u"." + hex8(files_.randomNumber()) + u".old";
    FileSystem::Error error = files_.link(s.target, aside);
    const bool moved = error != 0 && !files_.alreadyExists(error);
    if (moved) error = rename(s.target, aside);
    if (error == 0) {
      s.aside = aside;
      s.moved = moved;
      return;
    }
    if (!files_.alreadyExists(error) || attempt == 99) {
      throw files_.heldOpen(error) || files_.mayBeHeld(error) ? heldError(s.path)
                                                              : files_.error(error, s.path);
    }
  }
}

// After the rename of file `failed` failed: the files renamed before it go back to their
// earlier files (or go, where there was none), and its own earlier file, if it was moved
// aside, comes back.
void StagedFiles::putBack(std::size_t failed, const RuntimeError& cause) {
  for (std::size_t i = 0; i <= failed; ++i) {
    Staged& s = staged_[i];
    FileSystem::Error error = 0;
    if (i < failed) {
      error = s.aside.empty() ? files_.remove(s.target) : rename(s.aside, s.target);
    } else if (s.moved) {
      error = rename(s.aside, s.target);
    }
    if (error != 0) {
      throw RuntimeError(cause.number(),
                         cause.description() + u". No se ha podido restaurar «" + s.path +
                             u"»: el pedido de esa carpeta está incompleto; repita el enlace");
    }
    if (i < failed || s.moved) s.aside.clear();
  }
}

void StagedFiles::commit() {
  probeAll();
  // Only a rename after the first can fail once a target is replaced: the files before
  // the last keep their earlier files to put back.
  for (std::size_t i = 0; i + 1 < staged_.size(); ++i) {
    if (staged_[i].earlier) setEarlierAside(staged_[i]);
  }
  // Once the first target is replaced, nothing waits: a file held since its probe (on
  // Windows one open with delete sharing) fails the set at once, and the files before it
  // go back, rather than leave one order's header beside another's lines for the wait.
  for (std::size_t i = 0; i < staged_.size(); ++i) {
    Staged& s = staged_[i];
    if (const FileSystem::Error error = rename(s.temp, s.target, i == 0)) {
      const RuntimeError cause = files_.heldOpen(error) || (files_.mayBeHeld(error) && s.earlier)
                                     ? heldError(s.path)
                                     : files_.error(error, s.path);
      putBack(i, cause);
      throw cause;
    }
    s.renamed = true;
  }
  // The renames are done: what follows makes them durable, and cannot undo them.
  for (Staged& s : staged_) {
    (void)s.file->flush();
    (void)s.file->close();
    s.file.reset();
  }
  for (const std::u16string& folder : cleaned_) files_.flushFolderOf(folder);
  for (Staged& s : staged_) {
    if (!s.aside.empty()) (void)files_.remove(s.aside);
    s.aside.clear();
  }
}

void replaceFile(FileSystem& files, const std::u16string& path,
                 std::span<const std::uint8_t> bytes) {
  StagedFiles set(files);
  set.stage(path, bytes);
  set.commit();
}

RuntimeError withSystemReason(const RuntimeError& error, const char16_t* system, unsigned long code,
                              std::u16string_view text) {
  while (!text.empty() && (text.back() == u'\r' || text.back() == u'\n' || text.back() == u' ' ||
                           text.back() == u'.')) {
    text.remove_suffix(1);
  }
  std::u16string reason =
      u" (" + std::u16string(system) + u" " + decimal(static_cast<long long>(code));
  if (!text.empty()) reason += u": " + std::u16string(text);
  return RuntimeError(error.number(), error.description() + reason + u")");
}

}  // namespace brosk
