#pragma once
// "/run": starts the installed tool of a section of "Local.ini" (the target of the tools'
// desktop launchers), from the folder and file name recorded there now.
#include "selfinstall/mode_context.h"

namespace rk5 {

// A section that "Local.ini" does not know (or none) starts nothing.
void RunToolMode(ModeContext& context);

}  // namespace rk5
