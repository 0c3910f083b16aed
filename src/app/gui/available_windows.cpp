#include "app/gui/window_factory.h"
#include "catalogue/gui/main_window.h"
#include "catalogue/icon_bitmaps.h"

namespace rk5 {

void RegisterAvailableWindows(WindowFactory& factory, RunState& run, platform::Services& services) {
  factory.Register(WindowKind::Main, [&run, &services] {
    return new TMain(run, MakeIconBuilder(*services.icons));
  });
}

}  // namespace rk5
