#pragma once
// One INI file held in memory the way the profile functions see it: sections and keys
// matched without regard to letter case, values trimmed of blanks, lists in file order.
// What a write does not touch is written back exactly as it was read.
//
// The file stays one string; only its section headers and key lines are indexed, by
// their offsets, and writes are kept beside it until it is written out. So a document
// takes at most about four times the file's size whatever its lines, where a string per
// line would take a hundred times the size of a file of short lines.
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
  // Files from 2 GiB on are kept but not indexed: they read as empty.
  static IniDocument Parse(std::string bytes);
  std::string Serialize() const;

  // Section names in file order, each once (a repeated section counts where it first
  // appears; later repeats are kept in the file but not read).
  std::vector<std::string> Sections() const;
  // Key names of a section in file order, each once; empty for a missing section.
  std::vector<std::string> Keys(std::string_view section) const;
  bool HasSection(std::string_view section) const;
  // The value as the file holds it, trimmed; ReadString and ReadInteger also take one
  // enclosing pair of quotes off, as the profile functions do.
  std::optional<std::string_view> Value(std::string_view section, std::string_view key) const;
  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view def) const;
  int32_t ReadInteger(std::string_view section, std::string_view key, int32_t def) const;

  // Whether Write would store this key and value as they are: names it accepts, and a
  // value without a line break.
  static bool FitsOneLine(std::string_view section, std::string_view key, std::string_view value);
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
  // Where a line's text lies: an offset into the file, or (with kAdded set) into added_.
  using LineRef = std::uint32_t;
  static constexpr LineRef kAdded = 0x80000000u;
  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

  struct Section {
    LineRef header;
    std::uint32_t first_key;  // its keys read from the file are keys_[first_key, next's)
    std::uint32_t insert_at;  // offset where added keys go (after its last key line, else
                              // after its header); kNone for a section added by a write
    std::uint32_t first_slot; // its keys' slots are file_key_slots_[first_slot, next's)
  };
  struct AddedKey {
    std::uint32_t section;
    LineRef line;
  };

  // Ids of sections or keys by the hash of their folded name: open addressing, probed in
  // order, sized once from the lines that could need a slot and grown for added ones.
  class Slots {
   public:
    void Reset(std::size_t expected);
    bool Full() const { return (used_ + 1) * 4 > slots_.size() * 3; }
    // The id whose entry `same` accepts, or `id` put in a free slot.
    template <class Same>
    std::uint32_t FindOrAdd(std::uint64_t hash, std::uint32_t id, Same same);
    template <class Same>
    std::optional<std::uint32_t> Find(std::uint64_t hash, Same same) const;

   private:
    std::vector<std::uint32_t> slots_ = std::vector<std::uint32_t>(8, kNone);
    std::size_t used_ = 0;
  };

  std::string_view Text(LineRef line) const;  // without its line end
  std::string_view SectionName(std::uint32_t section) const;
  std::string_view KeyName(std::uint32_t key) const;
  LineRef& KeyLine(std::uint32_t key);
  LineRef KeyLine(std::uint32_t key) const;
  std::uint32_t KeyCount() const;
  std::uint32_t KeysEnd(std::uint32_t section) const;  // after its keys read from the file
  std::uint32_t SlotsEnd(std::uint32_t section) const;
  std::uint64_t AddedKeyHash(std::uint32_t section, std::string_view name) const;

  std::optional<std::uint32_t> FindSection(std::string_view section) const;
  std::optional<std::uint32_t> FindKey(std::uint32_t section, std::string_view key) const;
  LineRef Add(std::string_view text);
  void GrowSections();
  void GrowAddedKeys();

  std::string bytes_;                 // the file as read
  std::vector<Section> sections_;     // first occurrences in file order, then added ones
  std::vector<LineRef> keys_;         // first occurrences of keys, section by section
  Slots section_slots_;
  // The file's keys by name, section by section: each section probes its own few slots,
  // which lie together in memory as its lines do.
  std::vector<std::uint32_t> file_key_slots_;
  std::string line_end_ = "\r\n";     // used for lines we add

  // Writes: new line texts (each ended by "\n" here), keys added to sections, and the
  // offsets of the file's lines whose keys got a new value.
  std::string added_;
  std::vector<AddedKey> added_keys_;  // key ids from keys_.size() on
  Slots added_key_slots_;
  std::unordered_map<std::uint32_t, std::vector<std::uint32_t>> added_to_;  // section -> keys
  std::unordered_map<std::uint32_t, std::uint32_t> replaced_;  // key -> its line in the file
  bool changed_ = false;
};

}  // namespace rk5
