#include "install/install_manifest.h"

#include <algorithm>
#include <unordered_set>

#include "install/install_journal.h"

namespace rk5 {
namespace {

constexpr std::string_view kHeader = "rk5 manifest 1";

// Every step a plain name that no system reads as a way out of the base folder.
bool IsSafeRelative(std::string_view path) {
  if (path.empty()) return false;
  std::size_t start = 0;
  while (true) {
    const std::size_t slash = path.find('/', start);
    const std::string_view step = path.substr(start, slash == std::string_view::npos ? slash : slash - start);
    if (step.empty() || step == "." || step == ".." ||
        step.find_first_of(std::string_view("\\:\0", 3)) != std::string_view::npos) {
      return false;
    }
    if (slash == std::string_view::npos) return true;
    start = slash + 1;
  }
}

bool IsDigest(std::string_view text) {
  return text.size() == 64 && std::all_of(text.begin(), text.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
         });
}

}  // namespace

std::optional<std::string> SerializeManifest(const InstallManifest& manifest) {
  if (manifest.folders.size() + manifest.files.size() > kMostManifestEntries) return std::nullopt;
  std::string out(kHeader);
  out += '\n';
  for (const std::string& folder : manifest.folders) {
    out += "folder " + EscapeField(folder) + '\n';
  }
  for (const ManifestFile& file : manifest.files) {
    out += "file " + std::to_string(file.size) + ' ' + file.sha256 + ' ' + EscapeField(file.path) + '\n';
    if (out.size() > kLargestManifest) return std::nullopt;
  }
  out += "end\n";
  if (out.size() > kLargestManifest) return std::nullopt;
  return out;
}

std::optional<InstallManifest> ParseManifest(std::string_view text) {
  if (text.size() > kLargestManifest) return std::nullopt;
  InstallManifest manifest;
  std::unordered_set<std::string> named;
  const bool whole = ForEachFramedLine(text, kHeader, [&](std::string_view line) {
    if (named.size() >= kMostManifestEntries) return false;
    const std::string_view tag = NextField(line);
    std::optional<std::size_t> size;
    std::string_view digest;
    if (tag == "file") {
      size = DecimalNumber(NextField(line));
      digest = NextField(line);
      if (!size || !IsDigest(digest)) return false;
    } else if (tag != "folder") {
      return false;
    }
    std::optional<std::string> path = UnescapeField(line);
    if (!path || !IsSafeRelative(*path) || !named.insert(*path).second) return false;
    if (size) {
      manifest.files.push_back(ManifestFile{std::move(*path), *size, std::string(digest)});
    } else {
      manifest.folders.push_back(std::move(*path));
    }
    return true;
  });
  if (!whole) return std::nullopt;
  return manifest;
}

InstallManifest MergedManifest(const InstallManifest& older, InstallManifest newer) {
  std::unordered_set<std::string> files, folders(newer.folders.begin(), newer.folders.end());
  for (const ManifestFile& file : newer.files) files.insert(file.path);
  for (const ManifestFile& file : older.files) {
    if (files.count(file.path) == 0) newer.files.push_back(file);
  }
  for (const std::string& folder : older.folders) {
    if (folders.count(folder) == 0) newer.folders.push_back(folder);
  }
  // Parents before children: a path sorts before every path it is a prefix of.
  std::sort(newer.folders.begin(), newer.folders.end());
  return newer;
}

}  // namespace rk5
