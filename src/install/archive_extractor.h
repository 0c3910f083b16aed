#pragma once
// TArchiveExtractor: opens a ZIP archive, names the folder to unpack into, and unpacks
// the entries a mask takes, asking before it replaces a file and reporting progress.
//
// Every entry is written to a temporary file beside its target and moved over the target
// only when its data was read completely with a matching CRC-32, so a failed entry never
// leaves a partial file or harms an older one. Names that would leave BaseDirectory and
// link entries are refused; nothing is written for them.
//
// Entries are inflated on worker threads, a few ahead of the one being written; every
// check, handler, write and move stays on the calling thread, in the entries' order.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "install/archive_platform.h"
#include "install/archive_types.h"
#include "install/unpack_ahead.h"

namespace rk5 {

class ArchiveReader;
class InflatePool;

class TArchiveExtractor {
 public:
  TArchiveExtractor();  // writes through this system's services
  explicit TArchiveExtractor(ArchivePlatform platform);
  ~TArchiveExtractor();
  TArchiveExtractor(const TArchiveExtractor&) = delete;
  TArchiveExtractor& operator=(const TArchiveExtractor&) = delete;

  // The open archive's file name; empty while none is open.
  const std::string& FileName() const { return file_name_; }
  // Closes any open archive, then opens `name` unless it is empty. Throws ArchiveError
  // when it is no readable ZIP archive, or when BaseDirectory (set while no archive was
  // open) names no existing folder; no archive is open afterwards.
  void SetFileName(const std::string& name);

  // Normalised while an archive is open; as given otherwise.
  const std::string& BaseDirectory() const { return base_directory_; }
  // Throws ArchiveError, keeping the old value, when an archive is open and the text
  // (not empty) names no existing folder.
  void SetBaseDirectory(const std::string& folder);

  TExtractOptions ExtractOptions{eoCreateDirs};
  // Each file written gets its size and SHA-256 from the bytes on their way
  // (LastResult().digests), for whoever would otherwise read them back.
  bool DigestWrittenFiles = false;

  // After each entry, matched or not, and once more at the end with 100. Setting `abort`
  // stops unpacking; ExtractMatching then raises ArchiveAborted.
  std::function<void(TArchiveExtractor& sender, std::uint8_t progress, bool& abort)>
      OnArchiveProgress;
  // Before an existing file is replaced: `name` is the target's full path and may be
  // changed; `confirm` false keeps the old file.
  std::function<void(std::string& name, bool& confirm)> OnConfirmOverwrite;
  // When one entry could not be unpacked; unpacking goes on.
  std::function<void(TArchiveExtractor& sender, const ArchiveEntry& entry, ExtractFailure kind)>
      OnProcessItemFailure;

  // Unpacks every file entry whose stored name matches `mask` ("*.*" takes them all) and
  // returns what happened. Throws ArchiveError without an open archive, ArchiveAborted
  // when a progress handler aborts (LastResult() then tells what was done before).
  // Entries marked in `in_place` (by index, from ArrivedInPlace) are already written
  // below BaseDirectory: they get their times and attributes and count as unpacked.
  ExtractResult ExtractMatching(const std::string& mask, const std::vector<bool>& in_place = {});
  const ExtractResult& LastResult() const { return last_result_; }

  // Which entries a pass over the arriving archive already wrote below BaseDirectory
  // exactly as ExtractMatching("*.*") with both options would, by index. Every header the
  // pass read must lie at the place of a central-directory record and match it (name,
  // flags, method, sizes, CRC-32), and every rule of unpacking must hold for every entry;
  // entries the pass did not reach or did not write are left to ExtractMatching. nullopt
  // at any difference: then nothing the pass wrote may be kept.
  std::optional<std::vector<bool>> ArrivedInPlace(const std::vector<ArrivedEntry>& arrived);

 private:
  enum class Written { kWritten, kDeclined, kFailed };
  struct Slot;
  // The checks, folders, overwrite question and temporary file of one entry, its
  // inflation handed to `pool`; what went wrong is kept in the slot for its turn.
  // `settle` finishes every earlier entry first.
  Slot Prepare(const ArchiveEntry& entry, InflatePool& pool, const std::function<void()>& settle);
  // Waits for a slot's file to be written and moves it into place.
  Written Complete(Slot& slot, ExtractResult& result);
  Written Fail(const ArchiveEntry& entry, ExtractFailure kind, ExtractResult& result);
  // The path, or a folder on its way, is a file of this run not yet in place.
  bool OnTheWay(const std::string& path) const;
  void CheckBaseDirectory(const std::string& folder) const;
  void ReportProgress(std::uint8_t progress);
  // Safe on any thread: it only calls the platform services.
  void RestoreTimeAndAttributes(const std::string& file, const ArchiveEntry& entry) const;

  ArchivePlatform platform_;
  std::unique_ptr<ArchiveReader> reader_;
  std::string file_name_;
  std::string base_directory_;
  ExtractResult last_result_;
  // Target folders of this run that exist with no link between the base folder and them.
  std::unordered_set<std::string> checked_folders_;
  // Folded names of the files this run is writing and has not yet moved into place.
  std::unordered_multiset<std::string> writing_;
};

}  // namespace rk5
