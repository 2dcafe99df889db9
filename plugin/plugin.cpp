#include "plugin/plugin.h"

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

}  // namespace brosk
