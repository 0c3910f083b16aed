#include "selfinstall/run_mode.h"

#include "catalogue/catalogue_keys.h"
#include "catalogue/program_files.h"
#include "ini/ini_file.h"

namespace rk5 {

void RunToolMode(ModeContext& context) {
  auto local = IniFile(InFolder(context.program_folder, kLocalFile)).Snapshot();
  // A missing Path reads empty here, whatever the list shows for it.
  const std::string path = Read(*local, context.argument, TextKey{tool_key::Path.name, ""});
  const std::string exe_name = Read(*local, context.argument, tool_key::ExeName);
  if (exe_name.empty()) return;
  context.program_start.Start(exe_name, "", path, 0);
}

}  // namespace rk5
