#include "ini/ini_document.h"

#include <limits>

#include "platform/text.h"

namespace rk5 {
namespace {

using platform::FoldCase;
using platform::Trim;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A section header: "[name]" after optional blanks; anything after "]" is ignored.
std::optional<std::string_view> HeaderName(std::string_view text) {
  std::string_view t = Trim(text);
  if (t.empty() || t.front() != '[') return std::nullopt;
  std::size_t close = t.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return Trim(t.substr(1, close - 1));
}

// A key line: "key=value" with a non-empty key, not a ";" comment.
std::optional<std::string_view> KeyName(std::string_view text) {
  std::string_view t = Trim(text);
  if (t.empty() || t.front() == ';') return std::nullopt;
  std::size_t eq = t.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  std::string_view key = Trim(t.substr(0, eq));
  if (key.empty()) return std::nullopt;
  return key;
}

std::string_view ValueOf(std::string_view text) {
  return Trim(text.substr(text.find('=') + 1));
}

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

}  // namespace

int32_t ParseIniInteger(std::string_view text, int32_t def) {
  text = Trim(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  bool hex = false;
  if (!text.empty() && text.front() == '$') {
    hex = true;
    text.remove_prefix(1);
  } else if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    hex = true;
    text.remove_prefix(2);
  }
  if (text.empty()) return def;
  uint64_t magnitude = 0;
  if (hex) {
    // Hexadecimal covers the full 32 bits: $FFFFFFFF is -1.
    for (char c : text) {
      int d = HexDigit(c);
      if (d < 0) return def;
      magnitude = magnitude * 16 + static_cast<uint64_t>(d);
      if (magnitude > 0xFFFFFFFFull) return def;
    }
    uint32_t bits = static_cast<uint32_t>(magnitude);
    if (negative) bits = ~bits + 1u;
    return static_cast<int32_t>(bits);
  }
  for (char c : text) {
    if (c < '0' || c > '9') return def;
    magnitude = magnitude * 10 + static_cast<uint64_t>(c - '0');
    if (magnitude > 2147483648ull) return def;
  }
  if (!negative && magnitude > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) {
    return def;
  }
  int64_t value = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
  return static_cast<int32_t>(value);
}

IniDocument IniDocument::Parse(std::string_view bytes) {
  IniDocument doc;
  bool line_end_known = false;
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    std::size_t nl = bytes.find('\n', pos);
    Line line;
    if (nl == std::string_view::npos) {
      line.text.assign(bytes.substr(pos));
      pos = bytes.size();
    } else {
      std::string_view text = bytes.substr(pos, nl - pos);
      if (!text.empty() && text.back() == '\r') {
        text.remove_suffix(1);
        line.end = "\r\n";
      } else {
        line.end = "\n";
      }
      line.text.assign(text);
      pos = nl + 1;
      if (!line_end_known) {
        doc.line_end_ = line.end;
        line_end_known = true;
      }
    }
    if (auto name = HeaderName(line.text)) {
      Section section;
      section.name.assign(*name);
      section.header = std::move(line);
      std::string folded = FoldCase(section.name);
      doc.index_.emplace(std::move(folded), doc.sections_.size());  // keeps the first
      doc.sections_.push_back(std::move(section));
    } else if (doc.sections_.empty()) {
      doc.preamble_.push_back(std::move(line));
    } else {
      AddLine(doc.sections_.back(), std::move(line));
    }
  }
  return doc;
}

void IniDocument::AddLine(Section& section, Line line) {
  if (auto key = KeyName(line.text)) {
    auto [it, inserted] = section.keys.emplace(FoldCase(*key), section.lines.size());
    if (inserted) section.key_order.emplace_back(*key);
    section.insert_at = section.lines.size() + 1;
  }
  section.lines.push_back(std::move(line));
}

std::string IniDocument::Serialize() const {
  std::size_t size = 0;
  auto measure = [&size](const Line& l) { size += l.text.size() + l.end.size(); };
  for (const Line& l : preamble_) measure(l);
  for (const Section& s : sections_) {
    measure(s.header);
    for (const Line& l : s.lines) measure(l);
  }
  std::string out;
  out.reserve(size);
  auto put = [&out](const Line& l) {
    out += l.text;
    out += l.end;
  };
  for (const Line& l : preamble_) put(l);
  for (const Section& s : sections_) {
    put(s.header);
    for (const Line& l : s.lines) put(l);
  }
  return out;
}

std::vector<std::string> IniDocument::Sections() const {
  std::vector<std::string> names;
  names.reserve(index_.size());
  for (std::size_t i = 0; i < sections_.size(); ++i) {
    const Section& s = sections_[i];
    if (s.name.empty()) continue;
    auto it = index_.find(FoldCase(s.name));
    if (it != index_.end() && it->second == i) names.push_back(s.name);
  }
  return names;
}

std::vector<std::string> IniDocument::Keys(std::string_view section) const {
  const Section* s = Find(section);
  return s ? s->key_order : std::vector<std::string>{};
}

bool IniDocument::HasSection(std::string_view section) const { return Find(section) != nullptr; }

const IniDocument::Section* IniDocument::Find(std::string_view section) const {
  auto it = index_.find(FoldCase(Trim(section)));
  return it == index_.end() ? nullptr : &sections_[it->second];
}

IniDocument::Section* IniDocument::Find(std::string_view section) {
  return const_cast<Section*>(static_cast<const IniDocument*>(this)->Find(section));
}

std::optional<std::string_view> IniDocument::Value(std::string_view section,
                                                   std::string_view key) const {
  const Section* s = Find(section);
  if (s == nullptr) return std::nullopt;
  auto it = s->keys.find(FoldCase(Trim(key)));
  if (it == s->keys.end()) return std::nullopt;
  return ValueOf(s->lines[it->second].text);
}

std::string IniDocument::ReadString(std::string_view section, std::string_view key,
                                    std::string_view def) const {
  auto value = Value(section, key);
  return std::string(value ? *value : def);
}

int32_t IniDocument::ReadInteger(std::string_view section, std::string_view key,
                                 int32_t def) const {
  auto value = Value(section, key);
  return value ? ParseIniInteger(*value, def) : def;
}

void IniDocument::EndLastLine() {
  Line* last = nullptr;
  if (!sections_.empty()) {
    Section& s = sections_.back();
    last = s.lines.empty() ? &s.header : &s.lines.back();
  } else if (!preamble_.empty()) {
    last = &preamble_.back();
  }
  if (last != nullptr && last->end.empty()) last->end = line_end_;
}

IniDocument::Section& IniDocument::Append(std::string_view section) {
  EndLastLine();
  Section s;
  s.name.assign(section);
  s.header = Line{"[" + s.name + "]", line_end_};
  index_.emplace(FoldCase(s.name), sections_.size());
  sections_.push_back(std::move(s));
  changed_ = true;
  return sections_.back();
}

bool IniDocument::AddSection(std::string_view section) {
  section = Trim(section);
  if (section.empty() || HasLineBreak(section) || section.find(']') != std::string_view::npos) {
    return false;
  }
  if (Find(section) == nullptr) Append(section);
  return true;
}

bool IniDocument::Write(std::string_view section, std::string_view key, std::string_view value) {
  key = Trim(key);
  value = value.substr(0, value.find_first_of("\r\n"));
  if (key.empty() || HasLineBreak(key) || key.find('=') != std::string_view::npos) return false;
  // The line must read back as this key: not a comment, not a section header.
  std::string new_text = std::string(key) + "=" + std::string(value);
  if (HeaderName(new_text) || KeyName(new_text) != key) return false;
  if (!AddSection(section)) return false;

  Section& s = *Find(section);
  auto it = s.keys.find(FoldCase(key));
  if (it != s.keys.end()) {
    Line& line = s.lines[it->second];
    if (ValueOf(line.text) == value) return true;  // already so: keep the line's bytes
    std::string_view written_key = *KeyName(line.text);
    line.text = std::string(written_key) + "=" + std::string(value);  // its first spelling
    changed_ = true;
    return true;
  }
  if (&s == &sections_.back() && s.insert_at == s.lines.size()) EndLastLine();
  std::size_t at = s.insert_at;
  s.lines.insert(s.lines.begin() + static_cast<std::ptrdiff_t>(at),
                 Line{std::move(new_text), line_end_});
  s.keys.emplace(FoldCase(key), at);
  s.key_order.emplace_back(key);
  s.insert_at = at + 1;
  changed_ = true;
  return true;
}

}  // namespace rk5
