#include <QPointer>
#include <memory>

#include "app/gui/window_factory.h"
#include "catalogue/gui/main_window.h"
#include "catalogue/icon_bitmaps.h"
#include "platform/process_info.h"
#include "ui/gui/frm_about.h"

namespace rk5 {

void RegisterAvailableWindows(WindowFactory& factory, RunState& run, platform::Services& services) {
  // The About window is made after the main window; its About button finds it here.
  auto about = std::make_shared<QPointer<TfrmAbout>>();
  factory.Register(WindowKind::Main, [&run, &services, about] {
    MainActions actions{services.program_start.get(), services.launcher_files.get(),
                        services.registry.get(), platform::ExecutablePath(), [about] {
                          if (!about->isNull()) (*about)->ShowModal();
                        }};
    return new TMain(run, MakeIconBuilder(*services.icons), std::move(actions));
  });
  if (services.program_start) {
    factory.Register(WindowKind::About, [&services, about] {
      auto* window = new TfrmAbout(*services.program_start);
      *about = window;
      return window;
    });
  }
}

}  // namespace rk5
