#include "platform/formats/desktop_entry.h"

#include <string_view>

namespace rk5::platform {
namespace {

// Characters that make an argument of Exec need quotes, and those that need a backslash
// inside the quotes.
constexpr std::string_view kReserved = " \t\n\r\"'\\><~|&;$*?#()`";
constexpr std::string_view kEscapedInQuotes = "\"`$\\";
constexpr char kEnv[] = "/usr/bin/env";

bool IsControl(unsigned char c) { return (c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F; }

bool HasControl(std::string_view text) {
  for (unsigned char c : text) {
    if (IsControl(c)) return true;
  }
  return false;
}

bool IsValidUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    unsigned code = 0;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2, code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3, code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4, code = lead & 0x07;
    } else {
      return false;
    }
    if (i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = code << 6 | (next & 0x3F);
    }
    const unsigned smallest = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
    if (code < smallest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

// A path or argument the file can hold byte for byte (NUL is a control byte too).
bool IsExact(std::string_view text) { return !HasControl(text) && IsValidUtf8(text); }

// A text for the user: UTF-8 stays, anything else is read a byte a character, the way
// the program's windows show it.
std::string DisplayText(std::string_view bytes) {
  std::string text;
  const bool utf8 = IsValidUtf8(bytes);
  for (unsigned char c : bytes) {
    if (IsControl(c)) {
      text += ' ';
    } else if (c < 0x80 || utf8) {
      text += static_cast<char>(c);
    } else {
      text += static_cast<char>(0xC0 | c >> 6);
      text += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return text;
}

// A value as the file stores it: backslash escapes for the backslash, line ends and
// tabs, and for a blank that starts the value.
std::string EscapeValue(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      case ' ': out += out.empty() ? "\\s" : " "; break;
      default: out += c;
    }
  }
  return out;
}

std::string QuoteArgument(std::string_view arg) {
  if (!arg.empty() && arg.find_first_of(kReserved) == std::string_view::npos) return std::string(arg);
  std::string out = "\"";
  for (char c : arg) {
    if (kEscapedInQuotes.find(c) != std::string_view::npos) out += '\\';
    out += c;
  }
  return out + "\"";
}

std::optional<std::string> ExecValue(const std::vector<std::string>& command) {
  if (command.empty() || command.front().empty() || command.front().front() != '/' ||
      command.front().find('=') != std::string::npos) {
    return std::nullopt;
  }
  // Desktops look for the program under its name as written before they start it, and
  // some do so without turning "%%" back into "%": such a program is started through env.
  std::vector<std::string> words;
  if (command.front().find('%') != std::string::npos) words.push_back(kEnv);
  words.insert(words.end(), command.begin(), command.end());
  std::string line;
  for (const std::string& arg : words) {
    if (!IsExact(arg)) return std::nullopt;
    if (!line.empty()) line += ' ';
    line += QuoteArgument(arg);
  }
  std::string value;
  for (char c : EscapeValue(line)) value += c == '%' ? std::string("%%") : std::string(1, c);
  return value;
}

}  // namespace

std::optional<std::string> DesktopEntryText(const DesktopEntry& entry) {
  const std::optional<std::string> exec = ExecValue(entry.command);
  if (!exec) return std::nullopt;
  const std::string& folder = entry.working_folder;
  if (!IsExact(folder)) return std::nullopt;
  std::string text = "[Desktop Entry]\nType=Application\n";
  text += "Name=" + EscapeValue(DisplayText(entry.name)) + "\n";
  text += "Exec=" + *exec + "\n";
  if (!folder.empty()) text += "Path=" + EscapeValue(folder) + "\n";
  if (!entry.comment.empty()) text += "Comment=" + EscapeValue(DisplayText(entry.comment)) + "\n";
  if (!entry.icon.empty() && IsExact(entry.icon)) text += "Icon=" + EscapeValue(entry.icon) + "\n";
  return text;
}

}  // namespace rk5::platform
