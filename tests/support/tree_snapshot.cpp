#include "support/tree_snapshot.h"

#include "support/temp_dir.h"

namespace rk5::test {

namespace fs = std::filesystem;

TreeSnapshot SnapshotTree(const fs::path& root) {
  TreeSnapshot tree;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
       ++it) {
    const std::string relative = fs::relative(it->path(), root).generic_string();
    if (it->is_symlink()) {
      tree[relative] = "link:" + fs::read_symlink(it->path()).string();
    } else if (it->is_directory()) {
      tree[relative] = "folder";
    } else {
      tree[relative] = "file:" + ReadFileBytes(it->path());
    }
  }
  return tree;
}

std::string TreeDifference(const TreeSnapshot& before, const TreeSnapshot& after) {
  std::string lines;
  for (const auto& [path, entry] : before) {
    auto found = after.find(path);
    if (found == after.end()) {
      lines += "- " + path + "\n";
    } else if (found->second != entry) {
      lines += "~ " + path + "\n";
    }
  }
  for (const auto& [path, entry] : after) {
    if (!before.count(path)) lines += "+ " + path + "\n";
  }
  return lines;
}

}  // namespace rk5::test
