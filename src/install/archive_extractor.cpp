#include "install/archive_extractor.h"

#include <algorithm>
#include <deque>
#include <limits>
#include <unordered_map>

#include "install/archive_attributes.h"
#include "install/archive_layout.h"
#include "install/archive_paths.h"
#include "install/archive_reader.h"
#include "install/inflate_pool.h"
#include "platform/text.h"

namespace rk5 {
namespace {

constexpr std::size_t kBlockSize = 256 * 1024;
// Entries under way per worker. Each holds an open temporary file but no data; with fewer,
// a large entry in front left the other workers idle once they had done the few behind it.
constexpr std::size_t kAheadPerWorker = 32;

std::uint8_t Percentage(std::uint64_t k, std::uint64_t n) {
  if (k >= n) return 100;
  if (k <= std::numeric_limits<std::uint64_t>::max() / 100) {
    return static_cast<std::uint8_t>(k * 100 / n);
  }
  return static_cast<std::uint8_t>(k / (n / 100));
}

std::uint64_t SaturatingAdd(std::uint64_t a, std::uint64_t b) {
  return b > std::numeric_limits<std::uint64_t>::max() - a
             ? std::numeric_limits<std::uint64_t>::max()
             : a + b;
}

ExtractFailure FailureOf(ArchiveReader::ReadOutcome outcome) {
  switch (outcome) {
    case ArchiveReader::ReadOutcome::kChecksumMismatch:
      return ExtractFailure::kChecksumMismatch;
    case ArchiveReader::ReadOutcome::kEncrypted:
      return ExtractFailure::kEncrypted;
    case ArchiveReader::ReadOutcome::kTooLarge:
      return ExtractFailure::kTooLarge;
    case ArchiveReader::ReadOutcome::kSinkFailed:
      return ExtractFailure::kFileNotCreated;
    case ArchiveReader::ReadOutcome::kComplete:
    case ArchiveReader::ReadOutcome::kDamaged:
      break;
  }
  return ExtractFailure::kDataDamaged;
}

}  // namespace

TArchiveExtractor::TArchiveExtractor() : TArchiveExtractor(ArchivePlatform::ThisSystem()) {}

TArchiveExtractor::TArchiveExtractor(ArchivePlatform platform)
    : platform_(std::move(platform)) {}

TArchiveExtractor::~TArchiveExtractor() = default;

void TArchiveExtractor::SetFileName(const std::string& name) {
  reader_.reset();
  file_name_.clear();
  if (name.empty()) return;
  auto reader = std::make_unique<ArchiveReader>(name);
  std::string base = NormaliseBaseDirectory(base_directory_, platform_.separator);
  CheckBaseDirectory(base);
  base_directory_ = std::move(base);
  reader_ = std::move(reader);
  file_name_ = name;
}

void TArchiveExtractor::SetBaseDirectory(const std::string& folder) {
  if (!reader_) {
    base_directory_ = folder;
    return;
  }
  std::string base = NormaliseBaseDirectory(folder, platform_.separator);
  CheckBaseDirectory(base);
  base_directory_ = std::move(base);
}

void TArchiveExtractor::CheckBaseDirectory(const std::string& folder) const {
  if (!folder.empty() && !platform_.tree->FolderExists(folder)) {
    throw ArchiveError("The folder " + folder + " does not exist");
  }
}

void TArchiveExtractor::ReportProgress(std::uint8_t progress) {
  if (!OnArchiveProgress) return;
  bool abort = false;
  OnArchiveProgress(*this, progress, abort);
  if (abort) throw ArchiveAborted();
}

struct TArchiveExtractor::Slot {
  std::uint64_t index = 0;
  bool matched = false;
  ArchiveEntry entry;
  std::optional<ExtractFailure> failure;  // known before any data was read
  bool declined = false;
  std::string writing;  // the target's folded name while its file is on the way
  bool in_place = false;  // written by the pass over the arriving archive
  std::unique_ptr<platform::StagedFile> staged;
  // With DigestWrittenFiles: computed on a worker, the outcome once the file was closed.
  struct Digest {
    DigestOnTheWay on_the_way;
    std::optional<FileDigest> outcome;
  };
  std::unique_ptr<Digest> digest;
  std::shared_ptr<InflateJob> job;
};

ExtractResult TArchiveExtractor::ExtractMatching(const std::string& mask,
                                                const std::vector<bool>& in_place) {
  if (!reader_) throw ArchiveError("No archive is open");
  last_result_ = ExtractResult{};
  checked_folders_.clear();
  writing_.clear();
  ExtractResult& result = last_result_;
  const std::uint64_t n = reader_->Count();
  result.entries = n;

  // Entries whose bytes in the archive are another's too are damaged; when the directory
  // cannot be walked for that, none is trusted.
  const std::optional<std::vector<bool>> overlapping = OverlappingEntries(file_name_, n);
  const auto shared = [&](std::uint64_t i) { return !overlapping || (*overlapping)[i]; };
  const auto already = [&](std::uint64_t i) { return i < in_place.size() && in_place[i]; };

  // Refuse the whole run up front when the declared sizes would not fit the disk with a
  // margin to spare, rather than filling it and failing half-way.
  std::uint64_t declared = 0;
  for (std::uint64_t i = 0; i < n; ++i) {
    std::optional<ArchiveEntry> entry = reader_->Entry(i);
    if (entry && !shared(i) && !already(i) && MatchesMask(entry->name, mask)) {
      declared = SaturatingAdd(declared, entry->size);
    }
  }
  const std::string where = base_directory_.empty() ? "." : base_directory_;
  const std::optional<std::uint64_t> room = platform_.space->AvailableBytes(where);
  const std::uint64_t margin = FreeSpaceMargin(*platform_.space, where);
  const bool no_room = room && SaturatingAdd(declared, margin) > *room;

  // Declared before the pool, so that on an abort the workers stop writing before the
  // temporaries they write go.
  std::deque<Slot> slots;
  InflatePool pool(file_name_, InflatePool::WorkersForThisMachine(), kBlockSize);
  const auto finish_front = [&] {
    Slot& slot = slots.front();
    if (slot.matched) {
      ++result.matched;
      Written written = Complete(slot, result);
      if (written == Written::kWritten) ++result.extracted;
      if (written == Written::kDeclined) ++result.declined;
    }
    if (!slot.writing.empty()) writing_.erase(writing_.find(slot.writing));
    const std::uint64_t i = slot.index;
    slots.pop_front();
    ReportProgress(Percentage(i + 1, n));
  };
  const std::function<void()> settle = [&] {
    while (!slots.empty()) finish_front();
  };
  const std::size_t ahead = kAheadPerWorker * InflatePool::WorkersForThisMachine();

  for (std::uint64_t i = 0; i < n; ++i) {
    std::optional<ArchiveEntry> entry = reader_->Entry(i);
    Slot slot;
    slot.index = i;
    if (!entry) {
      slot.matched = true;
      slot.entry.index = i;
      slot.failure = ExtractFailure::kDataDamaged;
    } else if (MatchesMask(entry->name, mask)) {
      slot.matched = true;
      if (already(i)) {
        slot.entry = std::move(*entry);
        slot.in_place = true;
      } else if (shared(i) || no_room) {
        slot.entry = std::move(*entry);
        slot.failure = shared(i) ? ExtractFailure::kDataDamaged : ExtractFailure::kTooLarge;
      } else {
        slot = Prepare(*entry, pool, settle);
        slot.index = i;
      }
    }
    slots.push_back(std::move(slot));
    while (!slots.empty() && (slots.size() > ahead || !slots.front().job)) finish_front();
  }
  settle();
  ReportProgress(100);
  return result;
}

TArchiveExtractor::Written TArchiveExtractor::Fail(const ArchiveEntry& entry,
                                                   ExtractFailure kind, ExtractResult& result) {
  result.failures.push_back(FailedEntry{entry.index, entry.name, kind});
  if (OnProcessItemFailure) OnProcessItemFailure(*this, entry, kind);
  return Written::kFailed;
}

bool TArchiveExtractor::OnTheWay(const std::string& path) const {
  if (writing_.empty()) return false;
  for (std::string p = path; p.size() > base_directory_.size(); p = FolderOf(p, platform_.separator)) {
    if (writing_.count(platform::FoldCase(p)) != 0) return true;
  }
  return false;
}

TArchiveExtractor::Slot TArchiveExtractor::Prepare(const ArchiveEntry& entry, InflatePool& pool,
                                                   const std::function<void()>& settle) {
  Slot slot;
  slot.matched = true;
  slot.entry = entry;
  const char sep = platform_.separator;
  TargetPath target = TargetPathFor(base_directory_, entry.name,
                                    ExtractOptions.Has(eoRestorePath), sep);
  if (target.refused) {
    slot.failure = *target.refused;
    return slot;
  }
  if (IsLinkEntry(entry.host_system, entry.attributes)) {
    slot.failure = ExtractFailure::kLinkEntry;
    return slot;
  }
  if (entry.encrypted) {
    slot.failure = ExtractFailure::kEncrypted;
    return slot;
  }
  // An earlier entry whose file is not in place yet would change what this one finds
  // (the same name twice, a file where this one needs a folder): those go first.
  if (OnTheWay(target.path)) settle();

  platform::FileTree& tree = *platform_.tree;
  const std::string folder = FolderOf(target.path, sep);
  if (!folder.empty() && checked_folders_.count(folder) == 0) {
    // Only the steps below the deepest folder already checked are looked at, so a run
    // costs what its names hold, however deep they go.
    std::string known = base_directory_;
    std::vector<std::string> unchecked{folder};
    for (std::string up = FolderOf(folder, sep); up.size() > base_directory_.size();
         up = FolderOf(up, sep)) {
      if (checked_folders_.count(up) != 0) {
        known = std::move(up);
        break;
      }
      unchecked.push_back(up);
    }
    // A link below the base folder would take the file (and the folders made for it)
    // wherever it leads; the folders are made without following one.
    if (tree.LinkBetween(known, folder)) {
      slot.failure = ExtractFailure::kLinkOnPath;
      return slot;
    }
    const bool there = ExtractOptions.Has(eoCreateDirs) ? tree.CreateFoldersBelow(known, folder)
                                                        : tree.FolderExists(folder);
    if (!there) {
      slot.failure = tree.LinkBetween(known, folder) ? ExtractFailure::kLinkOnPath
                                                     : ExtractFailure::kFolderNotCreated;
      return slot;
    }
    for (std::string& checked : unchecked) checked_folders_.insert(std::move(checked));
  }

  std::string name = std::move(target.path);
  if (tree.Exists(name)) {
    bool confirm = true;
    if (OnConfirmOverwrite) OnConfirmOverwrite(name, confirm);
    if (!confirm) {
      slot.declined = true;
      return slot;
    }
    if (OnTheWay(name)) settle();  // the handler named a file still on the way
  }
  // A file that cannot be opened for writing (a running program, a read-only file) is
  // kept as it is, though a rename could replace it.
  if (tree.Exists(name) && !tree.CanOpenForWriting(name)) {
    slot.failure = ExtractFailure::kFileNotCreated;
    return slot;
  }

  slot.staged = platform_.stager->Stage(name);
  if (!slot.staged) {
    slot.failure = ExtractFailure::kFileNotCreated;
    return slot;
  }
  // Written, closed and given its time and attributes on a worker; moved into place here,
  // in the entries' order.
  platform::StagedFile* file = slot.staged.get();
  if (DigestWrittenFiles) slot.digest = std::make_unique<Slot::Digest>();
  Slot::Digest* digest = slot.digest.get();
  slot.job = pool.Submit(
      entry,
      [file, digest](const char* data, std::size_t size) {
        if (digest != nullptr) digest->on_the_way.Add(data, size);
        return file->Write(data, size);
      },
      [this, file, entry, digest] {
        if (!file->Close()) return false;
        RestoreTimeAndAttributes(file->TempPath(), entry);
        if (digest != nullptr) digest->outcome = digest->on_the_way.Finish();
        return true;
      });
  slot.writing = platform::FoldCase(name);
  writing_.insert(slot.writing);
  return slot;
}

TArchiveExtractor::Written TArchiveExtractor::Complete(Slot& slot, ExtractResult& result) {
  const ArchiveEntry& entry = slot.entry;
  if (slot.failure) return Fail(entry, *slot.failure, result);
  if (slot.declined) return Written::kDeclined;
  if (slot.in_place) {
    RestoreTimeAndAttributes(TargetPathFor(base_directory_, entry.name, true, platform_.separator).path, entry);
    return Written::kWritten;
  }
  platform::StagedFile& staged = *slot.staged;
  const ArchiveReader::ReadOutcome outcome = slot.job->Wait();
  if (outcome != ArchiveReader::ReadOutcome::kComplete) {
    staged.Discard();
    return Fail(entry, FailureOf(outcome), result);
  }
  if (!staged.MoveOverTarget()) {
    staged.Discard();
    return Fail(entry, ExtractFailure::kFileNotCreated, result);
  }
  if (slot.digest && slot.digest->outcome) result.digests.Add(staged.Target(), std::move(*slot.digest->outcome));
  return Written::kWritten;
}

void TArchiveExtractor::RestoreTimeAndAttributes(const std::string& file, const ArchiveEntry& entry) const {
  // A failure to set them is not an entry failure.
  platform_.times->SetModificationTime(file, entry.modified);
  AttributesToRestore restore = AttributesFor(entry.host_system, entry.attributes);
  if (restore.what == AttributesToRestore::What::kPermissionBits) {
    platform_.attributes->SetPermissionBits(file, restore.permission_bits);
  } else if (restore.what == AttributesToRestore::What::kReadOnly) {
    platform_.attributes->SetReadOnly(file);
  }
}

std::optional<std::vector<bool>> TArchiveExtractor::ArrivedInPlace(
    const std::vector<ArrivedEntry>& arrived) {
  if (!reader_ || !(ExtractOptions == TExtractOptions{eoCreateDirs, eoRestorePath})) return std::nullopt;
  const char sep = platform_.separator;
  const std::uint64_t n = reader_->Count();
  const std::optional<std::vector<EntryRecord>> records = DirectoryRecords(file_name_, n);
  const std::optional<std::vector<bool>> overlapping = OverlappingEntries(file_name_, n);
  if (!records || !overlapping || arrived.size() > n) return std::nullopt;
  std::unordered_map<std::uint64_t, std::uint64_t> record_at;
  for (std::uint64_t i = 0; i < n; ++i) record_at.emplace((*records)[i].header_offset, i);
  if (record_at.size() != n) return std::nullopt;

  // Two entries for one target: the later replaces the earlier, which only the normal
  // unpacking does in order.
  std::unordered_set<std::string> targets;
  for (std::uint64_t i = 0; i < n; ++i) {
    const std::optional<ArchiveEntry> entry = reader_->Entry(i);
    if (entry && MatchesMask(entry->name, "*.*") &&
        !targets.insert(platform::FoldCase(TargetPathFor(base_directory_, entry->name, true, sep).path)).second) {
      return std::nullopt;
    }
  }
  std::vector<bool> in_place(n, false);
  for (const ArrivedEntry& a : arrived) {
    const auto found = record_at.find(a.header.header_offset);
    if (found == record_at.end()) return std::nullopt;  // an entry the directory does not list
    const std::uint64_t i = found->second;
    const EntryRecord& record = (*records)[i];
    const EntryRecord& local = a.header;
    std::optional<ArchiveEntry> entry = reader_->Entry(i);
    if ((*overlapping)[i] || !entry || local.name != record.name || entry->name != record.name ||
        local.flags != record.flags || local.method != record.method || local.crc != record.crc ||
        local.compressed_size != record.compressed_size || local.size != record.size ||
        entry->size != record.size || entry->encrypted) {
      return std::nullopt;
    }
    if (!MatchesMask(entry->name, "*.*")) {
      if (a.written) return std::nullopt;
      continue;
    }
    if (TargetPathFor(base_directory_, entry->name, true, sep).refused ||
        IsLinkEntry(entry->host_system, entry->attributes)) {
      return std::nullopt;
    }
    in_place[i] = a.written;
  }
  return in_place;
}

}  // namespace rk5
