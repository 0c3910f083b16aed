#include "platform/formats/icon_directory.h"

#include <cstdlib>
#include <tuple>

namespace rk5::platform {
namespace {

constexpr size_t kHeaderBytes = 6;
constexpr size_t kGroupEntryBytes = 14;
constexpr size_t kFileEntryBytes = 16;
constexpr uint64_t kMaxFileDirectoryBytes = kHeaderBytes + kFileEntryBytes * 0xFFFFu;

int Side(uint8_t declared) { return declared == 0 ? 256 : declared; }

// A bit depth for ranking when the entry gives only its palette size.
int RankBits(const IconDirEntry& e, uint8_t colours) {
  if (e.bit_count != 0) return e.bit_count;
  if (colours == 2) return 1;
  if (colours == 16) return 4;
  return 8;
}

}  // namespace

std::vector<IconDirEntry> ParseIconDirectory(std::span<const uint8_t> data, IconDirKind kind) {
  std::vector<IconDirEntry> entries;
  if (data.size() < kHeaderBytes || LoadU16(&data[0]) != 0 || LoadU16(&data[2]) != 1) {
    return entries;
  }
  const size_t stride = kind == IconDirKind::kResourceGroup ? kGroupEntryBytes : kFileEntryBytes;
  const size_t count = LoadU16(&data[4]);
  if (count > (data.size() - kHeaderBytes) / stride) return entries;
  entries.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* p = &data[kHeaderBytes + i * stride];
    IconDirEntry e;
    e.width = Side(p[0]);
    e.height = Side(p[1]);
    e.bit_count = LoadU16(p + 6);
    e.bit_count = RankBits(e, p[2]);
    e.bytes = LoadU32(p + 8);
    e.locator = kind == IconDirKind::kResourceGroup ? LoadU16(p + 12) : LoadU32(p + 12);
    entries.push_back(e);
  }
  return entries;
}

std::optional<size_t> ChooseIconEntry(std::span<const IconDirEntry> entries) {
  std::optional<size_t> best;
  auto rank = [](const IconDirEntry& e) {
    // Smaller is better: nearness to 32 × 32, then size (scaling down looks better than
    // scaling up), then colours.
    return std::make_tuple(std::abs(e.width - 32) + std::abs(e.height - 32), -(e.width * e.height),
                           -e.bit_count);
  };
  for (size_t i = 0; i < entries.size(); ++i) {
    if (!best || rank(entries[i]) < rank(entries[*best])) best = i;
  }
  return best;
}

std::optional<std::vector<uint8_t>> IconFileImage(const ByteSource& file) {
  uint8_t header[kHeaderBytes];
  if (!file.Read(0, header, sizeof header)) return std::nullopt;
  const uint64_t directory_bytes = kHeaderBytes + kFileEntryBytes * uint64_t{LoadU16(header + 4)};
  std::optional<std::vector<uint8_t>> directory =
      file.ReadBlock(0, directory_bytes, kMaxFileDirectoryBytes);
  if (!directory) return std::nullopt;
  const std::vector<IconDirEntry> entries = ParseIconDirectory(*directory, IconDirKind::kIconFile);
  const std::optional<size_t> chosen = ChooseIconEntry(entries);
  if (!chosen) return std::nullopt;
  const IconDirEntry& e = entries[*chosen];
  return file.ReadBlock(e.locator, e.bytes, kMaxIconImageBytes);
}

}  // namespace rk5::platform
