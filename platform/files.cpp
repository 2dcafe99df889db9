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
  if (files.isFolder(target)) throw pathError(err::kPathFileAccess, path);
  const auto slash = target.rfind(files.separator());
  const std::u16string folder =
      slash == std::u16string::npos ? std::u16string() : target.substr(0, slash + 1);
  const std::u16string name = slash == std::u16string::npos ? target : target.substr(slash + 1);

  // A hidden name of the target's own, in the same folder: the rename stays within one
  // file system, and an interrupted save leaves nothing a reader would take for a workbook.
  Temporary temp(files);
  for (int attempt = 0; !temp.file; ++attempt) {
    std::u16string candidate = folder + u"." + name + u"." + hex8(files.randomNumber()) + u".tmp";
    const FileSystem::Error error = files.createNew(candidate, temp.file);
    if (error == 0) {
      temp.name = std::move(candidate);
    } else if (!files.alreadyExists(error) || attempt == 99) {
      throw files.error(error, path);
    }
  }
  if (const FileSystem::Error error = temp.file->write(bytes)) throw files.error(error, path);
  if (const FileSystem::Error error = temp.file->flush()) throw files.error(error, path);
  const FileSystem::Error closed = temp.file->close();
  temp.file.reset();
  if (closed != 0) throw files.error(closed, path);
  if (const FileSystem::Error error = files.replace(temp.name, target)) {
    throw files.error(error, path);
  }
  temp.name.clear();  // it is the target's name now
  files.flushFolderOf(target);
}

}  // namespace brosk
