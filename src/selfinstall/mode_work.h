#pragma once
// The work of the start-up window for the run's mode: "/run", "/install", "/installed" or
// "/update", compared letter for letter; any other mode does nothing here.
#include <string_view>

#include "selfinstall/mode_context.h"

namespace rk5 {

void DoStartupMode(std::string_view mode, ModeContext& context);

}  // namespace rk5
