// The workbook cycle each writer runs once: start the spreadsheet application, add a
// workbook and take its first worksheet, write cells, save, close and quit. A failure
// anywhere leaves the three object members as they are; the next cycle replaces them.
#include "automation/convert.h"
#include "order/constantes.h"
#include "plugin/plugin.h"
#include "xls/excel_app.h"

namespace brosk {

void Plugin::abrirExcel() {
  try {
    objExcel = services_.factory.create(xls::kExcelProgId);
  } catch (const std::exception&) {
    // A first start may fail while the application is still coming up: try once more,
    // at once; a second failure goes to the caller.
    objExcel = services_.factory.create(xls::kExcelProgId);
  }
}

void Plugin::nuevoLibro() {
  const ObjectRef libros = toObject(invoke(objExcel, u"Workbooks", CallKind::PropertyGet));
  objLibro = toObject(invoke(libros, u"Add", CallKind::Method));
  objHoja = toObject(
      invoke(objLibro, u"Worksheets", CallKind::PropertyGet, {Arg::byVal(Variant::integer(1))}));
}

void Plugin::guardarLibro(std::u16string& strFichero) {
  const ObjectRef app = toObject(invoke(objLibro, u"Application", CallKind::PropertyGet));
  const std::u16string version =
      toText(invoke(app, u"Version", CallKind::PropertyGet), services_.system.numberFormat());
  // The version decides the format code: 56 names the 97-2003 format from version 12 on;
  // older applications write that same format as their normal one, -4143.
  const std::int16_t formato = leadingNumber(version) < 12 ? -4143 : 56;
  Variant fichero = Variant::text(strFichero);
  invoke(objLibro, u"SaveAs", CallKind::Method,
         {Arg::byRef(fichero), Arg::byVal(Variant::integer(formato))});
}

void Plugin::cerrarExcel() {
  invoke(objLibro, u"Close", CallKind::Method);
  invoke(objExcel, u"Quit", CallKind::Method);
  objHoja.reset();
  objLibro.reset();
  objExcel.reset();
}

void Plugin::escribirCelda(Variant& row, bool rowByRef, std::int16_t column, Variant value) {
  invoke(objHoja, u"Cells", CallKind::PropertyPut,
         {rowByRef ? Arg::byRef(row) : Arg::byVal(row), Arg::byVal(Variant::integer(column)),
          Arg::byVal(std::move(value))});
}

std::u16string Plugin::rutaEnCarpeta(const std::u16string& fichero) const {
  return strCarpeta + services_.system.pathSeparator() + fichero;
}

}  // namespace brosk
