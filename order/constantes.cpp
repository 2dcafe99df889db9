#include "order/constantes.h"

#include "platform/thread_state.h"

namespace brosk {
namespace {

struct OrderState : ThreadState {
  Constantes constantes;
  bool holdsObjects() const override {
    return constantes.objAppli != nullptr || constantes.objScene != nullptr;
  }
};

}  // namespace

Constantes& constantes() {
  // Made on first use, so that threads which never run the plug-in pay nothing.
  return threadState<OrderState>(ThreadStateKind::Order).constantes;
}

void releaseHostObjects() {
  if (ThreadState* state = findThreadState(ThreadStateKind::Order)) {
    Constantes& c = static_cast<OrderState*>(state)->constantes;
    c.objAppli.reset();
    c.objScene.reset();
  }
}

}  // namespace brosk
