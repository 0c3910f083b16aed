#include "selfinstall/run_mode.h"

#include "catalogue/ini_file.h"

namespace rk5 {

void RunToolMode(ModeContext& context) {
  IniFile local(context.program_folder + "Local.ini");
  auto doc = local.Snapshot();
  const std::string path = doc->ReadString(context.argument, "Path", "");
  const std::string exe_name = doc->ReadString(context.argument, "ExeName", "");
  if (exe_name.empty()) return;
  context.program_start.Start(exe_name, "", path, 0);
}

}  // namespace rk5
