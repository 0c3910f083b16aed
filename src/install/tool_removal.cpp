#include "install/tool_removal.h"

#include <algorithm>
#include <set>
#include <unordered_set>

#include "install/archive_digest.h"
#include "install/archive_paths.h"
#include "install/install_journal.h"
#include "install/install_manifest.h"
#include "install/install_record.h"
#include "install/protected_folders.h"
#include "install/staging_folder.h"
#include "platform/atomic_file.h"
#include "platform/text.h"

namespace rk5 {
namespace {

RemovalOutcome Refused(RemovalFailure failure, std::string detail) {
  return RemovalOutcome{failure, std::move(detail)};
}

// Every folder above path ("a/b/c" gives "a" and "a/b").
void AddParents(const std::string& path, std::set<std::string>& folders) {
  for (std::size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', slash + 1)) {
    folders.insert(path.substr(0, slash));
  }
}

// A name the removal may act on: below the base folder, in no staging folder, not in the
// program's folder nor another tool's (the tool's own manifest aside).
bool MayTouch(const ProtectedFolders& others, const std::string& path, const std::string& manifest) {
  return !IsReservedName(path.substr(0, path.find('/'))) && (path == manifest || !others.Holds(path));
}

// The journal's files and folders stay within what the removal may touch.
bool JournalStaysInside(const InstallJournal& journal, const ProtectedFolders& others,
                        const std::string& manifest) {
  return std::all_of(journal.files.begin(), journal.files.end(),
                     [&](const JournalFile& file) { return MayTouch(others, file.path, manifest); }) &&
         std::all_of(journal.folders.begin(), journal.folders.end(), [&](const JournalFolder& folder) {
           return !folder.made || MayTouch(others, folder.path + "/-", manifest);
         });
}

// Puts back every file that provably was moved out and whose place is free. Only a move
// that fails leaves the journal for another try.
bool Undo(const InstallPlatform& platform, const std::string& base, const Staging& staging,
          InstallJournal& journal) {
  if (journal.phase != JournalPhase::kRolledBack) WritePhase(staging, journal, JournalPhase::kRolledBack);
  const char sep = platform.separator;
  bool complete = true;
  for (auto it = journal.files.rbegin(); it != journal.files.rend(); ++it) {
    const std::string aside = JoinPath(staging.aside, it->path, sep);
    const std::string target = JoinPath(base, it->path, sep);
    if (platform.moves->IdentityOf(aside) == it->staged && !platform.tree->Exists(target) &&
        !platform.moves->Move(aside, target)) {
      complete = false;
    }
  }
  return complete && Retire(platform, staging);
}

// After the record is cleared: the folders the installs made go where nothing is left in
// them (deepest first), then the journal, then the staging folder with the files.
bool Complete(const InstallPlatform& platform, const std::string& base, const Staging& staging,
              const InstallJournal& journal) {
  for (auto it = journal.folders.rbegin(); it != journal.folders.rend(); ++it) {
    if (it->made) platform.moves->RemoveEmptyFolder(JoinPath(base, it->path, platform.separator));
  }
  return Retire(platform, staging) && platform.moves->RemoveTree(staging.root);
}

}  // namespace

namespace {

// The tool's manifest, read and checked: one that names anything outside this tool's own
// files was not written by an install, and nothing at all is removed for it.
RemovalOutcome ReadManifest(const InstallPlatform& platform, const std::string& base,
                            const std::string& section, IniFile& local,
                            std::optional<InstallManifest>& manifest) {
  const char sep = platform.separator;
  const std::string program_folder = platform::FolderOfPath(local.FileName());
  const std::string manifest_path = ManifestPathBelow(base, program_folder, section, sep);
  const std::string manifest_file = JoinPath(base, manifest_path, sep);
  if (manifest_path.empty() || !platform.tree->Exists(manifest_file)) {
    return Refused(RemovalFailure::kNoManifest, manifest_file);
  }
  const std::optional<std::string> text = platform::ReadWholeFile(manifest_file, kLargestManifest);
  manifest = text ? ParseManifest(*text) : std::nullopt;
  if (!manifest) return Refused(RemovalFailure::kManifestDamaged, manifest_file);
  const ProtectedFolders others(base, section, program_folder, *local.Snapshot(), sep);
  for (const ManifestFile& file : manifest->files) {
    if (!MayTouch(others, file.path, {})) return Refused(RemovalFailure::kManifestDamaged, file.path);
  }
  for (const std::string& folder : manifest->folders) {
    if (!MayTouch(others, folder + "/-", {})) return Refused(RemovalFailure::kManifestDamaged, folder);
  }
  return {};
}

}  // namespace

RemovalOutcome CheckRemovable(const InstallPlatform& platform, const std::string& install_base,
                              const std::string& section, IniFile& local) {
  std::optional<InstallManifest> manifest;
  return ReadManifest(platform, NormaliseBaseDirectory(install_base, platform.separator), section,
                      local, manifest);
}

RemovalOutcome RemoveTool(const InstallPlatform& platform, const std::string& install_base,
                          const std::string& section, IniFile& local) {
  const char sep = platform.separator;
  platform::FileTree& tree = *platform.tree;
  platform::FileMoves& moves = *platform.moves;
  const std::string base = NormaliseBaseDirectory(install_base, sep);
  const std::string program_folder = platform::FolderOfPath(local.FileName());
  const std::string manifest_path = ManifestPathBelow(base, program_folder, section, sep);
  const std::string manifest_file = JoinPath(base, manifest_path, sep);
  std::optional<InstallManifest> manifest;
  if (RemovalOutcome refused = ReadManifest(platform, base, section, local, manifest);
      refused.failure != RemovalFailure::kNone) {
    return refused;
  }

  // What goes: each listed file still as installed, reached through no link.
  InstallJournal journal;
  journal.phase = JournalPhase::kMovingOut;
  journal.record.section = section;
  std::unordered_set<std::string> removed, kept;
  for (const ManifestFile& file : manifest->files) {
    const std::string target = JoinPath(base, file.path, sep);
    if (!tree.Exists(target)) continue;
    std::optional<FileDigest> digest;
    if (!tree.FolderExists(target) && !tree.LinkBetween(base, target)) digest = DigestOfFile(target);
    std::string identity = moves.IdentityOf(target);
    if (!digest || digest->size != file.size || digest->sha256 != file.sha256 || identity.empty()) {
      kept.insert(file.path);
      continue;
    }
    removed.insert(file.path);
    journal.files.push_back(JournalFile{file.path, std::move(identity), {}});
  }
  std::string manifest_identity = moves.IdentityOf(manifest_file);
  if (manifest_identity.empty()) return Refused(RemovalFailure::kManifestDamaged, manifest_file);
  journal.files.push_back(JournalFile{manifest_path, std::move(manifest_identity), {}});

  // Every folder on the way, parents first (a path sorts before the paths it begins);
  // only those the installs made are removed, and only when empty.
  const std::unordered_set<std::string> made(manifest->folders.begin(), manifest->folders.end());
  std::set<std::string> folders(made.begin(), made.end());
  for (const std::string& folder : made) AddParents(folder, folders);
  for (const JournalFile& file : journal.files) AddParents(file.path, folders);
  for (const std::string& folder : folders) journal.folders.push_back(JournalFolder{folder, made.count(folder) != 0});

  // What stays in the made folders is counted for the user: files changed since the
  // install and files the install never placed. A folder reached through a link is not
  // walked.
  for (const std::string& folder : made) {
    const std::string parent = FolderOf(folder, '/');
    if (!parent.empty() && made.count(parent) != 0) continue;  // walked with its parent
    const std::string path = JoinPath(base, folder, sep);
    if (!tree.FolderExists(path) || tree.LinkBetween(base, path)) continue;
    if (std::optional<platform::TreeListing> listing = moves.List(path)) {
      for (const std::string& file : listing->files) {
        const std::string relative = folder + "/" + file;
        if (removed.count(relative) == 0) kept.insert(relative);
      }
    }
  }

  const std::optional<std::string> journal_text = SerializeJournal(journal);
  if (!journal_text) return Refused(RemovalFailure::kManifestDamaged, "too many or too deep names");
  const Staging staging(
      JoinPath(base, std::string(kRemovalPrefix) + section + "." + std::to_string(platform.process_id), sep), sep);
  // A folder of that name without a journal is what a killed copy left before its first
  // move; one with a journal waits for the repair.
  if (tree.Exists(staging.root) && (tree.Exists(staging.journal) || !moves.RemoveTree(staging.root))) {
    return Refused(RemovalFailure::kBaseUnusable, staging.root);
  }
  if (!tree.CreateFolders(staging.aside) || !platform::ReplaceFileAtomically(staging.journal, *journal_text)) {
    moves.RemoveTree(staging.root);
    return Refused(RemovalFailure::kBaseUnusable, staging.root);
  }

  RemovalOutcome outcome;
  for (const JournalFile& file : journal.files) {
    const std::string aside = JoinPath(staging.aside, file.path, sep);
    if (!tree.CreateFolders(FolderOf(aside, sep)) || !moves.Move(JoinPath(base, file.path, sep), aside)) {
      outcome = Refused(RemovalFailure::kMoveFailed, file.path);
      break;
    }
  }
  if (outcome) {
    IniWriteResult written = local.Commit(ClearedRecordBatch(section));
    if (written) {
      WritePhase(staging, journal, JournalPhase::kCommitted);
      Complete(platform, base, staging, journal);  // what is left, the next repair removes
      outcome.removed = removed.size();
      outcome.kept = kept.size();
      return outcome;
    }
    outcome = Refused(RemovalFailure::kRecordNotWritten, written.message);
  }
  if (!Undo(platform, base, staging, journal)) {
    return Refused(RemovalFailure::kRepairIncomplete, outcome.detail);
  }
  moves.RemoveTree(staging.root);
  return outcome;
}

InstallStatus RepairInterruptedRemoval(const InstallPlatform& platform,
                                       const std::string& install_base,
                                       const std::string& section, IniFile& local) {
  const char sep = platform.separator;
  const std::string base = NormaliseBaseDirectory(install_base, sep);
  const std::string program_folder = platform::FolderOfPath(local.FileName());
  const std::string manifest_path = ManifestPathBelow(base, program_folder, section, sep);
  const ProtectedFolders others(base, section, program_folder, *local.Snapshot(), sep);
  InstallStatus status;
  for (const std::string& name : platform.moves->Names(base)) {
    if (!IsStagingOf(name, kRemovalPrefix, section)) continue;
    const Staging staging(JoinPath(base, name, sep), sep);
    if (platform.tree->Exists(staging.journal)) {
      std::optional<InstallJournal> journal = ReadJournal(staging);
      // One for another section, of an install, or reaching beyond the tool's own files
      // could only have been put there by hand.
      if (!journal || !platform::EqualsFolded(journal->record.section, section) ||
          journal->phase == JournalPhase::kMovingIn || !JournalStaysInside(*journal, others, manifest_path)) {
        status = InstallStatus{InstallFailure::kRepairIncomplete, staging.journal};
        continue;
      }
      // Moving out with every file out: only the record may still be there.
      bool all_out = journal->phase == JournalPhase::kMovingOut;
      for (std::size_t i = 0; all_out && i < journal->files.size(); ++i) {
        all_out = platform.moves->IdentityOf(JoinPath(staging.aside, journal->files[i].path, sep)) ==
                  journal->files[i].staged;
      }
      bool settled = false;
      if (journal->phase == JournalPhase::kCommitted) {
        settled = Complete(platform, base, staging, *journal);
      } else if (all_out && local.Commit(ClearedRecordBatch(journal->record.section))) {
        WritePhase(staging, *journal, JournalPhase::kCommitted);
        settled = Complete(platform, base, staging, *journal);
      } else {
        settled = Undo(platform, base, staging, *journal);
      }
      if (!settled) {
        status = InstallStatus{InstallFailure::kRepairIncomplete, staging.root};
        continue;
      }
    }
    if (!platform.moves->RemoveTree(staging.root) && status) {
      status = InstallStatus{InstallFailure::kRepairIncomplete, staging.root};
    }
  }
  return status;
}

}  // namespace rk5
