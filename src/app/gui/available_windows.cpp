#include "app/gui/window_factory.h"
#include "catalogue/gui/main_window.h"
#include "catalogue/icon_bitmaps.h"
#include "install/download_names.h"
#include "install/gui/download_window.h"
#include "platform/process_info.h"

namespace rk5 {

void RegisterAvailableWindows(WindowFactory& factory, RunState& run, platform::Services& services) {
  factory.Register(WindowKind::Main, [&run, &services] {
    return new TMain(run, MakeIconBuilder(*services.icons));
  });
  factory.Register(WindowKind::Download, [&run, &services](const TerminateRun& terminate) {
    DownloadServices used{*services.busy_marks, InstallPlatform::From(services),
                          ArchivePlatform::From(services)};
    return new TDownload(run, run.Argument, std::move(used),
                         ServiceNameOf(platform::ExecutablePath()), terminate);
  });
}

}  // namespace rk5
