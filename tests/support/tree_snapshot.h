#pragma once
// Everything below a folder, for checks that a failed or repaired installation left a tree
// exactly as it was: each path with its kind and, for a file, its bytes.
#include <filesystem>
#include <map>
#include <string>

namespace rk5::test {

// Relative path -> "file:" + bytes, "folder", or "link:" + target. Links are not followed.
using TreeSnapshot = std::map<std::string, std::string>;

TreeSnapshot SnapshotTree(const std::filesystem::path& root);

// The paths whose entries differ, one per line ("+ x", "- x", "~ x"); empty when equal.
std::string TreeDifference(const TreeSnapshot& before, const TreeSnapshot& after);

}  // namespace rk5::test
