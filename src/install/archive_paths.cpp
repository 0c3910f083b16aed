#include "install/archive_paths.h"

#include <vector>

namespace rk5 {
namespace {

bool IsStoredSeparator(char c) { return c == '/' || c == '\\'; }

char Folded(char c) {
  if (c >= 'A' && c <= 'Z') return static_cast<char>(c - 'A' + 'a');
  if (c == '\\') return '/';
  return c;
}

bool IsDrivePrefix(std::string_view step) {
  if (step.size() < 2 || step[1] != ':') return false;
  char c = step[0];
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool HasControlByte(std::string_view name) {
  for (char c : name) {
    auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7f) return true;
  }
  return false;
}

// Wildcard match with one backtracking point per "*": linear in practice, never
// exponential, even for very long names.
bool WildcardMatch(std::string_view text, std::string_view mask) {
  std::size_t t = 0, m = 0;
  std::size_t star = std::string_view::npos, resume = 0;
  while (t < text.size()) {
    if (m < mask.size() && mask[m] == '*') {
      star = m++;
      resume = t;
    } else if (m < mask.size() && (mask[m] == '?' || Folded(mask[m]) == Folded(text[t]))) {
      ++m;
      ++t;
    } else if (star != std::string_view::npos) {
      m = star + 1;
      t = ++resume;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

}  // namespace

std::string NormaliseBaseDirectory(std::string_view text, char separator) {
  auto is_sep = [separator](char c) { return c == '/' || c == separator; };
  if (text.empty() || !is_sep(text.back())) return std::string(text);
  if (text.size() == 1) return std::string(text);                       // "/"
  if (text.size() >= 2 && text[text.size() - 2] == ':') return std::string(text);  // "C:\"
  return std::string(text.substr(0, text.size() - 1));
}

std::string_view StoredFilePart(std::string_view name) {
  std::size_t last = name.find_last_of("/\\");
  return last == std::string_view::npos ? name : name.substr(last + 1);
}

bool MatchesMask(std::string_view name, std::string_view mask) {
  if (StoredFilePart(name).empty()) return false;
  if (mask == "*.*" || mask == "*") return true;
  return WildcardMatch(name, mask);
}

TargetPath TargetPathFor(std::string_view base, std::string_view name, bool restore_path,
                         char separator) {
  auto refuse = [](ExtractFailure kind) { return TargetPath{{}, kind}; };
  if (name.empty()) return refuse(ExtractFailure::kFileNotCreated);
  if (IsStoredSeparator(name.front())) return refuse(ExtractFailure::kOutsideBaseFolder);
  std::vector<std::string_view> steps;
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = start;
    while (end < name.size() && !IsStoredSeparator(name[end])) ++end;
    steps.push_back(name.substr(start, end - start));
    start = end + 1;
  }
  std::string_view file = steps.back();
  if (file == "..") return refuse(ExtractFailure::kOutsideBaseFolder);
  if (file.empty() || file == ".") return refuse(ExtractFailure::kFileNotCreated);

  std::vector<std::string_view> kept;
  if (restore_path) {
    for (std::string_view step : steps) {
      if (step == "..") return refuse(ExtractFailure::kOutsideBaseFolder);
      if (step.empty() || step == ".") continue;
      kept.push_back(step);
    }
  } else {
    kept.push_back(file);
  }
  if (IsDrivePrefix(kept.front())) return refuse(ExtractFailure::kOutsideBaseFolder);
  if (HasControlByte(name)) return refuse(ExtractFailure::kFileNotCreated);

  std::string path(base);
  if (!path.empty() && path.back() != separator && path.back() != '/') path += separator;
  for (std::size_t i = 0; i < kept.size(); ++i) {
    if (i > 0) path += separator;
    path += kept[i];
  }
  return TargetPath{std::move(path), std::nullopt};
}

std::string FolderOf(std::string_view path, char separator) {
  std::size_t last = path.find_last_of(separator);
  if (separator != '/') {
    std::size_t slash = path.find_last_of('/');
    if (slash != std::string_view::npos && (last == std::string_view::npos || slash > last)) {
      last = slash;
    }
  }
  if (last == std::string_view::npos) return {};
  if (last == 0) return std::string(path.substr(0, 1));  // the root itself
  if (path[last - 1] == ':') return std::string(path.substr(0, last + 1));  // a drive root
  return std::string(path.substr(0, last));
}

}  // namespace rk5
