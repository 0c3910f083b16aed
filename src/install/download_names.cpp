#include "install/download_names.h"

#include "platform/file_tree.h"

namespace rk5 {
namespace {

bool IsLetterOrUnderscore(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

}  // namespace

std::string ArchiveFileOf(std::string_view program_folder, std::string_view section) {
  return std::string(program_folder) + std::string(section) + ".zip";
}

std::string ManifestFileOf(std::string_view program_folder, std::string_view section) {
  return std::string(program_folder) + std::string(section) + ".manifest";
}

std::string InstallBaseOf(std::string_view program_folder) {
  const char separator = platform::PathSeparator();
  std::string_view folder = program_folder;
  if (!folder.empty() && folder.back() == separator) folder.remove_suffix(1);
  std::size_t slash = folder.find_last_of(separator);
  if (slash == std::string_view::npos) return {};
  return std::string(folder.substr(0, slash + 1));
}

bool IsComponentName(std::string_view section) {
  if (section.empty() || !IsLetterOrUnderscore(section.front())) return false;
  for (char c : section) {
    if (!IsLetterOrUnderscore(c) && !(c >= '0' && c <= '9')) return false;
  }
  return true;
}

std::string ServiceNameOf(std::string_view executable_path) {
  std::string_view name = executable_path;
  const std::size_t separator = name.find_last_of(platform::PathSeparator());
  if (separator != std::string_view::npos) name.remove_prefix(separator + 1);
  return std::string(name.substr(0, name.find('.')));
}

}  // namespace rk5
