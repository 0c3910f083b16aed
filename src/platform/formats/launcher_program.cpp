#include "platform/formats/launcher_program.h"

#include <vector>

namespace rk5::platform {
namespace {

// The Exec value split into words: double quotes group, a backslash inside them takes
// the next byte as it is; the key file's own "\\" and "\s" escapes are undone first.
std::vector<std::string> ExecWords(std::string_view value) {
  std::string line;
  for (std::size_t i = 0; i < value.size(); ++i) {
    const char next = i + 1 < value.size() ? value[i + 1] : '\0';
    if (value[i] != '\\' || std::string_view("sntr\\").find(next) == std::string_view::npos) {
      line += value[i];
      continue;
    }
    line += next == 's' ? ' ' : next == 'n' ? '\n' : next == 't' ? '\t' : next == 'r' ? '\r' : '\\';
    ++i;
  }
  std::vector<std::string> words;
  std::string word;
  bool quoted = false, any = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted && c == '\\' && i + 1 < line.size()) {
      word += line[++i];
    } else if (c == '"') {
      quoted = !quoted;
      any = true;
    } else if (!quoted && (c == ' ' || c == '\t')) {
      if (any || !word.empty()) words.push_back(word);
      word.clear();
      any = false;
    } else {
      word += c;
    }
  }
  if (any || !word.empty()) words.push_back(word);
  return words;
}

}  // namespace

std::string ExecProgramName(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    std::string_view line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.substr(0, 5) == "Exec=") {
      std::vector<std::string> words = ExecWords(line.substr(5));
      std::size_t first = 0;
      if (words.size() > 1 && words[0] == "/usr/bin/env") first = 1;
      if (words.empty()) return {};
      const std::string& program = words[first];
      return program.substr(program.find_last_of('/') + 1);
    }
    at = end + 1;
  }
  return {};
}

}  // namespace rk5::platform
