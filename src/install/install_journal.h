#pragma once
// The journal an installation writes into its staging folder before the first final move:
// what it will record and which folders and files it puts into place. With what is still
// staged and what was kept aside it tells the next start how far the moves got.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "install/install_record.h"

namespace rk5 {

struct InstallJournal {
  InstallRecord record;
  std::vector<std::string> created_folders;  // relative to the base folder, parents first
  std::vector<std::string> files;            // relative to the base folder, in move order
};

// One line per item; control bytes and "%" are written as "%XX", so any name fits a line.
std::string SerializeJournal(const InstallJournal& journal);
// nullopt for anything SerializeJournal did not write, and for a path that is not plainly
// relative (absolute, empty, "." or ".." steps): a journal never leads out of its folder.
std::optional<InstallJournal> ParseJournal(std::string_view text);

}  // namespace rk5
