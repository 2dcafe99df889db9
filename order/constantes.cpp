#include "order/constantes.h"

#include <memory>

namespace brosk {

Constantes& constantes() {
  // Allocated on first use so that threads which never run the plug-in pay nothing.
  thread_local std::unique_ptr<Constantes> state = std::make_unique<Constantes>();
  return *state;
}

}  // namespace brosk
