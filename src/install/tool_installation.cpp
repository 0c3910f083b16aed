#include "install/tool_installation.h"

#include "install/archive_paths.h"
#include "install/install_journal.h"
#include "platform/atomic_file.h"
#include "platform/process_info.h"
#include "platform/text.h"

namespace rk5 {
namespace {

constexpr std::string_view kStagingPrefix = ".rk5-stage.";
// A journal lists one line per file moved; no real tool comes near this.
constexpr std::size_t kLargestJournal = std::size_t{64} << 20;

std::string Join(const std::string& folder, const std::string& relative, char separator) {
  std::string path = folder;
  if (path.empty() || (path.back() != '/' && path.back() != separator)) path += separator;
  for (char c : relative) path += c == '/' ? separator : c;
  return path;
}

// Where a staging folder keeps its parts.
struct Staging {
  std::string root, fresh, aside, journal;
  Staging(const std::string& folder, char separator)
      : root(folder),
        fresh(Join(folder, "new", separator)),
        aside(Join(folder, "old", separator)),
        journal(Join(folder, "journal", separator)) {}
};

// ".rk5-stage." + section (any letter case) + "." + digits.
bool IsStagingOf(std::string_view name, std::string_view section) {
  if (name.substr(0, kStagingPrefix.size()) != kStagingPrefix) return false;
  name.remove_prefix(kStagingPrefix.size());
  if (name.size() <= section.size() + 1 || !platform::EqualsFolded(name.substr(0, section.size()), section) ||
      name[section.size()] != '.') {
    return false;
  }
  for (char c : name.substr(section.size() + 1)) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// A name an archive may not put at the top of the base folder: the staging folders' own.
bool IsReserved(const std::string& relative) {
  return relative.compare(0, kStagingPrefix.size(), kStagingPrefix) == 0;
}

InstallStatus Failed(InstallFailure failure, std::string detail) {
  return InstallStatus{failure, std::move(detail)};
}

// Every planned file has left the staging folder: the final moves all ended.
bool AllMovedIn(platform::FileTree& tree, const Staging& staging, const InstallJournal& journal,
                char separator) {
  for (const std::string& file : journal.files) {
    if (tree.Exists(Join(staging.fresh, file, separator))) return false;
  }
  return true;
}

// Undoes the final moves in reverse order: a file that was moved in goes back to the
// staging folder, a file kept aside goes back into place, folders made for the new files
// go when they are empty. Safe to repeat after an interruption at any point.
bool RollBack(const InstallPlatform& platform, const std::string& base, const Staging& staging,
              const InstallJournal& journal) {
  const char sep = platform.separator;
  bool complete = true;
  for (auto it = journal.files.rbegin(); it != journal.files.rend(); ++it) {
    const std::string target = Join(base, *it, sep);
    const std::string fresh = Join(staging.fresh, *it, sep);
    const std::string aside = Join(staging.aside, *it, sep);
    if (!platform.tree->Exists(fresh) && platform.tree->Exists(target) &&
        !platform.moves->Move(target, fresh)) {
      complete = false;
      continue;
    }
    if (platform.tree->Exists(aside) && !platform.moves->Move(aside, target)) complete = false;
  }
  for (auto it = journal.created_folders.rbegin(); it != journal.created_folders.rend(); ++it) {
    platform.moves->RemoveEmptyFolder(Join(base, *it, sep));  // kept when something else is in it
  }
  return complete;
}

}  // namespace

InstallPlatform InstallPlatform::ThisSystem() {
  InstallPlatform p;
  p.tree = platform::MakeFileTree();
  p.moves = platform::MakeFileMoves();
  p.process_id = platform::ProcessId();
  p.separator = platform::PathSeparator();
  return p;
}

InstallPlatform InstallPlatform::From(platform::Services& services) {
  InstallPlatform p;
  // Shared without owning: the bundle keeps the objects.
  p.tree = std::shared_ptr<platform::FileTree>(std::shared_ptr<void>(), services.file_tree.get());
  p.moves = std::shared_ptr<platform::FileMoves>(std::shared_ptr<void>(), services.file_moves.get());
  p.process_id = platform::ProcessId();
  p.separator = platform::PathSeparator();
  return p;
}

std::string StagingFolderName(const std::string& section, std::uint64_t process_id) {
  return std::string(kStagingPrefix) + section + "." + std::to_string(process_id);
}

ToolInstallation::ToolInstallation(InstallPlatform platform, std::string install_base,
                                   std::string section)
    : platform_(std::move(platform)),
      install_base_(std::move(install_base)),
      section_(std::move(section)) {}

ToolInstallation::~ToolInstallation() {
  if (!staging_.empty() && !keep_staging_) platform_.moves->RemoveTree(staging_);
}

InstallStatus ToolInstallation::Unpack(TArchiveExtractor& unzip, const std::string& archive_file) {
  const char sep = platform_.separator;
  // Whatever unzip held before does not bear on this archive.
  unzip.SetFileName({});
  unzip.SetBaseDirectory({});
  try {
    unzip.SetFileName(archive_file);
  } catch (const ArchiveError& e) {
    return Failed(InstallFailure::kArchiveUnreadable, e.what());
  }
  try {
    unzip.SetBaseDirectory(install_base_);
  } catch (const ArchiveError& e) {
    return Failed(InstallFailure::kBaseUnusable, e.what());
  }
  base_ = unzip.BaseDirectory();
  if (base_.empty()) return Failed(InstallFailure::kBaseUnusable, "no base folder");

  const std::string folder = Join(base_, StagingFolderName(section_, platform_.process_id), sep);
  // A folder of that name is what a killed copy with this process number left.
  if (platform_.tree->Exists(folder) && !platform_.moves->RemoveTree(folder)) {
    return Failed(InstallFailure::kBaseUnusable, folder);
  }
  staging_ = folder;
  const Staging staging(staging_, sep);
  if (!platform_.tree->CreateFolders(staging.fresh)) {
    return Failed(InstallFailure::kBaseUnusable, staging.fresh);
  }

  ExtractResult result;
  try {
    unzip.SetBaseDirectory(staging.fresh);
    result = unzip.ExtractMatching("*.*");
    unzip.SetBaseDirectory(install_base_);
  } catch (const ArchiveError& e) {
    return Failed(InstallFailure::kEntryFailed, e.what());
  }
  if (!result.Complete()) {
    const FailedEntry& first = result.failures.front();
    return Failed(InstallFailure::kEntryFailed,
                  first.name + ": " + DescribeFailure(first.kind));
  }
  // An archive without a single file installs nothing; recording it would claim a tool
  // that is not there.
  if (result.extracted == 0) return Failed(InstallFailure::kEntryFailed, "no file in the archive");
  unpacked_ = true;
  return {};
}

InstallStatus ToolInstallation::Finish(IniFile& local, const InstallRecord& record) {
  if (!unpacked_) return Failed(InstallFailure::kEntryFailed, "nothing unpacked");
  const char sep = platform_.separator;
  platform::FileTree& tree = *platform_.tree;
  platform::FileMoves& moves = *platform_.moves;
  const Staging staging(staging_, sep);

  std::optional<platform::TreeListing> listing = moves.List(staging.fresh);
  if (!listing) return Failed(InstallFailure::kEntryFailed, staging.fresh);

  // Check every place first, so that the common refusals move nothing at all.
  InstallJournal journal;
  journal.record = record;
  for (const std::string& folder : listing->folders) {
    const std::string target = Join(base_, folder, sep);
    if (IsReserved(folder)) return Failed(InstallFailure::kNotPlaceable, target);
    if (!tree.Exists(target)) {
      journal.created_folders.push_back(folder);
    } else if (!tree.FolderExists(target)) {
      return Failed(InstallFailure::kNotPlaceable, target);
    }
  }
  for (const std::string& file : listing->files) {
    if (IsReserved(file) || tree.FolderExists(Join(base_, file, sep))) {
      return Failed(InstallFailure::kNotPlaceable, Join(base_, file, sep));
    }
  }
  journal.files = std::move(listing->files);
  if (!platform::ReplaceFileAtomically(staging.journal, SerializeJournal(journal))) {
    return Failed(InstallFailure::kBaseUnusable, staging.journal);
  }

  InstallStatus status;
  for (const std::string& folder : journal.created_folders) {
    if (!tree.CreateFolders(Join(base_, folder, sep))) {
      status = Failed(InstallFailure::kMoveFailed, Join(base_, folder, sep));
      break;
    }
  }
  for (std::size_t i = 0; status && i < journal.files.size(); ++i) {
    const std::string& file = journal.files[i];
    const std::string target = Join(base_, file, sep);
    if (tree.Exists(target)) {
      const std::string aside = Join(staging.aside, file, sep);
      if (!tree.CreateFolders(FolderOf(aside, sep)) || !moves.KeepAside(target, aside)) {
        status = Failed(InstallFailure::kMoveFailed, target);
        break;
      }
    }
    if (!moves.Move(Join(staging.fresh, file, sep), target)) {
      status = Failed(InstallFailure::kMoveFailed, target);
    }
  }
  if (status) {
    IniWriteResult written = local.Commit(RecordBatch(record));
    if (written) {
      // Recorded: what was kept aside is no longer needed.
      tree.RemoveFile(staging.journal);
      return {};
    }
    status = Failed(InstallFailure::kRecordNotWritten, written.message);
  }
  if (!RollBack(platform_, base_, staging, journal)) {
    keep_staging_ = true;  // the next start tries again from the journal
    return Failed(InstallFailure::kRepairIncomplete, status.detail);
  }
  return status;
}

InstallStatus RepairInterruptedInstall(const InstallPlatform& platform,
                                       const std::string& install_base,
                                       const std::string& section, IniFile& local) {
  const char sep = platform.separator;
  const std::string base = NormaliseBaseDirectory(install_base, sep);
  InstallStatus status;
  for (const std::string& name : platform.moves->Names(base)) {
    if (!IsStagingOf(name, section)) continue;
    const Staging staging(Join(base, name, sep), sep);
    if (platform.tree->Exists(staging.journal)) {
      std::optional<std::string> text = platform::ReadWholeFile(staging.journal, kLargestJournal);
      std::optional<InstallJournal> journal = text ? ParseJournal(*text) : std::nullopt;
      if (!journal) {
        status = Failed(InstallFailure::kRepairIncomplete, staging.journal);
        continue;
      }
      // Every move ended: the installation is whole and only its record may be missing.
      const bool recorded = AllMovedIn(*platform.tree, staging, *journal, sep) &&
                            local.Commit(RecordBatch(journal->record));
      if (!recorded && !RollBack(platform, base, staging, *journal)) {
        status = Failed(InstallFailure::kRepairIncomplete, staging.root);
        continue;
      }
      platform.tree->RemoveFile(staging.journal);
    }
    if (!platform.moves->RemoveTree(staging.root) && status) {
      status = Failed(InstallFailure::kRepairIncomplete, staging.root);
    }
  }
  return status;
}

}  // namespace rk5
