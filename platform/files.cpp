#include "platform/files.h"

#include <algorithm>
#include <optional>

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
// Putting earlier files back has a patience of its own, whatever the probes spent: one
// passing hold (a scanner) must not leave a folder half put back.
constexpr std::int64_t kPutBackPatienceMilliseconds = 1000;

// A temporary file older than this, by the time in its name, is a link's that never
// finished (a killed host, a power cut): a link takes seconds, and the hour is room for
// the clocks of PCs that link into one shared folder. A set-aside file may be the only copy
// of an earlier file (when it could not be put back): it is kept far longer.
constexpr std::int64_t kTemporarySeconds = 60 * 60;
constexpr std::int64_t kSetAsideSeconds = 30 * 24 * 60 * 60;
// The names of earlier versions carry no time: their files are aged by the listing.
constexpr std::int64_t kUntimedTemporarySeconds = 5 * 60;

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

bool hexDigits(std::u16string_view digits) {
  return std::all_of(digits.begin(), digits.end(), [](char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f');
  });
}

// A name this file gives a temporary file (".NAME.TTTTTTTT-XXXXXXXX.tmp") or an earlier
// file set aside (".old"): the target's name, when it was made (T: UTC seconds; none in
// the names of earlier versions, ".NAME.XXXXXXXX.tmp"), and which of the two it is.
struct WorkName {
  std::u16string_view target;
  std::optional<std::int64_t> made;
  bool setAside = false;
};

std::optional<WorkName> workNameOf(std::u16string_view name) {
  if (!name.starts_with(u'.') || name.size() < 6) return std::nullopt;
  const std::u16string_view kind = name.substr(name.size() - 4);
  if (kind != u".tmp" && kind != u".old") return std::nullopt;
  const std::u16string_view rest = name.substr(1, name.size() - 5);
  const std::size_t dot = rest.rfind(u'.');
  if (dot == std::u16string_view::npos) return std::nullopt;
  const std::u16string_view stamp = rest.substr(dot + 1);
  WorkName work{rest.substr(0, dot), std::nullopt, kind == u".old"};
  if (stamp.size() == 17 && stamp[8] == u'-' && hexDigits(stamp.substr(0, 8)) &&
      hexDigits(stamp.substr(9))) {
    std::int64_t made = 0;
    for (const char16_t c : stamp.substr(0, 8))
      made = made * 16 + (c <= u'9' ? c - u'0' : c - u'a' + 10);
    work.made = made;
  } else if (stamp.size() != 8 || !hexDigits(stamp)) {
    return std::nullopt;
  }
  return work;
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
  bool kept = false;  // the set-aside file is kept: the earlier file could not go back
};

namespace {
thread_local StagedFiles* tCurrent = nullptr;
}  // namespace

StagedFiles::StagedFiles(FileSystem& files) : files_(files), patience_(kPatienceMilliseconds) {}

StagedFiles::~StagedFiles() {
  for (Staged& s : staged_) {
    s.file.reset();
    if (!s.renamed && !s.temp.empty()) (void)files_.remove(s.temp);
    if (!s.aside.empty() && !s.moved && !s.kept) (void)files_.remove(s.aside);
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
  if (deadline_ < 0) deadline_ = now + patience_;
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
    cleaned_.push_back(folder);
  }

  // A hidden file with a name of the target's own, in the same folder: the rename stays
  // within one file system, and an interrupted save leaves nothing a reader would take for
  // a workbook.
  for (int attempt = 0; !s.file; ++attempt) {
    std::u16string candidate = workName(folder, name, u".tmp");
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

std::u16string StagedFiles::workName(const std::u16string& folder, const std::u16string& name,
                                     const char16_t* kind) {
  const auto made = static_cast<std::uint32_t>(files_.wallClock());
  return folder + u"." + name + u"." + hex8(made) + u"-" + hex8(files_.randomNumber()) + kind;
}

// The temporary and set-aside files of this set's targets that links which never finished
// left in their folders; nothing else.
void StagedFiles::removeLeftovers() {
  const std::int64_t now = files_.wallClock();
  std::vector<FileSystem::Listed> listed;
  for (const std::u16string& folder : cleaned_) {
    if (files_.list(folder, listed) != 0) continue;  // the set's own calls will say why
    for (const FileSystem::Listed& entry : listed) {
      const std::optional<WorkName> work = workNameOf(entry.name);
      const bool ours = work && std::any_of(staged_.begin(), staged_.end(), [&](const Staged& s) {
                          return s.target.size() == folder.size() + work->target.size() &&
                                 s.target.starts_with(folder) && s.target.ends_with(work->target);
                        });
      if (!ours) continue;
      const std::int64_t age = work->made ? now - *work->made : entry.ageSeconds;
      const std::int64_t limit = work->setAside           ? kSetAsideSeconds
                                 : work->made.has_value() ? kTemporarySeconds
                                                          : kUntimedTemporarySeconds;
      if (age > limit) (void)files_.remove(folder + entry.name);
    }
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
                                      bool patient, FileSystem::File* open) {
  FileSystem::Error error;
  while ((error = open ? open->renameTo(to) : files_.replace(from, to)) != 0 && patient &&
         held(error, to) && wait()) {
  }
  return error;
}

bool StagedFiles::held(FileSystem::Error error, const std::u16string& target) {
  return files_.heldOpen(error) ||
         (files_.mayBeHeld(error) && files_.heldOpen(files_.probe(target)));
}

RuntimeError StagedFiles::renameError(FileSystem::Error error, Staged& s) {
  return held(error, s.target) ? heldError(s.path) : files_.error(error, s.path);
}

// The earlier file gets a second name, so that it can come back as itself. Where the file
// system has no hard links, the file itself moves aside: then, for the one rename that
// follows, the folder holds no file of that name.
void StagedFiles::setEarlierAside(Staged& s) {
  const std::u16string folder = folderOf(s.target, files_.separator());
  const std::u16string name = s.target.substr(folder.size());
  for (int attempt = 0;; ++attempt) {
    const std::u16string aside = workName(folder, name, u".old");
    FileSystem::Error error = files_.link(s.target, aside);
    const bool moved = error != 0 && !files_.alreadyExists(error);
    if (moved) error = rename(s.target, aside);
    if (error == 0) {
      s.aside = aside;
      s.moved = moved;
      return;
    }
    if (!files_.alreadyExists(error) || attempt == 99) {
      throw held(error, s.target) ? heldError(s.path) : files_.error(error, s.path);
    }
  }
}

// After the rename of file `failed` failed: the files renamed before it go back to their
// earlier files (or go, where there was none), and an earlier file moved aside (where the
// file system has no hard links) comes back. The put-back has a patience of its own.
void StagedFiles::putBack(std::size_t failed, const RuntimeError& cause) {
  deadline_ = -1;
  pause_ = 0;
  patience_ = kPutBackPatienceMilliseconds;
  for (std::size_t i = 0; i < staged_.size(); ++i) {
    Staged& s = staged_[i];
    FileSystem::Error error = 0;
    if (i < failed) {
      // Our own handle on the new file goes first: Windows renames over no open file.
      s.file.reset();
      error = s.aside.empty() ? files_.remove(s.target) : rename(s.aside, s.target);
    } else if (s.moved) {
      error = rename(s.aside, s.target);
    } else {
      continue;
    }
    if (error != 0) throw notPutBack(s, cause);
    s.aside.clear();
  }
}

// A file that could not go back: its earlier file stays under its set-aside name, never
// removed, and the new file is taken away where it can be, so that the folder holds an
// order without that file rather than one order's file beside another's. The message says
// which, and where the earlier file is.
RuntimeError StagedFiles::notPutBack(Staged& s, const RuntimeError& cause) {
  std::u16string what = cause.description() + u". No se ha podido restaurar «" + s.path + u"»";
  if (s.aside.empty()) {
    return RuntimeError(cause.number(),
                        what + u": el pedido de esa carpeta está incompleto; repita el enlace");
  }
  s.kept = true;
  const bool gone = !s.renamed || files_.remove(s.target) == 0;
  const std::size_t slash = s.path.find_last_of(u"/\\");
  const std::size_t nameAt = s.aside.rfind(files_.separator()) + 1;
  what += u", cuya versión anterior se conserva en «" +
          s.path.substr(0, slash == std::u16string::npos ? 0 : slash + 1) + s.aside.substr(nameAt) +
          u"»";
  what += gone ? u": esa carpeta no tiene ahora ese archivo y su pedido está incompleto; repita "
                 u"el enlace"
               : u": el pedido de esa carpeta está incompleto; repita el enlace";
  return RuntimeError(cause.number(), what);
}

void StagedFiles::commit() {
  removeLeftovers();
  probeAll();
  // Every earlier file gets a second name before the first rename: so the renames free no
  // file (the window between them is as short as two renames), and the files before the
  // last keep their earlier files to put back. Once the first target is replaced, nothing
  // waits: a file held since its probe (on Windows one open with delete sharing) fails the
  // set at once, and the files before it go back, rather than leave one order's header
  // beside another's lines for the wait. Whatever stops the set on the way (a failed call,
  // no memory for a name) puts back what was set aside or renamed.
  std::size_t done = 0;
  try {
    for (Staged& s : staged_) {
      if (s.earlier) setEarlierAside(s);
    }
    for (Staged& s : staged_) s.file->unhide();
    for (; done < staged_.size(); ++done) {
      Staged& s = staged_[done];
      const FileSystem::Error error = rename(s.temp, s.target, done == 0, s.file.get());
      if (error != 0) throw renameError(error, s);
      s.renamed = true;
    }
  } catch (const RuntimeError& cause) {
    putBack(done, cause);
    throw;
  } catch (...) {
    putBack(done, RuntimeError(err::kOutOfMemory));
    throw;
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
