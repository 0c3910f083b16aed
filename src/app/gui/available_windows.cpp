#include <QPointer>
#include <memory>

#include "app/gui/window_factory.h"
#include "catalogue/gui/main_window.h"
#include "catalogue/icon_bitmaps.h"
#include "install/download_names.h"
#include "install/gui/download_window.h"
#include "platform/process_info.h"
#include "selfinstall/gui/startup_work.h"
#include "ui/gui/frm_about.h"

namespace rk5 {

void RegisterAvailableWindows(WindowFactory& factory, RunState& run, platform::Services& services) {
  // The About window is made after the main window; its About button finds it here.
  auto about = std::make_shared<QPointer<TfrmAbout>>();
  factory.Register(WindowKind::Main, [&run, &services, about](const TerminateRun& terminate) {
    MainActions actions{services.program_start.get(), services.launcher_files.get(),
                        services.registry.get(), platform::ExecutablePath(), [about] {
                          if (!about->isNull()) (*about)->ShowModal();
                        }};
    SelfUpdateServices update{services.program_start.get(), services.busy_marks.get(),
                              services.file_attributes.get(), terminate};
    return new TMain(run, MakeIconBuilder(*services.icons), std::move(actions), std::move(update));
  });
  factory.Register(WindowKind::Startup, [&run, &services](const TerminateRun& terminate) {
    StartupServices used{*services.registry,  *services.program_start,  *services.file_copy,
                         *services.file_tree, *services.launcher_files, *services.busy_marks};
    return new TfrmAlert(run, MakeStartupWork(run, platform::ExecutablePath(), used, terminate));
  });
  factory.Register(WindowKind::Download, [&run, &services](const TerminateRun& terminate) {
    DownloadServices used{*services.busy_marks, InstallPlatform::From(services),
                          ArchivePlatform::From(services)};
    return new TDownload(run, run.Argument, std::move(used),
                         ServiceNameOf(platform::ExecutablePath()), terminate);
  });
  if (services.program_start) {
    factory.Register(WindowKind::About, [&services, about](const TerminateRun&) {
      auto* window = new TfrmAbout(*services.program_start);
      *about = window;
      return window;
    });
  }
}

}  // namespace rk5
