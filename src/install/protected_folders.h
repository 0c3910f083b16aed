#pragma once
// The folders below the base folder that one tool's archive may not reach into: the
// program's own folder, and the folder of every other installed tool (a section of
// "Local.ini" whose Path is a proper sub-folder of the base folder and does not hold this
// tool's own folder). A Path naming the base folder itself, or a folder outside it,
// protects nothing. Names compare without regard to letter case.
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "ini/ini_document.h"

namespace rk5 {

class ProtectedFolders {
 public:
  // base as the extractor holds it; program_folder is where "Local.ini" lies.
  ProtectedFolders(std::string_view base, std::string_view section,
                   std::string_view program_folder, const IniDocument& local, char separator);

  // True when the file at relative (below the base folder, "/" between folders) lies
  // inside a protected folder.
  bool Holds(std::string_view relative) const;

 private:
  void Protect(std::string_view full_path, bool even_around_the_tool);

  std::vector<std::string> base_steps_;  // the base folder's steps, folded
  std::string section_;     // folded
  char separator_;
  std::unordered_set<std::string> folders_;  // relative, folded, "/" between steps
  std::size_t deepest_ = 0;                  // most steps of any protected folder
};

}  // namespace rk5
