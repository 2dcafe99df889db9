#include "platform/files.h"

#include <algorithm>

namespace brosk {
namespace {

// Eight hexadecimal digits, for temporary names.
std::u16string hex8(std::uint32_t value) {
  std::u16string digits(8, u'0');
  for (int i = 7; i >= 0; --i, value >>= 4) digits[i] = u"0123456789abcdef"[value & 0xF];
  return digits;
}

// A temporary file beside the target: its name is removed when it goes, unless it was
// renamed into place. The file itself is closed before the name goes.
class Temporary {
 public:
  explicit Temporary(FileSystem& files) : files_(files) {}
  ~Temporary() {
    file.reset();
    if (!name.empty()) files_.remove(name);
  }
  Temporary(const Temporary&) = delete;
  Temporary& operator=(const Temporary&) = delete;

  std::u16string name;
  std::unique_ptr<FileSystem::File> file;

 private:
  FileSystem& files_;
};

// How long a file another program holds is waited for, and how often it is tried again
// meanwhile: about two seconds, the time a scanner takes over a new file.
constexpr int kPauseMilliseconds = 10;
constexpr int kPatienceMilliseconds = 2000;

// Runs a call, and again while it fails in a way that may pass in a moment.
template <class Call>
FileSystem::Error patiently(FileSystem& files, Call call) {
  FileSystem::Error error = call();
  for (int waited = 0; error != 0 && files.mayPass(error) && waited < kPatienceMilliseconds;
       waited += kPauseMilliseconds) {
    files.pause(kPauseMilliseconds);
    error = call();
  }
  return error;
}

RuntimeError heldError(const std::u16string& path) {
  return RuntimeError(err::kPermissionDenied, standardDescription(err::kPermissionDenied) +
                                                  u": otro programa tiene abierto «" + path + u"»");
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
                     name.back() != u'.' && name.back() != u' ';
  if (!plain) throw pathError(err::kBadFileName, path);
}

void replaceFile(FileSystem& files, const std::u16string& path,
                 std::span<const std::uint8_t> bytes) {
  checkPath(path);
  const std::u16string target = files.nativePath(path);
  const FileSystem::Entry earlier = files.entry(target);
  if (earlier == FileSystem::Entry::Folder) throw pathError(err::kPathFileAccess, path);
  // Windows refuses to rename over a read-only file, Linux and Wine replace it: on every
  // platform it is kept, and said so.
  if (earlier == FileSystem::Entry::ReadOnlyFile) {
    throw RuntimeError(err::kPathFileAccess, standardDescription(err::kPathFileAccess) + u": «" +
                                                 path + u"» es de sólo lectura");
  }
  const auto slash = target.rfind(files.separator());
  const std::u16string folder =
      slash == std::u16string::npos ? std::u16string() : target.substr(0, slash + 1);
  const std::u16string name = slash == std::u16string::npos ? target : target.substr(slash + 1);

  // A hidden name of the target's own, in the same folder: the rename stays within one
  // file system, and an interrupted save leaves nothing a reader would take for a workbook.
  Temporary temp(files);
  for (int attempt = 0; !temp.file; ++attempt) {
    std::u16string candidate = folder + u"." + name + u"." + hex8(files.randomNumber()) + u".tmp";
    const FileSystem::Error error =
        patiently(files, [&] { return files.createNew(candidate, temp.file); });
    if (error == 0) {
      temp.name = std::move(candidate);
    } else if (files.heldOpen(error)) {
      throw heldError(path);
    } else if (!files.alreadyExists(error) || attempt == 99) {
      throw files.error(error, path);
    }
  }
  if (const FileSystem::Error error = temp.file->write(bytes)) throw files.error(error, path);
  if (const FileSystem::Error error = temp.file->flush()) throw files.error(error, path);
  const FileSystem::Error closed = temp.file->close();
  temp.file.reset();
  if (closed != 0) throw files.error(closed, path);
  if (const FileSystem::Error error =
          patiently(files, [&] { return files.replace(temp.name, target); })) {
    // A rename over a file another program has open is refused, on Windows as an access
    // denial: after the wait, the file is still held.
    const bool held =
        files.heldOpen(error) || (files.mayPass(error) && earlier != FileSystem::Entry::None);
    throw held ? heldError(path) : files.error(error, path);
  }
  temp.name.clear();  // it is the target's name now
  files.flushFolderOf(target);
}

EarlierFile::EarlierFile(FileSystem& files, std::u16string path)
    : files_(files), path_(std::move(path)) {
  checkPath(path_);
  const std::u16string native = files_.nativePath(path_);
  if (files_.entry(native) == FileSystem::Entry::None) return;
  std::vector<std::uint8_t> bytes;
  if (const FileSystem::Error error =
          patiently(files_, [&] { return files_.read(native, bytes); })) {
    throw files_.heldOpen(error) ? heldError(path_) : files_.error(error, path_);
  }
  bytes_ = std::move(bytes);
}

void EarlierFile::restore() const noexcept {
  try {
    if (bytes_) {
      replaceFile(files_, path_, *bytes_);
    } else {
      files_.remove(files_.nativePath(path_));
    }
  } catch (...) {
    // the failure being reported is the one that matters to the user
  }
}

}  // namespace brosk
