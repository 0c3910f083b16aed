#include "selfinstall/mode_work.h"

#include "selfinstall/install_mode.h"
#include "selfinstall/run_mode.h"
#include "selfinstall/update_mode.h"

namespace rk5 {

void DoStartupMode(std::string_view mode, ModeContext& context) {
  if (mode == "/run") {
    RunToolMode(context);
  } else if (mode == "/install") {
    InstallMode(context);
  } else if (mode == "/installed") {
    context.show_message("Already installed!");
  } else if (mode == "/update") {
    UpdateMode(context);
  }
}

}  // namespace rk5
