// LPS.xls: one row of ten cells per line of the line table, the header line first.
#include "export/redondeo.h"
#include "order/constantes.h"
#include "plugin/plugin.h"

namespace brosk {

void Plugin::escribirLPS() {
  const Constantes& c = constantes();
  abrirExcel();
  nuevoLibro();

  const std::int16_t lineas = intContador;
  for (int n = 1; n <= lineas; ++n) {
    const auto i = static_cast<std::int16_t>(n);
    // The line is taken before any cell of its row is written: a line outside the table
    // fails here, with error 9, and leaves the row empty.
    const tLinea& linea = c.lineas(i);
    Variant fila = Variant::integer(i);
    auto celda = [&](std::int16_t columna, Variant valor) {
      escribirCelda(fila, true, columna, std::move(valor));
    };
    celda(1, Variant::text(linea.tip));
    celda(2, Variant::text(linea.num));
    celda(3, Variant::integer(i));
    celda(4, Variant::text(linea.art));
    celda(5, Variant::text(linea.des));
    celda(6, Variant::lng(linea.cantidad));
    celda(10, Variant::dbl(redondear2(linea.precio)));
    celda(11, Variant::dbl(redondear2(linea.importe)));
    celda(12, Variant::text(linea.col12));
    celda(19, Variant::text(linea.col19));
  }

  std::u16string fichero = rutaEnCarpeta(u"LPS.xls");
  guardarLibro(fichero);
  cerrarExcel();
}

}  // namespace brosk
