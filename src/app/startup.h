#pragma once
// The start-up decision: which job this run does, from the first argument, the
// registered install folder and the catalogue an earlier refresh left beside the program.
#include <string_view>

#include "platform/registry.h"
#include "selfinstall/install_mode.h"
#include "selfinstall/run_state.h"

namespace rk5 {

// RunMode from the argument, overridden by the registry check; the update announcement
// of ProgramFolder + "rk5h.ini".
RunState DecideRun(std::string_view first_argument, std::string_view program_folder,
                   platform::Registry& registry);

}  // namespace rk5
