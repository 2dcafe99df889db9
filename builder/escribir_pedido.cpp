// The order builder: reads the scene into the order state, sums it up, makes the order
// folder and writes the two workbooks. It is the one place that traps run-time errors:
// every error of the build ends in one message to the user and the result True.
#include <cmath>

#include "automation/convert.h"
#include "automation/text.h"
#include "order/catalogo.h"
#include "order/constantes.h"
#include "platform/files.h"
#include "plugin/host_automation.h"
#include "plugin/plugin.h"

namespace brosk {
namespace {

constexpr char16_t kAtencion[] = u"¡¡Atención!!";

// The decimal digits of a number of the date, zero-padded to `width`.
std::u16string digits(int n, std::size_t width) {
  std::u16string text = decimal(n);
  if (text.size() < width) text.insert(0, width - text.size(), u'0');
  return text;
}

// Whether a value the host gave differs from a text, as a VB comparison of it with that
// text decides: a Null compares as unknown, so the difference does not hold.
bool difiereDe(const Variant& valor, std::u16string_view texto, const NumberFormat& format) {
  return valor.kind() != VarKind::Null && toText(valor, format) != texto;
}

// Today as "mm/dd/yyyy", the "/" standing for the user's date separator.
std::u16string fechaDeHoy(SystemServices& system) {
  const LocalDate today = system.today();
  const std::u16string separator = system.dateSeparator();
  return digits(today.month, 2) + separator + digits(today.day, 2) + separator +
         digits(today.year, 4);
}

}  // namespace

// The header line: the model and the finishes the user chose, one per line of its text.
void Plugin::leerCabecera(HostScene& scene) {
  Constantes& c = constantes();
  std::u16string descripcion =
      u"Modelo: " + scene.SceneGetKeywordInfo(c.lSesion, u"@Heading.ModelName()");
  for (int k = 1; k <= 7; ++k) {
    c.acabados(k).strAcabado =
        scene.SceneGetKeywordInfo(c.lSesion, u"@Heading.HeadingFinish(," + decimal(k) + u")");
    c.acabados(k).strEleccion =
        scene.SceneGetKeywordInfo(c.lSesion, u"@Rubrique.GénériqueChoixNom(," + decimal(k) + u")");
    if (!c.acabados(k).strEleccion.empty()) {
      descripcion += u"\r\n" + c.acabados(k).strAcabado + u": " + c.acabados(k).strEleccion;
    }
  }
  std::int16_t pos = 1;
  std::u16string art = u"CABECERA";
  std::u16string pre = u"0";
  insertarEnLista(c.strSerie, c.strNumPedido, pos, art, descripcion, pre);
}

// One line per object of an accepted catalogue that has a price and is supplied.
void Plugin::leerLineas(HostScene& scene, const NumberFormat& format) {
  Constantes& c = constantes();
  const std::int32_t objetos = scene.SceneGetObjectsNb(c.lSesion);
  for (std::int32_t o = 1; o <= objetos; ++o) {
    std::int32_t id = scene.SceneGetObjectId(c.lSesion, o);
    // All three tests are asked of the host for every object, in this order.
    const bool catalogoValido =
        esCatalogoValido(toText(scene.ObjectGetInfo(c.lSesion, id, 0), format));
    const bool conPrecio = difiereDe(scene.ObjectGetInfo(c.lSesion, id, 43), u"", format);
    const bool incluido = difiereDe(scene.ObjectGetInfo(c.lSesion, id, 35), u"0", format);
    if (catalogoValido && conPrecio && incluido) {
      intContador = static_cast<std::int16_t>(intContador + 1);
      std::u16string articulo = toText(scene.ObjectGetInfo(c.lSesion, id, 8), format);
      std::u16string descripcionObjeto = toText(scene.ObjectGetInfo(c.lSesion, id, 49), format);
      std::u16string precio = toText(scene.ObjectGetInfo(c.lSesion, id, 43), format);
      insertarEnLista(c.strSerie, c.strNumPedido, intContador, articulo, descripcionObjeto, precio);
    }
  }
}

// The sum of the lines, the VAT and the total, with the customer and today's date.
void Plugin::calcularTotales(HostScene& scene) {
  Constantes& c = constantes();
  for (int i = 1; i <= intContador; ++i) c.dblSuma = checked(c.dblSuma + c.lineas(i).importe);
  c.strCliente = scene.SceneGetKeywordInfo(c.lSesion, u"@Base.CustomerCompany()");
  c.strFecha = fechaDeHoy(services_.system);
  c.dblBase = c.dblSuma;
  c.dblCuotaIVA = checked(checked(c.dblIVA / 100) * c.dblBase);
  c.dblTotal = checked(c.dblCuotaIVA + c.dblBase);
}

// The separator is always added, also after a drive root; only the last level is
// created, so the base folder must exist. The series and the quote number make the
// name of that one folder: a name that would reach another folder is refused before
// anything is made.
void Plugin::crearCarpeta() {
  Constantes& c = constantes();
  SystemServices& system = services_.system;
  const std::u16string nombre = c.strSerie + u"_" + c.strNumPedido;
  strCarpeta = c.strRuta + system.pathSeparator() + nombre;
  checkFolderName(nombre, strCarpeta);
  if (!system.entryExists(strCarpeta)) system.createFolder(strCarpeta);
}

// The two workbooks replace an earlier order's as one: both are written and flushed
// before either is renamed into place, PRE.xls first, back to back; should LPS.xls's
// rename fail, PRE.xls goes back to the earlier order's, so that the folder never holds
// the header of one order beside the lines of another for the importer to read.
void Plugin::escribirLibros() {
  StagedFiles pedido(services_.files);
  {
    const StagedFiles::Current guardados(pedido);
    escribirPRE();
    escribirLPS();
  }
  pedido.commit();
}

bool Plugin::escribirPedido() {
  try {
    Constantes& c = constantes();
    intContador = 1;
    const NumberFormat format = services_.system.numberFormat();
    HostScene scene(c.objScene, format);
    leerCabecera(scene);
    leerLineas(scene, format);
    c.dblSuma = 0;
    if (intContador <= 1) {
      services_.ui.messageBox(u"No hay objetos en la escena para enlazar", kAtencion,
                              mb::kExclamation);
      return true;
    }
    calcularTotales(scene);
    crearCarpeta();
    escribirLibros();
    return false;
  } catch (const std::exception&) {
    const RuntimeError e = currentError();
    services_.ui.messageBox(u"Error inesperado (" + decimal(e.number()) + u"): " + e.description(),
                            kAtencion, mb::kExclamation);
    return true;
  }
}

}  // namespace brosk
