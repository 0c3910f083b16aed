#pragma once
// The toolkit's scale factor (QT_SCALE_FACTOR) as the windows can take it: they are drawn
// for one pixel per design pixel or more; below that their texts no longer fit their boxes.
#include <optional>
#include <string>

namespace rk5 {

// What to tell the user when value (the variable's text, null when unset) asks for a
// factor below 1, which the run then drops; none for a factor the windows take, or for a
// text the toolkit itself ignores.
std::optional<std::string> RefusedScaleFactor(const char* value);

}  // namespace rk5
