// The catalogue filter: objects of the host catalogues on a fixed list (system and
// construction elements, decoration, textures, symbols) never become order lines.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace brosk {

// True when objects of catalogue `nombre` may become order lines: the name is on none of
// the sixteen excluded catalogue names (compared exactly, case and blanks counting).
bool esCatalogoValido(const std::u16string& nombre);
// The sixteen excluded catalogue names, in the order they are compared.
std::span<const std::u16string_view> catalogosExcluidos();

}  // namespace brosk
