// PRE.xls: the order header as one row of fourteen cells.
#include "export/redondeo.h"
#include "order/constantes.h"
#include "plugin/plugin.h"

namespace brosk {

void Plugin::escribirPRE() {
  const Constantes& c = constantes();
  abrirExcel();
  nuevoLibro();

  Variant fila = Variant::integer(1);
  auto texto = [&](std::int16_t columna, const std::u16string& valor) {
    escribirCelda(fila, false, columna, Variant::text(valor));
  };
  auto numero = [&](std::int16_t columna, double valor) {
    escribirCelda(fila, false, columna, Variant::dbl(valor));
  };
  texto(1, c.strSerie);
  texto(2, c.strNumPedido);
  texto(3, c.strCliente);
  texto(4, c.strFecha);
  texto(7, c.strCodCliente);
  texto(8, u"");
  texto(14, u"0");
  texto(17, u"GEN");
  numero(18, redondear2(c.dblSuma));
  numero(45, redondear2(c.dblBase));
  numero(48, c.dblIVA);  // a percentage, as the user typed it
  numero(51, redondear2(c.dblCuotaIVA));
  numero(62, redondear2(c.dblTotal));
  texto(71, u"0");

  std::u16string fichero = rutaEnCarpeta(u"PRE.xls");
  guardarLibro(fichero);
  cerrarExcel();
}

}  // namespace brosk
