#include "install/tool_installation.h"

#include <algorithm>

#include "install/archive_paths.h"
#include "install/install_journal.h"
#include "install/protected_folders.h"
#include "platform/atomic_file.h"
#include "platform/process_info.h"
#include "platform/text.h"

namespace rk5 {
namespace {

constexpr std::string_view kStagingPrefix = ".rk5-stage.";

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

// The file in the target's place is the one that was staged: it was moved in.
bool MovedIn(platform::FileMoves& moves, const std::string& base, const JournalFile& file,
             char separator) {
  return moves.IdentityOf(Join(base, file.path, separator)) == file.staged;
}

// Undoes the final moves in reverse order: a file that provably was moved in goes back to
// the staging folder, and the file it replaced, provably the one kept aside, goes back
// into place; folders made for the new files go when they are empty. Nothing else is
// touched, so a repeat after an interruption at any point, or a journal that lies, harms
// nothing.
bool RollBack(const InstallPlatform& platform, const std::string& base, const Staging& staging,
              const InstallJournal& journal) {
  const char sep = platform.separator;
  platform::FileMoves& moves = *platform.moves;
  bool complete = true;
  for (auto it = journal.files.rbegin(); it != journal.files.rend(); ++it) {
    const std::string target = Join(base, it->path, sep);
    if (MovedIn(moves, base, *it, sep) && !moves.Move(target, Join(staging.fresh, it->path, sep))) {
      complete = false;
      continue;
    }
    const std::string aside = Join(staging.aside, it->path, sep);
    if (!it->replaced.empty() && moves.IdentityOf(aside) == it->replaced &&
        moves.IdentityOf(target) != it->replaced && !moves.Move(aside, target)) {
      complete = false;
    }
  }
  for (auto it = journal.folders.rbegin(); it != journal.folders.rend(); ++it) {
    if (it->made) moves.RemoveEmptyFolder(Join(base, it->path, sep));  // kept when not empty
  }
  return complete;
}

// Records the transaction's outcome in its journal before acting on it, so that a kill
// during the undoing cannot be read as an installation whose record is only missing. A
// journal that cannot be rewritten keeps its phase, and the repair decides as before.
void WritePhase(const Staging& staging, InstallJournal& journal, JournalPhase phase) {
  journal.phase = phase;
  if (std::optional<std::string> text = SerializeJournal(journal)) {
    platform::ReplaceFileAtomically(staging.journal, *text);
  }
}

// The first step of every clean-up: while a journal says files are moving in, a staged
// file that is gone would read as one moved into place, so the journal goes before
// anything staged may be removed.
bool Retire(const InstallPlatform& platform, const Staging& staging) {
  return platform.tree->RemoveFile(staging.journal) || !platform.tree->Exists(staging.journal);
}

// Undoes the moves under a journal that says so, then retires it.
bool Undo(const InstallPlatform& platform, const std::string& base, const Staging& staging,
          InstallJournal& journal) {
  if (journal.phase != JournalPhase::kRolledBack) WritePhase(staging, journal, JournalPhase::kRolledBack);
  return RollBack(platform, base, staging, journal) && Retire(platform, staging);
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

InstallStatus ToolInstallation::Begin() {
  if (!staging_.empty()) return {};
  const char sep = platform_.separator;
  const std::string base = NormaliseBaseDirectory(install_base_, sep);
  if (base.empty() || !platform_.tree->FolderExists(base)) {
    return Failed(InstallFailure::kBaseUnusable, "no base folder");
  }
  const std::string folder = Join(base, StagingFolderName(section_, platform_.process_id), sep);
  // A folder of that name is what a killed copy with this process number left; one whose
  // journal the repair could not settle stays for the next try.
  if (platform_.tree->Exists(folder) &&
      (platform_.tree->Exists(Staging(folder, sep).journal) || !platform_.moves->RemoveTree(folder))) {
    return Failed(InstallFailure::kBaseUnusable, folder);
  }
  staging_ = folder;
  const Staging staging(staging_, sep);
  if (!platform_.tree->CreateFolders(staging.fresh)) {
    return Failed(InstallFailure::kBaseUnusable, staging.fresh);
  }
  return {};
}

std::string ToolInstallation::UnpackFolder() const {
  return staging_.empty() ? std::string() : Staging(staging_, platform_.separator).fresh;
}

InstallStatus ToolInstallation::Unpack(TArchiveExtractor& unzip, const std::string& archive_file,
                                       const std::vector<ArrivedEntry>* arrived) {
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
  if (InstallStatus begun = Begin(); !begun) return begun;
  const Staging staging(staging_, sep);

  ExtractResult result;
  try {
    unzip.SetBaseDirectory(staging.fresh);
    std::optional<ExtractResult> taken = arrived ? unzip.TakeArrived(*arrived) : std::nullopt;
    if (taken) {
      result = std::move(*taken);
    } else {
      // Nothing of the pass is kept: the staging folder starts again empty.
      if (arrived && (!platform_.moves->RemoveTree(staging.fresh) ||
                      !platform_.tree->CreateFolders(staging.fresh))) {
        return Failed(InstallFailure::kBaseUnusable, staging.fresh);
      }
      result = unzip.ExtractMatching("*.*");
    }
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

  // Check every place first, so that the refusals move nothing at all. Folders come
  // parents first, so each is checked once, for a link in its own place only.
  const ProtectedFolders others(base_, section_, platform::FolderOfPath(local.FileName()),
                                *local.Snapshot(), sep);
  InstallJournal journal;
  journal.record = record;
  journal.folders.reserve(listing->folders.size());
  for (std::string& folder : listing->folders) {
    const std::string target = Join(base_, folder, sep);
    if (IsReserved(folder)) return Failed(InstallFailure::kNotPlaceable, target);
    const bool made = !tree.Exists(target);
    if (!made && (!tree.FolderExists(target) || tree.LinkBetween(FolderOf(target, sep), target))) {
      return Failed(InstallFailure::kNotPlaceable, target);
    }
    journal.folders.push_back(JournalFolder{std::move(folder), made});
  }
  journal.files.reserve(listing->files.size());
  for (std::string& file : listing->files) {
    const std::string target = Join(base_, file, sep);
    if (IsReserved(file) || tree.FolderExists(target) || others.Holds(file)) {
      return Failed(InstallFailure::kNotPlaceable, target);
    }
    std::string staged = moves.IdentityOf(Join(staging.fresh, file, sep));
    if (staged.empty()) return Failed(InstallFailure::kEntryFailed, file);
    std::string replaced = moves.IdentityOf(target);
    journal.files.push_back(JournalFile{std::move(file), std::move(staged), std::move(replaced)});
  }
  const std::optional<std::string> text = SerializeJournal(journal);
  if (!text) return Failed(InstallFailure::kEntryFailed, "too many or too deep names");
  if (!platform::ReplaceFileAtomically(staging.journal, *text)) {
    return Failed(InstallFailure::kBaseUnusable, staging.journal);
  }

  InstallStatus status;
  for (const JournalFolder& folder : journal.folders) {
    // Parents first: each is one step, whatever its depth.
    if (folder.made && !tree.CreateFolders(Join(base_, folder.path, sep))) {
      status = Failed(InstallFailure::kMoveFailed, Join(base_, folder.path, sep));
      break;
    }
  }
  for (std::size_t i = 0; status && i < journal.files.size(); ++i) {
    const JournalFile& file = journal.files[i];
    const std::string target = Join(base_, file.path, sep);
    if (!file.replaced.empty()) {
      const std::string aside = Join(staging.aside, file.path, sep);
      if (!tree.CreateFolders(FolderOf(aside, sep)) || !moves.KeepAside(target, aside)) {
        status = Failed(InstallFailure::kMoveFailed, target);
        break;
      }
    }
    if (!moves.Move(Join(staging.fresh, file.path, sep), target)) {
      status = Failed(InstallFailure::kMoveFailed, target);
    }
  }
  if (status) {
    IniWriteResult written = local.Commit(RecordBatch(record));
    if (written) {
      // Recorded: what was kept aside is no longer needed.
      WritePhase(staging, journal, JournalPhase::kCommitted);
      keep_staging_ = !Retire(platform_, staging);
      return {};
    }
    status = Failed(InstallFailure::kRecordNotWritten, written.message);
  }
  if (!Undo(platform_, base_, staging, journal)) {
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
  const ProtectedFolders others(base, section, platform::FolderOfPath(local.FileName()),
                                *local.Snapshot(), sep);
  InstallStatus status;
  for (const std::string& name : platform.moves->Names(base)) {
    if (!IsStagingOf(name, section)) continue;
    const Staging staging(Join(base, name, sep), sep);
    if (platform.tree->Exists(staging.journal)) {
      std::optional<std::string> text = platform::ReadWholeFile(staging.journal, kLargestJournal);
      std::optional<InstallJournal> journal = text ? ParseJournal(*text) : std::nullopt;
      // A journal for another section, or one that reaches into the program's folder or
      // another tool's, could only have been put there by hand.
      if (!journal || !platform::EqualsFolded(journal->record.section, section) ||
          std::any_of(journal->files.begin(), journal->files.end(),
                      [&others](const JournalFile& file) { return others.Holds(file.path); })) {
        status = Failed(InstallFailure::kRepairIncomplete, staging.journal);
        continue;
      }
      // Moving in, with every file in place: the installation is whole and only its
      // record may be missing. Moving in otherwise, or rolled back: undone.
      bool all_in = journal->phase == JournalPhase::kMovingIn && !journal->files.empty();
      for (std::size_t i = 0; all_in && i < journal->files.size(); ++i) {
        all_in = MovedIn(*platform.moves, base, journal->files[i], sep);
      }
      bool settled = false;
      if (journal->phase == JournalPhase::kCommitted) {
        settled = Retire(platform, staging);
      } else if (all_in && local.Commit(RecordBatch(journal->record))) {
        WritePhase(staging, *journal, JournalPhase::kCommitted);
        settled = Retire(platform, staging);
      } else {
        settled = Undo(platform, base, staging, *journal);
      }
      if (!settled) {
        status = Failed(InstallFailure::kRepairIncomplete, staging.root);
        continue;
      }
    }
    if (!platform.moves->RemoveTree(staging.root) && status) {
      status = Failed(InstallFailure::kRepairIncomplete, staging.root);
    }
  }
  return status;
}

}  // namespace rk5
