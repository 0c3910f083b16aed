#pragma once
// The sizes a fetch reports are signed 32-bit; these keep them from lying.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace rk5 {

inline constexpr std::int32_t kMaxFetchSize = INT32_MAX;

// An announced content length: decimal digits only, at most kMaxFetchSize. Anything else
// (a sign, an exponent, blanks, a list of values, a number too large) is no length.
std::optional<std::int32_t> ParseContentLength(std::string_view text);

// Adds a received piece to the count; false, leaving the count alone, when it would pass
// kMaxFetchSize.
bool AddReceived(std::int32_t& readed, std::size_t piece);

}  // namespace rk5
