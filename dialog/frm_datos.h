// frmDatos, the order data dialog: the series, quote number, customer code, point value
// and VAT of a quote, and the destination folder. This is its logic; a view (the Win32
// window, the terminal, a test script) shows it and passes on the user's typing and
// clicks. One instance per thread, created on first use and kept.
#pragma once

#include <string>

#include "dialog/layout.h"
#include "platform/platform.h"

namespace brosk {

class FrmDatos {
 public:
  enum class State { NotLoaded, Visible, Hidden };

  FrmDatos() = default;
  ~FrmDatos();
  FrmDatos(const FrmDatos&) = delete;
  FrmDatos& operator=(const FrmDatos&) = delete;

  // This thread's dialog.
  static FrmDatos& shared();
  // Whether the dialog of any thread is loaded (shown, or hidden after Aceptar with the
  // user's entries): the library must then stay loaded, or the entries would be lost.
  static bool anyLoaded();

  // Shows the dialog modally. When it is not loaded, it is loaded first: the controls
  // take their initial texts and the load step runs. Returns once the dialog has hidden
  // or unloaded itself. A failure of the load step, or a window that cannot be shown,
  // goes to the caller; the dialog then stays unloaded.
  void Show(Services& services);

  // True after Aceptar, False after Cancelar (or a close through the window frame);
  // it keeps its value while the dialog is hidden or unloaded.
  bool boolAceptado = false;

  State state() const { return state_; }

  // The texts of the input controls. A view shows them when the dialog opens and
  // writes the user's typing back before it passes on a click.
  std::u16string& text(layout::Id control);

  // A click as the user makes it: the button's handler runs; a failure (a number that
  // does not read) is told to the user and the dialog stays open as it was.
  void click(layout::Id button);
  // A close through the window frame: the dialog is cancelled, as with Cancelar.
  void closeFromFrame();

 private:
  void setState(State state);
  void loadControls();
  void Form_Load();
  void cmdRuta_Click();
  void cmdAceptar_Click();
  void cmdCancelar_Click();

  Services* services_ = nullptr;  // set while the dialog is shown
  State state_ = State::NotLoaded;
  std::u16string cmbTipo, txtNumPedido, txtCodCliente, txtValorPunto, txtIVA, txtRuta;
};

}  // namespace brosk
