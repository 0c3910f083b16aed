#pragma once
// The journal an installation writes into its staging folder before the first final move:
// what it will record, which folders and files it puts into place, and how far it got.
// Each file is named by the identity it had when staged and the identity of the file it
// replaces, so the next start moves back only what provably came from the staging folder
// and puts back only what provably stood there before.
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "install/install_record.h"

namespace rk5 {

// The largest journal written or read; no real tool comes near it.
inline constexpr std::size_t kLargestJournal = std::size_t{64} << 20;

enum class JournalPhase {
  kMovingIn,    // files may be anywhere between the staging folder and their places
  kRolledBack,  // decided against: every move is undone, or being undone
  kCommitted,   // the record is written; only the staging folder is left to remove
  kMovingOut,   // a removal: files may be anywhere between their places and the staging folder
};

struct JournalFolder {
  std::string path;   // relative to the base folder, "/" between folders
  bool made = false;  // created by the installation, removed again on undo when empty
};

struct JournalFile {
  std::string path;      // relative to the base folder
  std::string staged;    // identity of the staged file, which the move keeps
  std::string replaced;  // identity of the file it replaces; empty when there was none
};

struct InstallJournal {
  JournalPhase phase = JournalPhase::kMovingIn;
  InstallRecord record;
  std::vector<JournalFolder> folders;  // every folder of the staged tree, parents first
  std::vector<JournalFile> files;      // in move order
};

// A name or value as one field of a line: control bytes, " " and "%" become "%XX".
std::string EscapeField(std::string_view text);
// nullopt for a "%" not followed by two upper-case hex digits.
std::optional<std::string> UnescapeField(std::string_view text);

// Splits off the next field of a line (up to a space); the last field keeps the rest.
std::string_view NextField(std::string_view& line);
// Hands each line between the header line and the "end" line to take, which refuses a line
// by returning false. False for a text that is not whole: another first line, a line cut
// short, no "end", anything after it, or a refused line.
bool ForEachFramedLine(std::string_view text, std::string_view header,
                       const std::function<bool(std::string_view)>& take);
// A decimal number of 1 to 18 digits; nullopt for anything else.
std::optional<std::size_t> DecimalNumber(std::string_view text);

// One line per item, each folder and file by its parent's line number and its own name,
// so the journal grows with the number of names, not with their depth. Control bytes,
// " " and "%" are written as "%XX". nullopt when the journal would pass kLargestJournal.
std::optional<std::string> SerializeJournal(const InstallJournal& journal);
// nullopt for anything SerializeJournal did not write: an unknown phase, a line cut
// short, a name that is empty, "." or "..", or holds a separator, a parent that is not an
// earlier folder. A journal never leads out of its base folder.
std::optional<InstallJournal> ParseJournal(std::string_view text);

}  // namespace rk5
