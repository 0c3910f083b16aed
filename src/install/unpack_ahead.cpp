#include "install/unpack_ahead.h"

#include <zlib.h>

#include <algorithm>

#include "install/archive_paths.h"
#include "install/deflate_inflater.h"
#include "install/zip_format.h"
#include "platform/thread_priority.h"

namespace rk5 {
namespace {

constexpr std::uint16_t kEncrypted = 0x0001;
constexpr std::uint16_t kSizesAfterData = 0x0008;
constexpr std::uint16_t kStored = 0;
constexpr std::uint16_t kDeflated = 8;
constexpr std::size_t kChunk = 64 * 1024;
constexpr std::size_t kBlock = 256 * 1024;

using zip::kFull32;
using zip::kLocalSignature;
using zip::kLocalSize;
using zip::kZip64Extra;
using zip::Little;

// The full sizes of a ZIP64 local header, each present only where the header's is full.
bool ReadZip64Sizes(const std::vector<unsigned char>& extra, EntryRecord& entry) {
  const bool size_full = entry.size == kFull32;
  const bool compressed_full = entry.compressed_size == kFull32;
  if (!size_full && !compressed_full) return true;
  for (std::size_t x = 0; x + 4 <= extra.size();) {
    const std::size_t id = Little(extra, x, 2);
    const std::size_t size = Little(extra, x + 2, 2);
    if (x + 4 + size > extra.size()) return false;
    if (id == kZip64Extra) {
      std::size_t field = x + 4;
      const std::size_t end = field + size;
      if (size_full) {
        if (field + 8 > end) return false;
        entry.size = Little(extra, field, 8);
        field += 8;
      }
      if (compressed_full) {
        if (field + 8 > end) return false;
        entry.compressed_size = Little(extra, field, 8);
      }
      return true;
    }
    x += 4 + size;
  }
  return false;
}

}  // namespace

SpeculativeUnpack::SpeculativeUnpack(ArrivingArchive& archive, ArchivePlatform platform,
                                     FolderMaker make_folder)
    : archive_(archive),
      platform_(std::move(platform)),
      make_folder_(std::move(make_folder)),
      thread_([this] {
        // The download's hand-offs with the window come first: on a fast network this
        // pass must not slow them, on a slow one the processors are idle anyway.
        platform::RunOnlyOnIdleProcessors();
        Run();
        ended_.store(true);
      }) {}

SpeculativeUnpack::~SpeculativeUnpack() {
  stop_.store(true);
  archive_.Abandon();
  if (thread_.joinable()) thread_.join();
}

const std::vector<ArrivedEntry>& SpeculativeUnpack::Finish() {
  // At once, even when little is left: this thread runs on idle processors only, and on a
  // busy machine it could take seconds to get through that little, while the unpacking
  // does it on every core at normal priority.
  stop_.store(true);
  if (thread_.joinable()) thread_.join();
  return entries_;
}

bool SpeculativeUnpack::FallenBehind() {
  // The archive comes faster than this one thread unpacks: the rest is done sooner on
  // every core after the last byte, and the download goes faster without the pass.
  return archive_.WaitFor(0) - reached_.load() > kBehindAtMost;
}

bool SpeculativeUnpack::ReadAt(std::uint64_t offset, std::size_t count,
                               std::vector<unsigned char>& out) {
  return !stop_.load() && archive_.Read(offset, count, out);
}

void SpeculativeUnpack::Run() {
  // A first look at the pace: an archive that comes faster than this one thread unpacks
  // is left whole to the unpacking after the last byte, before the pass has cost the
  // download anything.
  const std::uint64_t first = archive_.WaitFor(1);
  archive_.WaitFor(first + kBehindAtMost + 1, kPaceLook);
  std::uint64_t at = 0;
  std::vector<unsigned char> header, names;
  while (!stop_.load() && !FallenBehind()) {
    // Anything but a local header (the central directory, most often) ends the pass.
    if (!ReadAt(at, kLocalSize, header) || Little(header, 0, 4) != kLocalSignature) return;
    ArrivedEntry entry;
    entry.header.header_offset = at;
    entry.header.flags = static_cast<std::uint16_t>(Little(header, 6, 2));
    entry.header.method = static_cast<std::uint16_t>(Little(header, 8, 2));
    entry.header.crc = static_cast<std::uint32_t>(Little(header, 14, 4));
    entry.header.compressed_size = Little(header, 18, 4);
    entry.header.size = Little(header, 22, 4);
    const std::size_t name_size = Little(header, 26, 2);
    const std::size_t extra_size = Little(header, 28, 2);
    if ((entry.header.flags & (kEncrypted | kSizesAfterData)) != 0 ||
        (entry.header.method != kStored && entry.header.method != kDeflated)) {
      return;
    }
    if (!ReadAt(at + kLocalSize, name_size + extra_size, names)) return;
    entry.header.name.assign(names.begin(), names.begin() + static_cast<std::ptrdiff_t>(name_size));
    if (!ReadZip64Sizes({names.begin() + static_cast<std::ptrdiff_t>(name_size), names.end()}, entry.header)) {
      return;
    }
    const std::uint64_t data = at + kLocalSize + name_size + extra_size;
    // Folder entries are not unpacked; only their headers are checked later. The header of
    // an entry the pass gave up on is kept too: it must match the directory as well.
    const bool unpacked = StoredFilePart(entry.header.name).empty() || Unpack(entry, data);
    entries_.push_back(std::move(entry));
    if (!unpacked) return;
    if (entries_.back().header.compressed_size > UINT64_MAX - data) return;
    at = data + entries_.back().header.compressed_size;
    reached_.store(at);
  }
}

bool SpeculativeUnpack::Unpack(ArrivedEntry& arrived, std::uint64_t data_offset) {
  const EntryRecord& entry = arrived.header;
  const char sep = platform_.separator;
  if (folder_.empty()) {
    const std::optional<std::string> folder = make_folder_();
    if (!folder || folder->empty()) return false;
    folder_ = NormaliseBaseDirectory(*folder, sep);
  }
  TargetPath target = TargetPathFor(folder_, entry.name, true, sep);
  if (target.refused) return false;
  platform::FileTree& tree = *platform_.tree;
  // Never into the free-space margin: the normal unpacking decides about a tight disk.
  const std::optional<std::uint64_t> room = platform_.space->AvailableBytes(folder_);
  const std::uint64_t margin = FreeSpaceMargin(*platform_.space, folder_);
  if (!room || *room < margin || entry.size > *room - margin) return false;
  const std::string folder = FolderOf(target.path, sep);
  if (folder.size() > folder_.size() && !tree.CreateFoldersBelow(folder_, folder)) return false;
  if (tree.Exists(target.path)) return false;
  std::unique_ptr<platform::StagedFile> staged = platform_.stager->Stage(target.path);
  if (!staged) return false;

  std::unique_ptr<DeflateInflater> inflater;
  if (entry.method == kDeflated) inflater = DeflateInflater::Make();
  DigestOnTheWay digest;
  uLong crc = crc32(0, nullptr, 0);
  std::vector<unsigned char> chunk;
  std::vector<char> block(kBlock);
  std::uint64_t taken = 0, total = 0;
  bool ended = false;
  while (!ended && taken < entry.compressed_size) {
    // What has arrived of the entry, up to a chunk, as soon as there is any.
    const std::uint64_t want = data_offset + taken + 1;
    const std::uint64_t there = stop_.load() ? 0 : archive_.WaitFor(want);
    if (there < want) return false;
    const std::size_t n = static_cast<std::size_t>(
        std::min<std::uint64_t>({kChunk, entry.compressed_size - taken, there - data_offset - taken}));
    if (!ReadAt(data_offset + taken, n, chunk)) return false;
    taken += n;
    reached_.store(data_offset + taken);
    if (FallenBehind()) return false;
    if (!inflater) {
      const char* data = reinterpret_cast<const char*>(chunk.data());
      if (n > entry.size - total || !staged->Write(data, n)) return false;
      digest.Add(data, n);
      crc = crc32(crc, chunk.data(), static_cast<uInt>(n));
      total += n;
      continue;
    }
    const unsigned char* in = chunk.data();
    std::size_t in_size = n;
    for (;;) {
      std::size_t produced = 0;
      const DeflateInflater::Step step = inflater->Inflate(in, in_size, block.data(), block.size(), produced);
      if (stop_.load() || step == DeflateInflater::Step::kDamaged || produced > entry.size - total) return false;
      if (produced > 0 && !staged->Write(block.data(), produced)) return false;
      digest.Add(block.data(), produced);
      total += produced;
      if (step == DeflateInflater::Step::kEnd) {
        ended = true;
        break;
      }
      if (in_size == 0 && produced < block.size()) break;
    }
  }
  const std::uint32_t got = inflater ? inflater->Crc() : static_cast<std::uint32_t>(crc);
  if ((inflater && !ended) || total != entry.size || got != entry.crc) return false;
  if (!staged->Close() || !staged->MoveOverTarget()) return false;
  arrived.written = true;
  arrived.path = staged->Target();
  arrived.digest = digest.Finish();
  return true;
}

}  // namespace rk5
