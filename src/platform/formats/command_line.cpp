#include "platform/formats/command_line.h"

namespace rk5::platform {

std::vector<std::string> SplitArguments(std::string_view command_line) {
  std::vector<std::string> args;
  std::size_t i = 0, n = command_line.size();
  auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' ' && c != '\0'; };
  for (;;) {
    while (i < n && blank(command_line[i])) ++i;
    if (i >= n) break;
    std::string arg;
    bool quoted = false;
    while (i < n && (quoted || !blank(command_line[i]))) {
      char c = command_line[i++];
      if (c == '"') {
        quoted = !quoted;
      } else {
        arg += c;
      }
    }
    args.push_back(std::move(arg));
  }
  return args;
}

bool IsAddress(std::string_view text) {
  const auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos || colon < 2 || !letter(text[0])) return false;
  for (char c : text.substr(0, colon)) {
    const bool digit = c >= '0' && c <= '9';
    if (!letter(c) && !digit && c != '+' && c != '-' && c != '.') return false;
  }
  return true;
}

}  // namespace rk5::platform
