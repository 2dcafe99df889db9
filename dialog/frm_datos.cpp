#include "dialog/frm_datos.h"

#include <atomic>
#include <stdexcept>

#include "automation/convert.h"
#include "automation/text.h"
#include "order/constantes.h"
#include "platform/thread_state.h"

namespace brosk {
namespace {

constexpr char16_t kPregunta[] = u"El directorio C:\\KD_LORVENIC no existe, ¿desea crearlo?";
constexpr char16_t kNoSeCrea[] =
    u"No se puede crear el directorio C:\\KD_LORVENIC. Responda No a la pregunta y elija otra "
    u"carpeta con Examinar.";
constexpr char16_t kAtencion[] = u"¡¡¡ATENCION!!!";

// Dialogs loaded in the process, on any thread (a plain count: nothing to destroy).
std::atomic<long> gLoaded{0};

std::u16string initialText(layout::Id id) {
  for (const layout::Control& c : layout::kControls) {
    if (c.id == id) return c.text;
  }
  return {};
}

// Reads the number a box holds; a failure names the box for the user.
double leerNumero(const std::u16string& texto, const NumberFormat& format, const char16_t* campo) {
  try {
    return parseLocaleNumber(texto, format);
  } catch (const RuntimeError& e) {
    const std::u16string motivo =
        e.number() == err::kOverflow ? u" es demasiado grande: «" : u" no es un número: «";
    throw RuntimeError(e.number(), std::u16string(campo) + motivo + texto + u"»");
  }
}

}  // namespace

FrmDatos::~FrmDatos() {
  setState(State::NotLoaded);
}

bool FrmDatos::anyLoaded() {
  return gLoaded != 0;
}

void FrmDatos::setState(State state) {
  const bool wasLoaded = state_ != State::NotLoaded;
  const bool loaded = state != State::NotLoaded;
  if (loaded && !wasLoaded) ++gLoaded;
  if (wasLoaded && !loaded) --gLoaded;
  state_ = state;
}

FrmDatos& FrmDatos::shared() {
  struct DialogState : ThreadState {
    FrmDatos form;
  };
  return threadState<DialogState>(ThreadStateKind::Dialog).form;
}

std::u16string& FrmDatos::text(layout::Id control) {
  switch (control) {
    case layout::Id::Tipo:
      return cmbTipo;
    case layout::Id::NumPedido:
      return txtNumPedido;
    case layout::Id::CodCliente:
      return txtCodCliente;
    case layout::Id::ValorPunto:
      return txtValorPunto;
    case layout::Id::Iva:
      return txtIVA;
    case layout::Id::Ruta:
      return txtRuta;
    default:
      throw std::invalid_argument("not an input control");
  }
}

void FrmDatos::loadControls() {
  for (const layout::Id id : layout::kInputs) text(id) = initialText(id);
}

void FrmDatos::Show(Services& services) {
  services_ = &services;
  struct Leave {
    Services*& s;
    ~Leave() { s = nullptr; }
  } leave{services_};
  if (state_ == State::NotLoaded) {
    loadControls();
    Form_Load();  // a failure leaves the dialog unloaded
  }
  setState(State::Visible);
  try {
    services.ui.showModal(*this);
  } catch (...) {
    setState(State::NotLoaded);  // a window that could not be shown was never loaded
    throw;
  }
  // A view that returns with the dialog still open has lost its window: that is a close.
  if (state_ == State::Visible) closeFromFrame();
}

void FrmDatos::Form_Load() {
  SystemServices& system = services_->system;
  Constantes& c = constantes();
  const std::u16string carpeta = system.defaultFolder();
  if (system.entryExists(carpeta)) {
    txtRuta = carpeta;
    c.strRuta = carpeta;
    return;
  }
  if (services_->ui.messageBox(kPregunta, kAtencion, mb::kYesNo) == mb::kAnswerYes) {
    try {
      system.createFolder(carpeta);
    } catch (...) {
      // The user hears what to do next; the failure still ends the load step.
      services_->ui.messageBox(kNoSeCrea, kAtencion, mb::kExclamation);
      throw;
    }
    txtRuta = carpeta;
    c.strRuta = carpeta;
  } else {
    const std::u16string raiz = system.fallbackFolder();
    txtRuta = raiz;
    c.strRuta = raiz;
  }
}

void FrmDatos::cmdRuta_Click() {
  const std::optional<std::u16string> carpeta =
      services_->ui.browseForFolder(u"Seleccione la Carpeta");
  if (!carpeta) return;  // cancelled: nothing changes
  constantes().strRuta = *carpeta;
  txtRuta = *carpeta;
}

void FrmDatos::cmdAceptar_Click() {
  // In this order: a number that does not read stops here with the texts before it
  // already stored, the flag unset and the dialog still shown.
  Constantes& c = constantes();
  const NumberFormat format = services_->system.numberFormat();
  c.strSerie = cmbTipo;
  c.strNumPedido = txtNumPedido;
  c.strCodCliente = txtCodCliente;
  c.dblValorPunto = leerNumero(txtValorPunto, format, u"El valor del punto");
  c.dblIVA = leerNumero(txtIVA, format, u"El IVA");
  boolAceptado = true;
  setState(State::Hidden);  // stays loaded with the user's entries
}

void FrmDatos::cmdCancelar_Click() {
  boolAceptado = false;
  setState(State::NotLoaded);
}

void FrmDatos::closeFromFrame() {
  cmdCancelar_Click();
}

void FrmDatos::click(layout::Id button) {
  if (state_ != State::Visible || services_ == nullptr) return;
  try {
    switch (button) {
      case layout::Id::CmdRuta:
        cmdRuta_Click();
        break;
      case layout::Id::Aceptar:
        cmdAceptar_Click();
        break;
      case layout::Id::Cancelar:
        cmdCancelar_Click();
        break;
      default:
        break;
    }
  } catch (const std::exception&) {
    const RuntimeError e = currentError();
    const std::u16string texto = e.number() == err::kTypeMismatch || e.number() == err::kOverflow
                                     ? e.description() + u"."
                                     : u"Error (" + decimal(e.number()) + u"): " + e.description();
    services_->ui.messageBox(texto, layout::kTitle, mb::kExclamation);
  }
}

}  // namespace brosk
