#pragma once
// The manifest of an installed tool: every file an install placed (relative to the base
// folder) with its size and SHA-256 digest, and the folders it made, so that an uninstall
// removes exactly those and only while they are as installed. One file per tool beside
// the program (ManifestFileOf), written by the install's own commit.
//
//   rk5 manifest 1
//   folder Foo/doc
//   file 1234 <64 hex digits> Foo/doc/readme.txt
//   end
//
// Names are escaped as in the install journal (EscapeField), so every line splits one way.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rk5 {

// The largest manifest written or read, and the most entries it may hold; a tool with
// more files than that is not one anybody ships.
inline constexpr std::size_t kLargestManifest = std::size_t{32} << 20;
inline constexpr std::size_t kMostManifestEntries = 500000;

struct ManifestFile {
  std::string path;    // relative to the base folder, "/" between steps
  std::uint64_t size = 0;
  std::string sha256;  // 64 lower-case hex digits
  bool operator==(const ManifestFile&) const = default;
};

struct InstallManifest {
  std::vector<std::string> folders;  // made by installs, parents before children
  std::vector<ManifestFile> files;
  bool operator==(const InstallManifest&) const = default;
};

// nullopt when the manifest would pass its bounds.
std::optional<std::string> SerializeManifest(const InstallManifest& manifest);

// nullopt for anything SerializeManifest did not write: another header, a line cut short,
// a step that is empty, "." or "..", or holds "\", ":" or a NUL byte, an absolute path, a
// digest that is not 64 lower-case hex digits, a path named twice, more than the bounds.
std::optional<InstallManifest> ParseManifest(std::string_view text);

// The manifest after an update: the new install's files and folders, and those of the
// older manifest that the update did not replace (the install keeps them in place).
InstallManifest MergedManifest(const InstallManifest& older, InstallManifest newer);

}  // namespace rk5
