#include <array>
#include <string_view>

#include "order/catalogo.h"

namespace brosk {
namespace {

// Catalogues whose objects never become order lines: system and construction elements,
// decoration, textures, symbols. "@DECOCU" and "@decocu" are two catalogues.
constexpr std::array<std::u16string_view, 16> kExcluded = {
    u"SYSTEM",  u"@TX_STD",  u"@CONSTR",  u"@FORMES",  u"@SYMCUF1", u"@DECOCU",
    u"@decocu", u"@electro", u"#BASE",    u"@-DECORA", u"@CONSTR2", u"@tiles",
    u"@tx_pal", u"DECSAN",   u"DECMOBES", u"DECINESP"};

}  // namespace

std::span<const std::u16string_view> catalogosExcluidos() {
  return kExcluded;
}

bool esCatalogoValido(const std::u16string& nombre) {
  for (const std::u16string_view excluded : kExcluded) {
    if (nombre == excluded) return false;
  }
  return true;
}

}  // namespace brosk
