#include "ini/ini_document.h"

#include <algorithm>
#include <limits>

#include "platform/formats/fnv_hash.h"
#include "platform/text.h"

namespace rk5 {
namespace {

using platform::EqualsFolded;
using platform::Trim;

// Files indexed by 31-bit offsets; the top bit tells added lines from the file's.
constexpr std::size_t kLargestIndexed = 0x7FFFFFFFu;

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Of a name without regard to letter case, so that equal names hash alike. The bytes are
// folded in one by one, then every bit is spread over the whole: names that differ only
// in their last letters (Tool1, Tool2) would otherwise share their high bits.
std::uint64_t FoldedHash(std::string_view name, std::uint64_t hash = platform::kFnvStart) {
  for (char c : name) hash = platform::FnvStep(hash, static_cast<unsigned char>(Lower(c)));
  hash ^= hash >> 33;
  hash *= 0xff51afd7ed558ccdull;
  hash ^= hash >> 33;
  hash *= 0xc4ceb9fe1a85ec53ull;
  return hash ^ (hash >> 33);
}

// Where the line that starts at `at` ends: its "\n", or the end of the bytes. Most lines
// are short, where a plain look beats a call per line.
std::size_t LineEnd(std::string_view bytes, std::size_t at) {
  const std::size_t near = std::min(bytes.size(), at + 64);
  for (std::size_t i = at; i < near; ++i) {
    if (bytes[i] == '\n') return i;
  }
  const std::size_t nl = near < bytes.size() ? bytes.find('\n', near) : std::string_view::npos;
  return nl == std::string_view::npos ? bytes.size() : nl;
}

// The text of the line from `at` to `end` without its line end.
std::string_view LineText(std::string_view bytes, std::size_t at, std::size_t end) {
  if (end < bytes.size() && end > at && bytes[end - 1] == '\r') --end;
  return bytes.substr(at, end - at);
}

// The text of the line that starts at `at`, without its line end.
std::string_view LineAt(std::string_view bytes, std::size_t at) {
  return LineText(bytes, at, LineEnd(bytes, at));
}

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
std::optional<std::string_view> KeyOfLine(std::string_view text) {
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

// A value in one pair of double or single quotes reads without them, as the profile
// functions read it; the blanks inside the quotes are kept. Value() keeps them, for the
// registry file, whose values come back as they were written.
std::string_view Unquoted(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return value;
}

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

bool StorableSection(std::string_view section) {
  section = Trim(section);
  return !section.empty() && !HasLineBreak(section) && section.find(']') == std::string_view::npos;
}

// The line for key and value, when it reads back as that key: not a comment, not a
// section header, nothing that splits it.
std::optional<std::string> KeyLineFor(std::string_view key, std::string_view value) {
  key = Trim(key);
  if (key.empty() || HasLineBreak(key) || key.find('=') != std::string_view::npos) return std::nullopt;
  std::string text = std::string(key) + "=" + std::string(value);
  if (HeaderName(text) || KeyOfLine(text) != key) return std::nullopt;
  return text;
}

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

namespace {

constexpr std::uint32_t kFree = 0xFFFFFFFFu;

// Open addressing over `size` slots (never all taken): the slot whose id `same` accepts,
// or the free one where that id would go.
template <class Same>
std::size_t Probe(const std::uint32_t* slots, std::size_t size, std::uint64_t hash, Same same) {
  for (std::size_t i = static_cast<std::size_t>((hash >> 32) * size >> 32);; i = i + 1 == size ? 0 : i + 1) {
    if (slots[i] == kFree || same(slots[i])) return i;
  }
}

template <class Same>
std::optional<std::uint32_t> Look(const std::uint32_t* slots, std::size_t size, std::uint64_t hash,
                                  Same same) {
  if (size == 0) return std::nullopt;
  const std::uint32_t id = slots[Probe(slots, size, hash, same)];
  return id == kFree ? std::nullopt : std::optional<std::uint32_t>(id);
}

// The id already there, or `id` now there.
template <class Same>
std::uint32_t LookOrPut(std::uint32_t* slots, std::size_t size, std::uint64_t hash, std::uint32_t id,
                        Same same) {
  std::uint32_t& slot = slots[Probe(slots, size, hash, same)];
  if (slot == kFree) slot = id;
  return slot;
}

// The key lines from `at` up to the next section header.
std::uint32_t KeyLinesFrom(std::string_view bytes, std::size_t at) {
  std::uint32_t count = 0;
  while (at < bytes.size()) {
    const std::size_t end = LineEnd(bytes, at);
    const std::string_view text = LineText(bytes, at, end);
    if (HeaderName(text)) break;
    if (KeyOfLine(text)) ++count;
    at = end + 1;
  }
  return count;
}

}  // namespace

void IniDocument::Slots::Reset(std::size_t expected) {
  slots_.assign(expected + expected / 3 + 8, kNone);
  used_ = 0;
}

template <class Same>
std::uint32_t IniDocument::Slots::FindOrAdd(std::uint64_t hash, std::uint32_t id, Same same) {
  const std::uint32_t found = LookOrPut(slots_.data(), slots_.size(), hash, id, same);
  if (found == id) ++used_;
  return found;
}

template <class Same>
std::optional<std::uint32_t> IniDocument::Slots::Find(std::uint64_t hash, Same same) const {
  return Look(slots_.data(), slots_.size(), hash, same);
}

IniDocument IniDocument::Parse(std::string bytes) {
  IniDocument doc;
  doc.bytes_ = std::move(bytes);
  const std::string_view all = doc.bytes_;
  if (all.size() > kLargestIndexed) return doc;
  // Every line, in order: its start, its text and where the next one starts.
  const auto each_line = [&all](auto&& visit) {
    for (std::size_t at = 0; at < all.size();) {
      const std::size_t end = LineEnd(all, at);
      const std::size_t next = std::min(end + 1, all.size());
      visit(at, LineText(all, at, end), next);
      at = next;
    }
  };
  // A first look sizes the tables, so that nothing grows (and holds twice) while parsing.
  std::size_t headers = 0, key_lines = 0;
  each_line([&](std::size_t, std::string_view text, std::size_t) {
    if (HeaderName(text)) {
      ++headers;
    } else if (KeyOfLine(text)) {
      ++key_lines;
    }
  });
  doc.section_slots_.Reset(headers);
  doc.keys_.reserve(key_lines);
  doc.file_key_slots_.reserve(key_lines + key_lines / 4 + headers);
  if (const std::size_t nl = all.find('\n'); nl != std::string_view::npos) {
    doc.line_end_ = nl > 0 && all[nl - 1] == '\r' ? "\r\n" : "\n";
  }

  std::uint32_t current = kNone;  // the section being read; none before the first and in repeats
  each_line([&](std::size_t at, std::string_view text, std::size_t next) {
    const auto offset = static_cast<std::uint32_t>(at);
    if (const auto name = HeaderName(text)) {
      const auto id = static_cast<std::uint32_t>(doc.sections_.size());
      const std::uint32_t found = doc.section_slots_.FindOrAdd(
          FoldedHash(*name), id, [&](std::uint32_t s) { return EqualsFolded(doc.SectionName(s), *name); });
      current = found == id ? id : kNone;
      if (found == id) {
        // Room for every key line up to the next header, a fifth of it free.
        const std::uint32_t lines = KeyLinesFrom(all, next);
        const auto first_slot = static_cast<std::uint32_t>(doc.file_key_slots_.size());
        doc.file_key_slots_.resize(first_slot + (lines == 0 ? 0 : lines + lines / 4 + 1), kNone);
        doc.sections_.push_back(Section{offset, static_cast<std::uint32_t>(doc.keys_.size()),
                                        static_cast<std::uint32_t>(next), first_slot});
      }
      return;
    }
    if (current == kNone) return;
    const auto key = KeyOfLine(text);
    if (!key) return;
    Section& section = doc.sections_[current];
    section.insert_at = static_cast<std::uint32_t>(next);
    const auto id = static_cast<std::uint32_t>(doc.keys_.size());
    const std::uint32_t found =
        LookOrPut(doc.file_key_slots_.data() + section.first_slot, doc.file_key_slots_.size() - section.first_slot,
                  FoldedHash(*key), id, [&](std::uint32_t k) { return EqualsFolded(doc.KeyName(k), *key); });
    if (found == id) doc.keys_.push_back(offset);
  });
  return doc;
}

std::string_view IniDocument::Text(LineRef line) const {
  if ((line & kAdded) != 0) return LineAt(added_, line & ~kAdded);
  return LineAt(bytes_, line);
}

std::string_view IniDocument::SectionName(std::uint32_t section) const {
  return *HeaderName(Text(sections_[section].header));
}

std::string_view IniDocument::KeyName(std::uint32_t key) const { return *KeyOfLine(Text(KeyLine(key))); }

IniDocument::LineRef& IniDocument::KeyLine(std::uint32_t key) {
  return key < keys_.size() ? keys_[key] : added_keys_[key - keys_.size()].line;
}

IniDocument::LineRef IniDocument::KeyLine(std::uint32_t key) const {
  return key < keys_.size() ? keys_[key] : added_keys_[key - keys_.size()].line;
}

std::uint32_t IniDocument::KeyCount() const {
  return static_cast<std::uint32_t>(keys_.size() + added_keys_.size());
}

std::uint32_t IniDocument::KeysEnd(std::uint32_t section) const {
  return section + 1 < sections_.size() ? sections_[section + 1].first_key
                                        : static_cast<std::uint32_t>(keys_.size());
}

std::uint32_t IniDocument::SlotsEnd(std::uint32_t section) const {
  return section + 1 < sections_.size() ? sections_[section + 1].first_slot
                                        : static_cast<std::uint32_t>(file_key_slots_.size());
}

std::uint64_t IniDocument::AddedKeyHash(std::uint32_t section, std::string_view name) const {
  return FoldedHash(name, platform::FnvStep(platform::kFnvStart, section));
}

std::optional<std::uint32_t> IniDocument::FindSection(std::string_view section) const {
  section = Trim(section);
  return section_slots_.Find(FoldedHash(section), [&](std::uint32_t s) {
    return EqualsFolded(SectionName(s), section);
  });
}

std::optional<std::uint32_t> IniDocument::FindKey(std::uint32_t section, std::string_view key) const {
  key = Trim(key);
  const auto same = [&](std::uint32_t k) { return EqualsFolded(KeyName(k), key); };
  const std::uint32_t first = sections_[section].first_slot;
  const std::optional<std::uint32_t> in_file =
      Look(file_key_slots_.data() + first, SlotsEnd(section) - first, FoldedHash(key), same);
  if (in_file || added_to_.count(section) == 0) return in_file;
  return added_key_slots_.Find(AddedKeyHash(section, key), [&](std::uint32_t k) {
    return added_keys_[k - keys_.size()].section == section && same(k);
  });
}

std::string IniDocument::Serialize() const {
  // The file's bytes with the writes put in: new texts for lines whose key changed, added
  // keys after the last key line of their section, added sections at the end.
  struct Change {
    std::uint32_t at;
    std::uint32_t key;      // a key whose line is replaced, or kNone
    std::uint32_t section;  // a section whose added keys go here, or kNone
  };
  std::vector<Change> changes;
  for (const auto& [key, line] : replaced_) changes.push_back({line, key, kNone});
  for (const auto& [section, keys] : added_to_) {
    if (sections_[section].insert_at != kNone) changes.push_back({sections_[section].insert_at, kNone, section});
  }
  std::sort(changes.begin(), changes.end(), [](const Change& a, const Change& b) { return a.at < b.at; });

  std::string out;
  out.reserve(bytes_.size() + added_.size() + 2 * line_end_.size() * (added_keys_.size() + sections_.size()));
  bool ended = bytes_.empty() || bytes_.back() == '\n';
  const auto end_last_line = [&] {
    if (!ended) out += line_end_;
    ended = true;
  };
  const auto put_added = [&](std::uint32_t section) {
    const auto keys = added_to_.find(section);
    if (keys == added_to_.end()) return;
    for (std::uint32_t key : keys->second) {
      out += Text(KeyLine(key));
      out += line_end_;
    }
  };
  std::size_t copied = 0;
  for (const Change& change : changes) {
    out.append(bytes_, copied, change.at - copied);
    copied = change.at;
    if (change.key != kNone) {
      out += Text(KeyLine(change.key));
      copied += LineAt(bytes_, change.at).size();  // its line end stays
    } else {
      if (change.at == bytes_.size()) end_last_line();
      put_added(change.section);
    }
  }
  out.append(bytes_, copied);
  for (std::uint32_t s = 0; s < sections_.size(); ++s) {
    if (sections_[s].insert_at != kNone) continue;
    end_last_line();
    out += Text(sections_[s].header);
    out += line_end_;
    put_added(s);
  }
  return out;
}

std::vector<std::string> IniDocument::Sections() const {
  std::vector<std::string> names;
  names.reserve(sections_.size());
  for (std::uint32_t s = 0; s < sections_.size(); ++s) {
    const std::string_view name = SectionName(s);
    if (!name.empty()) names.emplace_back(name);
  }
  return names;
}

std::vector<std::string> IniDocument::Keys(std::string_view section) const {
  std::vector<std::string> names;
  const std::optional<std::uint32_t> s = FindSection(section);
  if (!s) return names;
  for (std::uint32_t k = sections_[*s].first_key; k < KeysEnd(*s); ++k) names.emplace_back(KeyName(k));
  if (const auto added = added_to_.find(*s); added != added_to_.end()) {
    for (std::uint32_t k : added->second) names.emplace_back(KeyName(k));
  }
  return names;
}

bool IniDocument::HasSection(std::string_view section) const { return FindSection(section).has_value(); }

std::optional<std::string_view> IniDocument::Value(std::string_view section,
                                                   std::string_view key) const {
  const std::optional<std::uint32_t> s = FindSection(section);
  if (!s) return std::nullopt;
  const std::optional<std::uint32_t> k = FindKey(*s, key);
  if (!k) return std::nullopt;
  return ValueOf(Text(KeyLine(*k)));
}

std::string IniDocument::ReadString(std::string_view section, std::string_view key,
                                    std::string_view def) const {
  auto value = Value(section, key);
  return std::string(value ? Unquoted(*value) : def);
}

int32_t IniDocument::ReadInteger(std::string_view section, std::string_view key,
                                 int32_t def) const {
  auto value = Value(section, key);
  return value ? ParseIniInteger(Unquoted(*value), def) : def;
}

IniDocument::LineRef IniDocument::Add(std::string_view text) {
  const auto at = static_cast<LineRef>(added_.size()) | kAdded;
  added_ += text;
  added_ += '\n';
  return at;
}

void IniDocument::GrowSections() {
  section_slots_.Reset(2 * sections_.size());
  for (std::uint32_t s = 0; s < sections_.size(); ++s) {
    section_slots_.FindOrAdd(FoldedHash(SectionName(s)), s, [](std::uint32_t) { return false; });
  }
}

void IniDocument::GrowAddedKeys() {
  added_key_slots_.Reset(2 * added_keys_.size());
  for (std::uint32_t i = 0; i < added_keys_.size(); ++i) {
    const auto k = static_cast<std::uint32_t>(keys_.size()) + i;
    added_key_slots_.FindOrAdd(AddedKeyHash(added_keys_[i].section, KeyName(k)), k,
                               [](std::uint32_t) { return false; });
  }
}

bool IniDocument::AddSection(std::string_view section) {
  if (!StorableSection(section)) return false;
  section = Trim(section);
  if (FindSection(section)) return true;
  if (section_slots_.Full()) GrowSections();
  const auto id = static_cast<std::uint32_t>(sections_.size());
  sections_.push_back(Section{Add("[" + std::string(section) + "]"), static_cast<std::uint32_t>(keys_.size()),
                              kNone, static_cast<std::uint32_t>(file_key_slots_.size())});
  section_slots_.FindOrAdd(FoldedHash(section), id, [](std::uint32_t) { return false; });
  changed_ = true;
  return true;
}

bool IniDocument::FitsOneLine(std::string_view section, std::string_view key, std::string_view value) {
  return StorableSection(section) && !HasLineBreak(value) && KeyLineFor(key, value).has_value();
}

bool IniDocument::Write(std::string_view section, std::string_view key, std::string_view value) {
  key = Trim(key);
  value = value.substr(0, value.find_first_of("\r\n"));
  std::optional<std::string> new_text = KeyLineFor(key, value);
  if (!new_text || !AddSection(section)) return false;

  const std::uint32_t s = *FindSection(section);
  if (const std::optional<std::uint32_t> k = FindKey(s, key)) {
    const std::string_view line = Text(KeyLine(*k));
    if (ValueOf(line) == value) return true;  // already so: keep the line's bytes
    // Its first spelling stays.
    const LineRef changed = Add(std::string(*KeyOfLine(line)) + "=" + std::string(value));
    if (*k < keys_.size()) replaced_.emplace(*k, keys_[*k]);  // where it lies in the file
    KeyLine(*k) = changed;
    changed_ = true;
    return true;
  }
  if (added_key_slots_.Full()) GrowAddedKeys();
  const std::uint32_t id = KeyCount();
  added_keys_.push_back(AddedKey{s, Add(*new_text)});
  added_to_[s].push_back(id);
  added_key_slots_.FindOrAdd(AddedKeyHash(s, key), id, [](std::uint32_t) { return false; });
  changed_ = true;
  return true;
}

}  // namespace rk5
