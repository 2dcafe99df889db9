// The state the two workbook writers read, filled in for tests of the workbook cycle and
// of the layouts of PRE.xls and LPS.xls.
#pragma once

#include <functional>

#include "fake_excel.h"
#include "order/constantes.h"
#include "plugin/plugin.h"
#include "world.h"

namespace brosk::testing {

class Export : public World {
 protected:
  // A plug-in whose order folder is the test's folder, on a fresh thread's order state.
  void withPlugin(const std::function<void(Plugin&)>& body) {
    inFreshThread([&] {
      Plugin plugin(services);
      PluginTestAccess::setCarpeta(plugin, dir.u16());
      body(plugin);
    });
  }
  static void fillHeaderState() {
    Constantes& c = constantes();
    c.strSerie = u"9";
    c.strNumPedido = u"9999";
    c.strCliente = u"Muebles Martínez";
    c.strFecha = u"12/08/2026";
    c.strCodCliente = u"4711";
    c.dblSuma = 1234.565;
    c.dblBase = 1234.565;
    c.dblIVA = 21;
    c.dblCuotaIVA = 259.25865;
    c.dblTotal = 1493.82365;
  }
  static void fillLine(int i, const std::u16string& art, double precio) {
    tLinea& l = constantes().lineas(i);
    l = {u"9", u"9999", static_cast<std::int16_t>(i), art, u"desc " + art, 1, precio, precio,
         u"0", u"0"};
  }
};

}  // namespace brosk::testing
