// The program body and the one place that knows every layer: settle the run, make the
// platform services, then create the mode's windows with them and run the loop.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/gui/application.h"
#include "app/gui/window_factory.h"
#include "app/mode_plan.h"
#include "app/startup.h"
#include "gui/base/program_icon.h"
#include "ini/file_registry.h"
#include "install/download_names.h"
#include "platform/creation_mask.h"
#include "platform/process_info.h"
#include "platform/services.h"
#include "platform/text.h"
#include "selfinstall/run_state.h"

namespace {

std::string Describe(const rk5::RunState& state, const rk5::ModePlan& plan) {
  std::string windows;
  for (rk5::WindowKind kind : plan.windows) {
    if (!windows.empty()) windows += ",";
    windows += rk5::WindowClassName(kind);
  }
  return "RunMode=" + state.RunMode + "\nProgramFolder=" + state.ProgramFolder +
         "\nUpdateRequired=" + (state.UpdateRequired ? "1" : "0") +
         "\nUpdateURL=" + state.UpdateURL + "\nWindows=" + windows +
         "\nShowMainWindowAtStart=" + (plan.ShowMainWindowAtStart ? "1" : "0") + "\n";
}

}  // namespace

int main(int argc, char** argv) {
  std::string first_argument = argc > 1 ? argv[1] : "";
  // Read while this is the only thread: on some systems reading it means changing it.
  const unsigned creation_mask = rk5::platform::ReadCreationMaskAtStart();
  // A launcher for a file without an icon of its own shows the program's icon.
  rk5::platform::Services services =
      rk5::platform::MakeSystemServices(rk5::RegistryInFile, creation_mask, rk5::ProgramIconPng());
  rk5::RunState state =
      rk5::DecideRun(first_argument, rk5::platform::FolderOfPath(rk5::platform::ExecutablePath()),
                     *services.registry);
  state.Argument = argc > 2 ? argv[2] : "";
  rk5::ModePlan plan = rk5::PlanForMode(state.RunMode);

  // RK5HELPER_DRY_RUN=1: report the decision and stop before any window exists.
  const char* dry_run = std::getenv("RK5HELPER_DRY_RUN");
  if (dry_run != nullptr && std::string(dry_run) == "1") {
    std::fputs(Describe(state, plan).c_str(), stdout);
    return 0;
  }
  // Every running copy answers under its service, whatever its mode (see ServiceNameOf).
  services.busy_marks->RegisterService(rk5::ServiceNameOf(rk5::platform::ExecutablePath()));
  if (plan.windows.empty()) return 0;  // no mode: the run ends silently

  rk5::RunTitle title;
  rk5::WindowSetup setup{.Title = &title, .Fetch = {.Stager = services.file_stager.get()}};
  setup.Fetch.Limits.extra_authority = state.TrustedAuthority;
  rk5::WindowFactory factory;
  rk5::RegisterAvailableWindows(factory, state, services, setup);
  // A later window of the mode (the hidden About window) that this build lacks is left
  // out; the run's main window works without it.
  std::erase_if(plan.windows, [&factory](rk5::WindowKind kind) {
    if (factory.Has(kind)) return false;
    std::fprintf(stderr, "rk5helper: %s is not in this build yet\n",
                 std::string(rk5::WindowClassName(kind)).c_str());
    return true;
  });
  return rk5::RunApplication(argc, argv, plan, factory);
}
