#include <cmath>

#include "automation/convert.h"
#include "order/constantes.h"
#include "plugin/plugin.h"

namespace brosk {
namespace {

// A product already stored is tested afterwards: an overflow or an invalid operation is
// a run-time error, as a floating-point fault is for a VB program.
void checkStored(double value) {
  if (!std::isfinite(value)) throw RuntimeError(err::kOverflow);
}

}  // namespace

void Plugin::insertarEnLista(std::u16string& tip, std::u16string& num, std::int16_t& pos,
                             std::u16string& art, std::u16string& des, std::u16string& pre) {
  // Each step addresses the entry afresh, so an index outside 1..200 fails on the first
  // step before anything is written, and a price that is not a number fails on the
  // seventh, after the texts and the quantity are stored.
  Constantes& c = constantes();
  const NumberFormat format = services_.system.numberFormat();
  c.lineas(pos).tip = tip;
  c.lineas(pos).num = num;
  c.lineas(pos).pos = pos;
  c.lineas(pos).art = art;
  c.lineas(pos).des = des;
  c.lineas(pos).cantidad = 1;
  c.lineas(pos).precio = parseLocaleNumber(pre, format) * c.dblValorPunto;
  checkStored(c.lineas(pos).precio);
  c.lineas(pos).importe = parseLocaleNumber(pre, format) * c.dblValorPunto;
  checkStored(c.lineas(pos).importe);
  c.lineas(pos).col12 = u"0";
  c.lineas(pos).col19 = u"0";
}

}  // namespace brosk
