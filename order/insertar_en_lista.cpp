#include "automation/convert.h"
#include "order/constantes.h"
#include "plugin/plugin.h"

namespace brosk {

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
  // A product already stored is tested afterwards: out of range, it is error 6 with the
  // value left in the line.
  c.lineas(pos).precio = parseLocaleNumber(pre, format) * c.dblValorPunto;
  (void)checked(c.lineas(pos).precio);
  c.lineas(pos).importe = parseLocaleNumber(pre, format) * c.dblValorPunto;
  (void)checked(c.lineas(pos).importe);
  c.lineas(pos).col12 = u"0";
  c.lineas(pos).col19 = u"0";
}

}  // namespace brosk
