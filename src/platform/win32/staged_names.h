#pragma once
// The names of files written beside their targets: the target's name, ".tmp-" and six
// random characters, or a short name of our own when the target's is too long for that.
#include <string>
#include <string_view>

#include "platform/win32/file_handle.h"

namespace rk5::platform {

inline constexpr std::string_view kTempMark = ".tmp-";
inline constexpr std::size_t kTempRandom = 6;

// A new empty file beside target, open for writing and for the rename over the target;
// not valid when none can be made. temp gets its path.
FileHandle CreateTemporary(const std::string& target, std::string& temp);

// name is one of prefix's temporaries (prefix: the target's name and kTempMark).
bool IsTemporaryOf(std::string_view prefix, std::string_view name);

}  // namespace rk5::platform
