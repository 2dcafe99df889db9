// The plug-in's one public class. The host creates it, calls OnAppStartAfter once its
// application has started and SceneCheck when the user picks the link command. The COM
// shell on Windows wraps this class; on Linux brosk-host and the tests call it directly.
//
// Failures are RuntimeError exceptions: the shell returns them to the host as the
// failure of the call. Only escribirPedido traps errors, and reports them itself.
//
// The class spans six files in four folders on purpose, each member with its subsystem:
//   plugin/plugin.cpp              OnAppStartAfter, SceneCheck, commandRunning
//   order/insertar_en_lista.cpp    insertarEnLista
//   builder/escribir_pedido.cpp    escribirPedido
//   export/escribir_pre.cpp        escribirPRE
//   export/escribir_lps.cpp        escribirLPS
//   export/libro_excel.cpp         abrirExcel, nuevoLibro, guardarLibro, cerrarExcel,
//                                  escribirCelda, rutaEnCarpeta
#pragma once

#include <cstdint>
#include <string>

#include "automation/object.h"
#include "platform/platform.h"

namespace brosk {

class HostScene;
struct NumberFormat;

class Plugin {
 public:
  // `services` must outlive the object.
  explicit Plugin(Services& services) : services_(services) {}
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;

  // The two host commands run one at a time in an apartment: one that arrives while the
  // other runs (from the host's message loop, while the dialog or a message box waits
  // for the user) fails with error 5 and changes nothing.
  //
  // Adds the link command to the host's menu: "Enlace a Lorvenic" when the host speaks
  // "ESP", "Link Lorvenic" otherwise. Returns True.
  bool OnAppStartAfter(std::int32_t lCallParamsBlock);
  // The link command: asks for the quote data, builds the order and writes PRE.xls and
  // LPS.xls, telling the user the outcome. Returns False when it completes.
  bool SceneCheck(std::int32_t lCallParamsBlock);
  // The order builder. False when both workbooks were written; True when nothing was
  // linked (no object to link, or an error the user has been told of).
  bool escribirPedido();
  // Stores one order line at index `pos` (1 to 200) of the line table.
  void insertarEnLista(std::u16string& tip, std::u16string& num, std::int16_t& pos,
                       std::u16string& art, std::u16string& des, std::u16string& pre);
  // The header workbook PRE.xls and the lines workbook LPS.xls of the order folder.
  void escribirPRE();
  void escribirLPS();

  // Whether a host command runs on this thread now.
  static bool commandRunning();

  // Read access for the shell and for tests.
  const std::u16string& carpeta() const { return strCarpeta; }
  const ObjectRef& excel() const { return objExcel; }
  const ObjectRef& libro() const { return objLibro; }
  const ObjectRef& hoja() const { return objHoja; }

 private:
  // The workbook cycle of each writer: start the spreadsheet application, add a workbook
  // and take its first worksheet, save, close and quit.
  void abrirExcel();
  void nuevoLibro();
  void guardarLibro(std::u16string& strFichero);
  void cerrarExcel();

  // The steps of escribirPedido, in the order it takes them.
  void leerCabecera(HostScene& scene);
  void leerLineas(HostScene& scene, const NumberFormat& format);
  void calcularTotales(HostScene& scene);
  void crearCarpeta();
  void escribirLibros();

  // Writes one cell of objHoja; the row is passed by reference when `rowByRef`.
  void escribirCelda(Variant& row, bool rowByRef, std::int16_t column, Variant value);
  std::u16string rutaEnCarpeta(const std::u16string& fichero) const;

  std::int16_t intContador = 0;  // lines in the line table, header line included
  std::u16string strCarpeta;     // the order folder
  ObjectRef objExcel;            // the spreadsheet application
  ObjectRef objLibro;            // the workbook being written
  ObjectRef objHoja;             // its first worksheet

  Services& services_;

  friend struct PluginTestAccess;  // tests set the line count and the folder directly
};

}  // namespace brosk
