#include "app/gui/window_factory.h"
#include "catalogue/gui/main_window.h"

namespace rk5 {

void RegisterAvailableWindows(WindowFactory& factory) {
  factory.Register(WindowKind::Main, [] { return new TMain; });
}

}  // namespace rk5
