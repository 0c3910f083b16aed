#include "app/gui/window_factory.h"

namespace rk5 {

void RegisterAvailableWindows(WindowFactory& factory) {
  // Each window registers itself here as it arrives, e.g.
  // factory.Register(WindowKind::Main, [] { return new TMain; });
  (void)factory;
}

}  // namespace rk5
