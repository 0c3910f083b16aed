#include "install/install_journal.h"

#include <algorithm>
#include <iterator>
#include <unordered_map>

namespace rk5 {
namespace {

constexpr std::string_view kHeader = "rk5 install journal 2";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Full paths are rebuilt from the lines; their total is bounded so that a journal of
// deep names cannot take memory without end. What we write always fits.
constexpr std::size_t kLargestPathTotal = 4 * kLargestJournal;

constexpr std::string_view kPhaseNames[] = {"moving-in", "rolled-back", "committed", "moving-out"};

// A name of one folder or file, as a listing gives it.
bool IsPlainName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

// The text after the last "/" of a relative path, and the path before it.
std::string_view LastName(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}
std::string_view ParentOf(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash);
}

}  // namespace

// Splits off the next field of a line; the last field keeps the rest, spaces included.
std::string_view NextField(std::string_view& line) {
  const std::size_t space = line.find(' ');
  std::string_view field = line.substr(0, space);
  line = space == std::string_view::npos ? std::string_view() : line.substr(space + 1);
  return field;
}

bool ForEachFramedLine(std::string_view text, std::string_view header,
                       const std::function<bool(std::string_view)>& take) {
  bool headed = false, ended = false;
  while (!text.empty()) {
    const std::size_t nl = text.find('\n');
    if (nl == std::string_view::npos || ended) return false;
    const std::string_view line = text.substr(0, nl);
    text.remove_prefix(nl + 1);
    if (!headed) {
      if (line != header) return false;
      headed = true;
    } else if (line == "end") {
      ended = true;
    } else if (!take(line)) {
      return false;
    }
  }
  return ended;
}

std::optional<std::size_t> DecimalNumber(std::string_view text) {
  if (text.empty() || text.size() > 18) return std::nullopt;
  std::size_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::size_t>(c - '0');
  }
  return value;
}

std::string EscapeField(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7f || c == '%' || c == ' ') {
      out += '%';
      out += kHex[u >> 4];
      out += kHex[u & 0xf];
    } else {
      out += c;
    }
  }
  return out;
}

std::optional<std::string> UnescapeField(std::string_view text) {
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

std::optional<std::string> SerializeJournal(const InstallJournal& journal) {
  std::string out(kHeader);
  out += '\n';
  auto line = [&out](std::string_view tag, std::string_view value) {
    out += tag;
    out += ' ';
    out += EscapeField(value);
    out += '\n';
  };
  line("phase", kPhaseNames[static_cast<int>(journal.phase)]);
  line("section", journal.record.section);
  line("build", journal.record.build);
  line("path", journal.record.path);
  line("exename", journal.record.exe_name);
  line("version", journal.record.version);
  // Folder lines are numbered from 1; 0 is the base folder.
  std::unordered_map<std::string_view, std::size_t> numbers;
  std::size_t total = 0;
  const auto parent_number = [&numbers](std::string_view path) -> std::optional<std::size_t> {
    const std::string_view parent = ParentOf(path);
    if (parent.empty()) return 0;
    auto it = numbers.find(parent);
    if (it == numbers.end()) return std::nullopt;
    return it->second;
  };
  for (const JournalFolder& folder : journal.folders) {
    const std::optional<std::size_t> parent = parent_number(folder.path);
    if (!parent || !IsPlainName(LastName(folder.path))) return std::nullopt;
    numbers.emplace(folder.path, numbers.size() + 1);
    total += folder.path.size();
    out += "folder " + std::to_string(*parent) + (folder.made ? " 1 " : " 0 ");
    out += EscapeField(LastName(folder.path));
    out += '\n';
  }
  for (const JournalFile& file : journal.files) {
    const std::optional<std::size_t> parent = parent_number(file.path);
    if (!parent || !IsPlainName(LastName(file.path)) || file.staged.empty()) return std::nullopt;
    total += file.path.size();
    out += "file " + std::to_string(*parent) + ' ' + EscapeField(file.staged) + ' ' +
           (file.replaced.empty() ? std::string("-") : EscapeField(file.replaced)) + ' ';
    out += EscapeField(LastName(file.path));
    out += '\n';
    if (out.size() > kLargestJournal) return std::nullopt;
  }
  out += "end\n";
  if (out.size() > kLargestJournal || total > kLargestPathTotal) return std::nullopt;
  return out;
}

std::optional<InstallJournal> ParseJournal(std::string_view text) {
  if (text.size() > kLargestJournal) return std::nullopt;
  InstallJournal journal;
  bool phase = false;
  int fields = 0;
  std::size_t total = 0;
  // The full path of folder line n is folders[n - 1].path.
  const auto join = [&journal, &total](std::size_t parent, std::string_view name) -> std::optional<std::string> {
    if (parent > journal.folders.size() || !IsPlainName(name)) return std::nullopt;
    std::string path;
    if (parent > 0) path = journal.folders[parent - 1].path + '/';
    path += name;
    total += path.size();
    if (total > kLargestPathTotal) return std::nullopt;
    return path;
  };
  const bool whole = ForEachFramedLine(text, kHeader, [&](std::string_view line) {
    const std::string_view tag = NextField(line);
    if (tag == "folder" || tag == "file") {
      const std::optional<std::size_t> parent = DecimalNumber(NextField(line));
      if (!parent) return false;
      if (tag == "folder") {
        const std::string_view made = NextField(line);
        std::optional<std::string> name = UnescapeField(line);
        std::optional<std::string> path = name ? join(*parent, *name) : std::nullopt;
        if ((made != "0" && made != "1") || !path) return false;
        journal.folders.push_back(JournalFolder{std::move(*path), made == "1"});
      } else {
        std::optional<std::string> staged = UnescapeField(NextField(line));
        const std::string_view replaced_field = NextField(line);
        std::optional<std::string> replaced =
            replaced_field == "-" ? std::optional<std::string>("") : UnescapeField(replaced_field);
        std::optional<std::string> name = UnescapeField(line);
        std::optional<std::string> path = name ? join(*parent, *name) : std::nullopt;
        if (!staged || staged->empty() || !replaced || !path) return false;
        journal.files.push_back(JournalFile{std::move(*path), std::move(*staged), std::move(*replaced)});
      }
      return true;
    }
    std::optional<std::string> value = UnescapeField(line);
    if (!value) return false;
    if (tag == "phase") {
      const auto* known = std::find(std::begin(kPhaseNames), std::end(kPhaseNames), *value);
      if (phase || known == std::end(kPhaseNames)) return false;
      journal.phase = static_cast<JournalPhase>(known - std::begin(kPhaseNames));
      phase = true;
    } else if (tag == "section") {
      journal.record.section = std::move(*value), ++fields;
    } else if (tag == "build") {
      journal.record.build = std::move(*value), ++fields;
    } else if (tag == "path") {
      journal.record.path = std::move(*value), ++fields;
    } else if (tag == "exename") {
      journal.record.exe_name = std::move(*value), ++fields;
    } else if (tag == "version") {
      journal.record.version = std::move(*value), ++fields;
    } else {
      return false;
    }
    return true;
  });
  if (!whole || !phase || fields != 5) return std::nullopt;
  return journal;
}

}  // namespace rk5
