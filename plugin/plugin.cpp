#include "plugin/plugin.h"

#include "dialog/frm_datos.h"
#include "order/constantes.h"
#include "plugin/host_automation.h"

namespace brosk {
namespace {

// Whether a host command runs on this thread (a plain flag: nothing to destroy).
thread_local bool tCommandRunning = false;

// One host command at a time in an apartment. While the dialog or a message box waits
// for the user, the host's own message loop runs (its timers, its posted messages), and
// it may call again: that call is refused with error 5, before it changes anything, and
// the running command goes on as if it had not come.
class OneCommandAtATime {
 public:
  OneCommandAtATime() {
    if (tCommandRunning) {
      throw RuntimeError(err::kInvalidCall,
                         standardDescription(err::kInvalidCall) +
                             u": el plug-in ya está atendiendo una orden del programa");
    }
    tCommandRunning = true;
  }
  ~OneCommandAtATime() { tCommandRunning = false; }
  OneCommandAtATime(const OneCommandAtATime&) = delete;
  OneCommandAtATime& operator=(const OneCommandAtATime&) = delete;
};

}  // namespace

bool Plugin::commandRunning() {
  return tCommandRunning;
}

bool Plugin::OnAppStartAfter(std::int32_t lCallParamsBlock) {
  const OneCommandAtATime one;
  // The application object lives for this call only; leaving the scope releases it, on
  // a failure too. A failure ends the call where it happens: no EndSession follows.
  const NumberFormat format = services_.system.numberFormat();
  HostAppli appli(services_.factory.create(kAppliProgId), format);

  std::int32_t session = appli.StartSessionFromCallParams(lCallParamsBlock);
  if (session != 0) {
    const std::u16string language = appli.GetLanguage(session);
    std::u16string caption = language == u"ESP" ? u"Enlace a Lorvenic" : u"Link Lorvenic";
    appli.InsertMenuItem(session, caption);  // whether the item went in is not checked
    appli.EndSession(session);
  }
  return true;
}

bool Plugin::SceneCheck(std::int32_t lCallParamsBlock) {
  const OneCommandAtATime one;
  // No trap here: a failure ends the command where it happens and goes back to the host;
  // the host objects then stay in the order state until the next command replaces them.
  Constantes& c = constantes();
  c.objAppli = services_.factory.create(kAppliProgId);
  c.objScene = services_.factory.create(kSceneProgId);
  const NumberFormat format = services_.system.numberFormat();
  {
    // The command's own counted reference goes at the end of this block, so that the
    // host objects are released in order below: the application first, then the scene.
    HostAppli appli(c.objAppli, format);
    c.lSesion = appli.StartSessionFromCallParams(lCallParamsBlock);

    if (c.lSesion != 0) {
      FrmDatos& dialogo = FrmDatos::shared();
      dialogo.Show(services_);
      if (!dialogo.boolAceptado) {
        services_.ui.messageBox(u"No se ha generado el enlace", u"ATENCION", mb::kCritical);
      } else if (!escribirPedido()) {
        services_.ui.messageBox(u"El enlace se ha realizado correctamente", u"¡¡Exito!!", mb::kOk);
      }
      appli.EndSession(c.lSesion);
    }
  }
  c.objAppli.reset();
  c.objScene.reset();
  return false;
}

}  // namespace brosk
