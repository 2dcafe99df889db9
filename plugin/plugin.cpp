#include "plugin/plugin.h"

#include "dialog/frm_datos.h"
#include "order/constantes.h"
#include "plugin/host_automation.h"

namespace brosk {

bool Plugin::OnAppStartAfter(std::int32_t lCallParamsBlock) {
  // The application object lives for this call only; leaving the scope releases it, on
  // a failure too. A failure ends the call where it happens: no EndSession follows.
  const ObjectRef appliObject = services_.factory.create(kAppliProgId);
  const NumberFormat format = services_.system.numberFormat();
  HostAppli appli(deref(appliObject), format);

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
  // No trap here: a failure ends the command where it happens and goes back to the host;
  // the host objects then stay in the order state until the next command replaces them.
  Constantes& c = constantes();
  c.objAppli = services_.factory.create(kAppliProgId);
  c.objScene = services_.factory.create(kSceneProgId);
  const NumberFormat format = services_.system.numberFormat();
  HostAppli appli(deref(c.objAppli), format);
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
  c.objAppli.reset();
  c.objScene.reset();
  return false;
}

}  // namespace brosk
