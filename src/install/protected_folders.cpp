#include "install/protected_folders.h"

#include <optional>
#include <vector>

#include "catalogue/catalogue_keys.h"
#include "platform/text.h"

namespace rk5 {
namespace {

// The steps of a full path, folded, with empty and "." steps dropped and ".." taking the
// step before it away. nullopt when ".." climbs above the root.
std::optional<std::vector<std::string>> Steps(std::string_view path, char separator) {
  std::vector<std::string> steps;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = start;
    while (end < path.size() && path[end] != '/' && path[end] != separator) ++end;
    const std::string_view step = path.substr(start, end - start);
    if (step == "..") {
      if (steps.empty()) return std::nullopt;
      steps.pop_back();
    } else if (!step.empty() && step != ".") {
      steps.push_back(platform::FoldCase(step));
    }
    start = end + 1;
  }
  return steps;
}

std::string Joined(const std::vector<std::string>& steps, std::size_t from, std::size_t to) {
  std::string out;
  for (std::size_t i = from; i < to; ++i) {
    if (i > from) out += '/';
    out += steps[i];
  }
  return out;
}

}  // namespace

ProtectedFolders::ProtectedFolders(std::string_view base, std::string_view section,
                                   std::string_view program_folder, const IniDocument& local,
                                   char separator)
    : section_(platform::FoldCase(section)), separator_(separator) {
  if (std::optional<std::vector<std::string>> steps = Steps(base, separator)) {
    base_steps_ = std::move(*steps);
  }
  Protect(program_folder, true);
  for (const std::string& other : local.Sections()) {
    if (platform::EqualsFolded(other, section)) continue;  // its own record
    if (std::optional<std::string_view> path = local.Value(other, tool_key::Path.name)) {
      Protect(*path, false);
    }
  }
}

void ProtectedFolders::Protect(std::string_view full_path, bool even_around_the_tool) {
  std::optional<std::vector<std::string>> steps = Steps(full_path, separator_);
  const std::size_t below = base_steps_.size();
  if (!steps || steps->size() <= below) return;
  for (std::size_t i = 0; i < below; ++i) {
    if ((*steps)[i] != base_steps_[i]) return;  // outside the base folder
  }
  const std::size_t depth = steps->size() - below;
  // A folder holding the tool's own would forbid the tool itself.
  if (!even_around_the_tool && depth == 1 && (*steps)[below] == section_) return;
  folders_.insert(Joined(*steps, below, steps->size()));
  if (depth > deepest_) deepest_ = depth;
}

bool ProtectedFolders::Holds(std::string_view relative) const {
  if (folders_.empty()) return false;
  const std::string folded = platform::FoldCase(relative);
  std::size_t from = 0;
  for (std::size_t depth = 1; depth <= deepest_; ++depth) {
    const std::size_t slash = folded.find('/', from);
    if (slash == std::string::npos) return false;  // the file's own name is no folder
    if (folders_.count(folded.substr(0, slash)) != 0) return true;
    from = slash + 1;
  }
  return false;
}

}  // namespace rk5
