#include "install/install_journal.h"

namespace rk5 {
namespace {

constexpr std::string_view kHeader = "rk5 install journal 1";

std::string Escape(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7f || c == '%') {
      out += '%';
      out += kHex[u >> 4];
      out += kHex[u & 0xf];
    } else {
      out += c;
    }
  }
  return out;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::string> Unescape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    int high = HexValue(text[i + 1]), low = HexValue(text[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return out;
}

// A path the installation itself could have listed: relative, every step a name.
bool IsPlainRelative(std::string_view path) {
  if (path.empty() || path.front() == '/') return false;
  while (!path.empty()) {
    const std::size_t slash = path.find('/');
    const std::string_view step = path.substr(0, slash);
    if (step.empty() || step == "." || step == ".." || step.find('\0') != std::string_view::npos) {
      return false;
    }
    if (slash == std::string_view::npos) return true;
    path.remove_prefix(slash + 1);
  }
  return false;  // ends in a separator
}

}  // namespace

std::string SerializeJournal(const InstallJournal& journal) {
  std::string out(kHeader);
  out += '\n';
  auto line = [&out](std::string_view tag, std::string_view value) {
    out += tag;
    out += ' ';
    out += Escape(value);
    out += '\n';
  };
  line("section", journal.record.section);
  line("build", journal.record.build);
  line("path", journal.record.path);
  line("exename", journal.record.exe_name);
  line("version", journal.record.version);
  for (const std::string& folder : journal.created_folders) line("folder", folder);
  for (const std::string& file : journal.files) line("file", file);
  out += "end\n";
  return out;
}

std::optional<InstallJournal> ParseJournal(std::string_view text) {
  InstallJournal journal;
  bool header = false, end = false;
  int fields = 0;
  while (!text.empty()) {
    std::size_t nl = text.find('\n');
    if (nl == std::string_view::npos) return std::nullopt;  // every line is complete
    std::string_view line = text.substr(0, nl);
    text.remove_prefix(nl + 1);
    if (end) return std::nullopt;
    if (!header) {
      if (line != kHeader) return std::nullopt;
      header = true;
      continue;
    }
    if (line == "end") {
      end = true;
      continue;
    }
    std::size_t space = line.find(' ');
    if (space == std::string_view::npos) return std::nullopt;
    std::string_view tag = line.substr(0, space);
    std::optional<std::string> value = Unescape(line.substr(space + 1));
    if (!value) return std::nullopt;
    if (tag == "section") {
      journal.record.section = std::move(*value), ++fields;
    } else if (tag == "build") {
      journal.record.build = std::move(*value), ++fields;
    } else if (tag == "path") {
      journal.record.path = std::move(*value), ++fields;
    } else if (tag == "exename") {
      journal.record.exe_name = std::move(*value), ++fields;
    } else if (tag == "version") {
      journal.record.version = std::move(*value), ++fields;
    } else if (tag == "folder" && IsPlainRelative(*value)) {
      journal.created_folders.push_back(std::move(*value));
    } else if (tag == "file" && IsPlainRelative(*value)) {
      journal.files.push_back(std::move(*value));
    } else {
      return std::nullopt;
    }
  }
  if (!end || fields != 5) return std::nullopt;
  return journal;
}

}  // namespace rk5
