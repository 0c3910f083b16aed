#include "install/staging_folder.h"

#include "install/download_names.h"
#include "platform/atomic_file.h"
#include "platform/text.h"

namespace rk5 {

std::string JoinPath(const std::string& folder, const std::string& relative, char separator) {
  std::string path = folder;
  if (path.empty() || (path.back() != '/' && path.back() != separator)) path += separator;
  for (char c : relative) path += c == '/' ? separator : c;
  return path;
}

Staging::Staging(const std::string& folder, char separator)
    : root(folder),
      fresh(JoinPath(folder, "new", separator)),
      aside(JoinPath(folder, "old", separator)),
      journal(JoinPath(folder, "journal", separator)) {}

bool IsStagingOf(std::string_view name, std::string_view prefix, std::string_view section) {
  if (name.substr(0, prefix.size()) != prefix) return false;
  name.remove_prefix(prefix.size());
  if (name.size() <= section.size() + 1 ||
      !platform::EqualsFolded(name.substr(0, section.size()), section) ||
      name[section.size()] != '.') {
    return false;
  }
  for (char c : name.substr(section.size() + 1)) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

bool IsReservedName(std::string_view relative) {
  return relative.substr(0, kStagingPrefix.size()) == kStagingPrefix ||
         relative.substr(0, kRemovalPrefix.size()) == kRemovalPrefix;
}

void WritePhase(const Staging& staging, InstallJournal& journal, JournalPhase phase) {
  journal.phase = phase;
  if (std::optional<std::string> text = SerializeJournal(journal)) {
    platform::ReplaceFileAtomically(staging.journal, *text);
  }
}

std::optional<InstallJournal> ReadJournal(const Staging& staging) {
  std::optional<std::string> text = platform::ReadWholeFile(staging.journal, kLargestJournal);
  return text ? ParseJournal(*text) : std::nullopt;
}

bool Retire(const InstallPlatform& platform, const Staging& staging) {
  return platform.tree->RemoveFile(staging.journal) || !platform.tree->Exists(staging.journal);
}

std::string ManifestPathBelow(const std::string& base, const std::string& program_folder,
                              const std::string& section, char separator) {
  const std::string inside = JoinPath(base, "", separator);
  const std::string file = ManifestFileOf(program_folder, section);
  if (base.empty() || file.compare(0, inside.size(), inside) != 0) return {};
  std::string relative = file.substr(inside.size());
  const std::size_t step = relative.find_first_of(std::string{'/', separator});
  // One folder, then the file's own name.
  if (step == std::string::npos || step == 0 ||
      relative.find_first_of(std::string{'/', separator}, step + 1) != std::string::npos) {
    return {};
  }
  relative[step] = '/';
  return relative;
}

}  // namespace rk5
