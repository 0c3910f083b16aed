#pragma once
// The four run modes whose only window is the start-up window: "/run", "/install",
// "/installed" and "/update", matched letter for letter.
#include <string_view>

namespace rk5 {

bool IsStartupMode(std::string_view mode);

}  // namespace rk5
