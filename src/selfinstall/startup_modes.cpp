#include "selfinstall/startup_modes.h"

namespace rk5 {

bool IsStartupMode(std::string_view mode) {
  return mode == "/run" || mode == "/update" || mode == "/install" || mode == "/installed";
}

}  // namespace rk5
