#include "platform/files.h"

namespace brosk {

RuntimeError pathError(std::int32_t number, const std::u16string& path) {
  return RuntimeError(number, standardDescription(number) + u": «" + path + u"»");
}

void checkPath(const std::u16string& path) {
  if (path.empty() || path.find(u'\0') != std::u16string::npos)
    throw pathError(err::kBadFileName, path);
}

void checkFolderName(std::u16string_view name, const std::u16string& path) {
  const bool plain = !name.empty() && name != u"." && name != u".." &&
                     name.find_first_of(u"\\/") == std::u16string_view::npos &&
                     name.back() != u'.' && name.back() != u' ';
  if (!plain) throw pathError(err::kBadFileName, path);
}

}  // namespace brosk
