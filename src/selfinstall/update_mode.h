#pragma once
// "/update": the running new build waits for the copy that started it to end, replaces the
// program's executable in its folder with itself in one step and starts it. When the copy
// cannot be made the old executable stays as it was and is started instead.
#include "selfinstall/mode_context.h"

namespace rk5 {

void UpdateMode(ModeContext& context);

}  // namespace rk5
