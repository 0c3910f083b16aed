#include "install/tool_installation.h"

#include <algorithm>
#include <unordered_set>

#include "install/archive_digest.h"
#include "install/archive_paths.h"
#include "install/install_journal.h"
#include "install/inflate_pool.h"
#include "install/install_manifest.h"
#include "install/protected_folders.h"
#include "install/staging_folder.h"
#include "install/tool_removal.h"
#include "platform/atomic_file.h"
#include "platform/process_info.h"
#include "platform/text.h"

namespace rk5 {
namespace {

InstallStatus Failed(InstallFailure failure, std::string detail) {
  return InstallStatus{failure, std::move(detail)};
}

// The file in the target's place is the one that was staged: it was moved in.
bool MovedIn(platform::FileMoves& moves, const std::string& base, const JournalFile& file,
             char separator) {
  return moves.IdentityOf(JoinPath(base, file.path, separator)) == file.staged;
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
    const std::string target = JoinPath(base, it->path, sep);
    if (MovedIn(moves, base, *it, sep) && !moves.Move(target, JoinPath(staging.fresh, it->path, sep))) {
      complete = false;
      continue;
    }
    const std::string aside = JoinPath(staging.aside, it->path, sep);
    if (!it->replaced.empty() && moves.IdentityOf(aside) == it->replaced &&
        moves.IdentityOf(target) != it->replaced && !moves.Move(aside, target)) {
      complete = false;
    }
  }
  for (auto it = journal.folders.rbegin(); it != journal.folders.rend(); ++it) {
    if (it->made) moves.RemoveEmptyFolder(JoinPath(base, it->path, sep));  // kept when not empty
  }
  return complete;
}

// Writes the tool's manifest into the staging folder and adds it to the journal as the
// last final move, so the commit that records the tool places its manifest too, and an
// undo takes it back. An update's manifest keeps the older one's entries that the new
// archive does not replace, since those files stay. Nothing to do when the program
// folder does not lie directly inside the base folder.
InstallStatus StageManifest(const InstallPlatform& platform, const std::string& base,
                            const Staging& staging, const std::string& manifest_path,
                            const WrittenDigests& written, InstallJournal& journal) {
  if (manifest_path.empty()) return {};
  const char sep = platform.separator;
  InstallManifest manifest;
  for (const JournalFolder& folder : journal.folders) {
    if (folder.made) manifest.folders.push_back(folder.path);
  }
  // Digests computed as the files were written; any other file is read back, on every core.
  std::vector<std::optional<FileDigest>> digests(journal.files.size());
  std::vector<std::string> unknown;
  std::vector<std::size_t> unknown_at;
  for (std::size_t i = 0; i < journal.files.size(); ++i) {
    std::string staged = JoinPath(staging.fresh, journal.files[i].path, sep);
    if (const FileDigest* digest = written.Find(staged)) {
      digests[i] = *digest;
    } else {
      unknown.push_back(std::move(staged));
      unknown_at.push_back(i);
    }
  }
  std::vector<std::optional<FileDigest>> read =
      DigestsOfFiles(unknown, InflatePool::WorkersForThisMachine());
  for (std::size_t k = 0; k < read.size(); ++k) digests[unknown_at[k]] = std::move(read[k]);
  for (std::size_t i = 0; i < journal.files.size(); ++i) {
    if (!digests[i]) return Failed(InstallFailure::kEntryFailed, journal.files[i].path);
    manifest.files.push_back(ManifestFile{journal.files[i].path, digests[i]->size, std::move(digests[i]->sha256)});
  }
  const std::string target = JoinPath(base, manifest_path, sep);
  // An older manifest that cannot be read gives way to the new one.
  if (std::optional<std::string> older = platform::ReadWholeFile(target, kLargestManifest)) {
    if (std::optional<InstallManifest> parsed = ParseManifest(*older)) {
      manifest = MergedManifest(*parsed, std::move(manifest));
    }
  }
  const std::optional<std::string> text = SerializeManifest(manifest);
  if (!text) return Failed(InstallFailure::kEntryFailed, "too many files for a manifest");
  const std::string staged = JoinPath(staging.fresh, manifest_path, sep);
  if (!platform.tree->CreateFolders(FolderOf(staged, sep)) ||
      !platform::ReplaceFileAtomically(staged, *text)) {
    return Failed(InstallFailure::kBaseUnusable, staged);
  }
  const std::string program_folder = manifest_path.substr(0, manifest_path.find('/'));
  if (std::none_of(journal.folders.begin(), journal.folders.end(),
                   [&](const JournalFolder& folder) { return folder.path == program_folder; })) {
    journal.folders.push_back(JournalFolder{program_folder, false});
  }
  std::string identity = platform.moves->IdentityOf(staged);
  if (identity.empty()) return Failed(InstallFailure::kBaseUnusable, staged);
  journal.files.push_back(JournalFile{manifest_path, std::move(identity), platform.moves->IdentityOf(target)});
  return {};
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
  const std::string folder = JoinPath(base, StagingFolderName(section_, platform_.process_id), sep);
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
  std::optional<std::vector<bool>> in_place;
  try {
    unzip.SetBaseDirectory(staging.fresh);
    if (arrived) in_place = unzip.ArrivedInPlace(*arrived);
    // Nothing of the pass is kept: the staging folder starts again empty.
    if (arrived && !in_place &&
        (!platform_.moves->RemoveTree(staging.fresh) || !platform_.tree->CreateFolders(staging.fresh))) {
      return Failed(InstallFailure::kBaseUnusable, staging.fresh);
    }
    unzip.DigestWrittenFiles = true;
    result = unzip.ExtractMatching("*.*", in_place ? *in_place : std::vector<bool>{});
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
  // The pass's files are the ones the extractor took as they were, so their digests hold.
  if (in_place) {
    for (const ArrivedEntry& entry : *arrived) {
      if (entry.written && entry.digest) written_.Add(entry.path, *entry.digest);
    }
  }
  written_.Merge(std::move(result.digests));
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
    const std::string target = JoinPath(base_, folder, sep);
    if (IsReservedName(folder)) return Failed(InstallFailure::kNotPlaceable, target);
    const bool made = !tree.Exists(target);
    if (!made && (!tree.FolderExists(target) || tree.LinkBetween(FolderOf(target, sep), target))) {
      return Failed(InstallFailure::kNotPlaceable, target);
    }
    journal.folders.push_back(JournalFolder{std::move(folder), made});
  }
  journal.files.reserve(listing->files.size());
  for (std::string& file : listing->files) {
    const std::string target = JoinPath(base_, file, sep);
    if (IsReservedName(file) || tree.FolderExists(target) || others.Holds(file)) {
      return Failed(InstallFailure::kNotPlaceable, target);
    }
    std::string staged = moves.IdentityOf(JoinPath(staging.fresh, file, sep));
    if (staged.empty()) return Failed(InstallFailure::kEntryFailed, file);
    std::string replaced = moves.IdentityOf(target);
    journal.files.push_back(JournalFile{std::move(file), std::move(staged), std::move(replaced)});
  }
  const std::string manifest_path =
      ManifestPathBelow(base_, platform::FolderOfPath(local.FileName()), section_, sep);
  if (InstallStatus staged = StageManifest(platform_, base_, staging, manifest_path, written_, journal);
      !staged) {
    return staged;
  }
  const std::optional<std::string> text = SerializeJournal(journal);
  if (!text) return Failed(InstallFailure::kEntryFailed, "too many or too deep names");
  if (!platform::ReplaceFileAtomically(staging.journal, *text)) {
    return Failed(InstallFailure::kBaseUnusable, staging.journal);
  }

  InstallStatus status;
  for (const JournalFolder& folder : journal.folders) {
    // Parents first: each is one step, whatever its depth.
    if (folder.made && !tree.CreateFolders(JoinPath(base_, folder.path, sep))) {
      status = Failed(InstallFailure::kMoveFailed, JoinPath(base_, folder.path, sep));
      break;
    }
  }
  std::unordered_set<std::string> aside_folders;  // made already: each once, not once per file
  for (std::size_t i = 0; status && i < journal.files.size(); ++i) {
    const JournalFile& file = journal.files[i];
    const std::string target = JoinPath(base_, file.path, sep);
    if (!file.replaced.empty()) {
      const std::string aside = JoinPath(staging.aside, file.path, sep);
      std::string folder = FolderOf(aside, sep);
      const bool made = aside_folders.count(folder) != 0 || tree.CreateFolders(folder);
      if (!made || !moves.KeepAside(target, aside)) {
        status = Failed(InstallFailure::kMoveFailed, target);
        break;
      }
      aside_folders.insert(std::move(folder));
    }
    if (!moves.Move(JoinPath(staging.fresh, file.path, sep), target)) {
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
  const std::string manifest_path =
      ManifestPathBelow(base, platform::FolderOfPath(local.FileName()), section, sep);
  InstallStatus status;
  for (const std::string& name : platform.moves->Names(base)) {
    if (!IsStagingOf(name, kStagingPrefix, section)) continue;
    const Staging staging(JoinPath(base, name, sep), sep);
    if (platform.tree->Exists(staging.journal)) {
      std::optional<InstallJournal> journal = ReadJournal(staging);
      // A journal for another section, or one that reaches into the program's folder or
      // another tool's, could only have been put there by hand.
      // The tool's own manifest is the one file of the program's folder it may name.
      if (!journal || !platform::EqualsFolded(journal->record.section, section) ||
          journal->phase == JournalPhase::kMovingOut ||
          std::any_of(journal->files.begin(), journal->files.end(), [&](const JournalFile& file) {
            return others.Holds(file.path) && file.path != manifest_path;
          })) {
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
  // Removals of the tool that a killed copy left are put right in the same step.
  if (InstallStatus removals = RepairInterruptedRemoval(platform, install_base, section, local); !removals && status) {
    status = removals;
  }
  return status;
}

}  // namespace rk5
