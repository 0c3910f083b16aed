#include <QPointer>
#include <memory>

#include "app/gui/window_factory.h"
#include "gui/about/frm_about.h"
#include "gui/download/download_window.h"
#include "gui/main/icon_bitmaps.h"
#include "gui/main/main_window.h"
#include "gui/main/uninstall_mode.h"
#include "gui/startup/startup_work.h"
#include "install/download_names.h"
#include "platform/process_info.h"

namespace rk5 {

void RegisterAvailableWindows(WindowFactory& factory, RunState& run, platform::Services& services,
                              const WindowSetup& setup) {
  // The About window is made after the main window; its About button finds it here.
  auto about = std::make_shared<QPointer<TfrmAbout>>();
  factory.Register(
      WindowKind::Main, [&run, &services, setup, about](const TerminateRun& terminate) {
        MainActions actions{services.program_start.get(), services.launcher_files.get(),
                            services.registry.get(), platform::ExecutablePath(), [about] {
                              if (!about->isNull()) (*about)->ShowModal();
                            }};
        SelfUpdateServices update{services.program_start.get(), services.busy_marks.get(),
                                  services.file_attributes.get(), terminate};
        return new TMain(run, MakeIconBuilder(*services.icons), std::move(actions),
                         std::move(update), setup);
      });
  factory.Register(WindowKind::Startup, [&run, &services, setup](const TerminateRun& terminate) {
    StartupServices used{*services.registry,  *services.program_start,  *services.file_copy,
                         *services.file_tree, *services.launcher_files, *services.busy_marks};
    return new TfrmAlert(run, MakeStartupWork(run, platform::ExecutablePath(), used, terminate),
                         setup.Title);
  });
  factory.Register(WindowKind::Download, [&run, &services, setup](const TerminateRun& terminate) {
    DownloadServices used{*services.busy_marks, InstallPlatform::From(services),
                          ArchivePlatform::From(services)};
    return new TDownload(run, run.Argument, std::move(used),
                         ServiceNameOf(platform::ExecutablePath()), terminate, setup);
  });
  factory.Register(WindowKind::Uninstall, [&run, &services, setup](const TerminateRun& terminate) {
    UninstallServices used{*services.busy_marks, InstallPlatform::From(services),
                           *services.launcher_files, *services.registry};
    const std::string executable = platform::ExecutablePath();
    return RunUninstallMode(run.ProgramFolder, run.Argument, std::move(used), executable,
                            ServiceNameOf(executable), terminate, setup.Title);
  });
  if (services.program_start) {
    factory.Register(WindowKind::About, [&services, setup, about](const TerminateRun&) {
      auto* window = new TfrmAbout(*services.program_start, setup.Title);
      *about = window;
      return window;
    });
  }
}

}  // namespace rk5
