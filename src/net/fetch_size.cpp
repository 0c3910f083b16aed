#include "net/fetch_size.h"

#include <charconv>

namespace rk5 {

std::optional<std::int32_t> ParseContentLength(std::string_view text) {
  if (text.empty()) return std::nullopt;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  std::int32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

bool AddReceived(std::int32_t& readed, std::size_t piece) {
  if (piece > static_cast<std::size_t>(kMaxFetchSize - readed)) return false;
  readed += static_cast<std::int32_t>(piece);
  return true;
}

}  // namespace rk5
