#pragma once
// One INI file held in memory the way the profile functions see it: sections and keys
// matched without regard to letter case, values trimmed of blanks, lists in file order.
// Every line keeps its bytes and line end, so what a write does not touch is written
// back exactly as it was read.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace rk5 {

// Decimal, or hexadecimal after "0x", "0X" or "$"; anything else gives def.
int32_t ParseIniInteger(std::string_view text, int32_t def);

class IniDocument {
 public:
  static IniDocument Parse(std::string_view bytes);
  std::string Serialize() const;

  // Section names in file order, each once (a repeated section counts where it first
  // appears; later repeats are kept in the file but not read).
  std::vector<std::string> Sections() const;
  // Key names of a section in file order, each once; empty for a missing section.
  std::vector<std::string> Keys(std::string_view section) const;
  bool HasSection(std::string_view section) const;
  std::optional<std::string_view> Value(std::string_view section, std::string_view key) const;
  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view def) const;
  int32_t ReadInteger(std::string_view section, std::string_view key, int32_t def) const;

  // Adds or replaces a key; a missing section is appended at the end of the file, a
  // missing key at the end of its section. Returns false (and changes nothing) for a name
  // that cannot be stored on one line: a section with "]", a key with "=", either with a
  // line break or empty after trimming. A value is cut at its first line break.
  bool Write(std::string_view section, std::string_view key, std::string_view value);
  // Makes sure the section exists (appended empty when missing).
  bool AddSection(std::string_view section);

  // True once a write changed anything since parsing.
  bool Changed() const { return changed_; }

 private:
  struct Line {
    std::string text;  // without its line end
    std::string end;   // "\r\n", "\n" or "" for a last line without one
  };
  struct Section {
    std::string name;  // as written, trimmed
    Line header;
    std::vector<Line> lines;
    std::vector<std::string> key_order;                  // first spelling of each key
    std::unordered_map<std::string, std::size_t> keys;   // folded key -> line index
    std::size_t insert_at = 0;                           // after the last key line
  };

  static void AddLine(Section& section, Line line);
  Section* Find(std::string_view section);
  const Section* Find(std::string_view section) const;
  Section& Append(std::string_view section);
  void EndLastLine();

  std::vector<Line> preamble_;                          // lines before the first section
  std::vector<Section> sections_;
  std::unordered_map<std::string, std::size_t> index_;  // folded name -> first occurrence
  std::string line_end_ = "\r\n";                       // used for lines we add
  bool changed_ = false;
};

}  // namespace rk5
