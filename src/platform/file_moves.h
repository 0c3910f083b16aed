#pragma once
// The moves, walks and removals an installation makes in the file tree: files renamed
// into place on one file system, replaced files kept aside, and scratch folders cleared
// without ever following a link out of them.
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace rk5::platform {

// What lies below a folder, as paths relative to it with "/" between folders.
struct TreeListing {
  std::vector<std::string> folders;  // parents before their children
  std::vector<std::string> files;    // everything that is not a folder (links included)
};

class FileMoves {
 public:
  virtual ~FileMoves() = default;
  // Renames from to to on the same file system; a file at to is replaced in one step.
  virtual bool Move(const std::string& from, const std::string& to) = 0;
  // Makes aside name the file at path as well, leaving path in place where the system
  // allows it (a second link); otherwise moves the file there. aside must not exist.
  virtual bool KeepAside(const std::string& path, const std::string& aside) = 0;
  // Everything below folder, links not followed; nullopt when it cannot be read whole.
  virtual std::optional<TreeListing> List(const std::string& folder) = 0;
  // The names directly in folder; empty when it cannot be read.
  virtual std::vector<std::string> Names(const std::string& folder) = 0;
  // What tells the file at path (a link itself, not followed) from every other file on
  // this system while it exists, kept by a rename; empty when nothing is there.
  virtual std::string IdentityOf(const std::string& path) = 0;
  // Removes a folder that holds nothing.
  virtual bool RemoveEmptyFolder(const std::string& path) = 0;
  // Removes path and everything below it; a link is removed, never followed. True when
  // nothing is left at path.
  virtual bool RemoveTree(const std::string& path) = 0;
};

std::unique_ptr<FileMoves> MakeFileMoves();

}  // namespace rk5::platform
