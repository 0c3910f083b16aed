#include "install/archive_layout.h"

#include <zip.h>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <numeric>

#include "install/zip_format.h"

namespace rk5 {
namespace {

constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint32_t kEnd64LocatorSignature = 0x07064b50;
constexpr std::uint32_t kEnd64Signature = 0x06064b50;
constexpr std::uint32_t kRecordSignature = 0x02014b50;
constexpr std::uint64_t kEndSize = 22;
constexpr std::uint64_t kEnd64LocatorSize = 20;
constexpr std::uint64_t kEnd64Size = 56;
constexpr std::uint64_t kRecordSize = 46;
constexpr std::uint64_t kLongestComment = 0xFFFF;

using Bytes = std::vector<unsigned char>;

using zip::kFull32;
using zip::kLocalSignature;
using zip::kLocalSize;
using zip::kZip64Extra;
using zip::Little;

std::uint64_t SaturatingAdd(std::uint64_t a, std::uint64_t b) {
  return b > std::numeric_limits<std::uint64_t>::max() - a ? std::numeric_limits<std::uint64_t>::max()
                                                            : a + b;
}

// The archive file's raw bytes, read through libzip's own file source.
class ArchiveBytes {
 public:
  explicit ArchiveBytes(const std::string& path) {
    zip_error_t error;
    zip_error_init(&error);
    source_ = zip_source_file_create(path.c_str(), 0, -1, &error);
    zip_error_fini(&error);
    if (source_ == nullptr) return;
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_source_stat(source_, &st) != 0 || (st.valid & ZIP_STAT_SIZE) == 0) return;
    size_ = st.size;
    open_ = zip_source_open(source_) == 0;
  }
  ~ArchiveBytes() {
    if (open_) zip_source_close(source_);
    if (source_ != nullptr) zip_source_free(source_);
  }
  ArchiveBytes(const ArchiveBytes&) = delete;
  ArchiveBytes& operator=(const ArchiveBytes&) = delete;

  bool ok() const { return open_; }
  std::uint64_t size() const { return size_; }

  // Exactly `count` bytes from `offset`, or false.
  bool Read(std::uint64_t offset, std::uint64_t count, Bytes& out) {
    if (!open_ || offset > size_ || count > size_ - offset) return false;
    out.resize(static_cast<std::size_t>(count));
    if (zip_source_seek(source_, static_cast<zip_int64_t>(offset), SEEK_SET) != 0) return false;
    std::uint64_t got = 0;
    while (got < count) {
      const zip_int64_t n = zip_source_read(source_, out.data() + got, count - got);
      if (n <= 0) return false;
      got += static_cast<std::uint64_t>(n);
    }
    return true;
  }

 private:
  zip_source_t* source_ = nullptr;
  std::uint64_t size_ = 0;
  bool open_ = false;
};

struct Directory {
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
  std::uint64_t count = 0;
};

// The end record nearest the file's end, and its ZIP64 counterpart when there is one.
std::optional<Directory> FindDirectory(ArchiveBytes& file) {
  const std::uint64_t tail = std::min(file.size(), kEndSize + kLongestComment);
  Bytes b;
  if (tail < kEndSize || !file.Read(file.size() - tail, tail, b)) return std::nullopt;
  for (std::uint64_t at = tail - kEndSize + 1; at-- > 0;) {
    if (Little(b, at, 4) != kEndSignature) continue;
    if (at + kEndSize + Little(b, at + 20, 2) > tail) continue;  // its comment would not fit
    Directory d{Little(b, at + 16, 4), Little(b, at + 12, 4), Little(b, at + 10, 2)};
    const std::uint64_t end_at = file.size() - tail + at;
    Bytes locator, end64;
    if (end_at >= kEnd64LocatorSize && file.Read(end_at - kEnd64LocatorSize, kEnd64LocatorSize, locator) &&
        Little(locator, 0, 4) == kEnd64LocatorSignature) {
      if (!file.Read(Little(locator, 8, 8), kEnd64Size, end64) || Little(end64, 0, 4) != kEnd64Signature) {
        return std::nullopt;
      }
      d = Directory{Little(end64, 48, 8), Little(end64, 40, 8), Little(end64, 32, 8)};
    }
    return d;
  }
  return std::nullopt;
}

struct Span {
  std::uint64_t begin = 0;
  std::uint64_t end = 0;
  bool bad = false;  // no local header where the record points
};

}  // namespace

namespace {

struct Walk {
  Directory directory;
  std::vector<EntryRecord> records;
  std::vector<Span> spans;
};

std::optional<Walk> WalkDirectory(const std::string& archive_path, std::uint64_t count) {
  ArchiveBytes file(archive_path);
  if (!file.ok()) return std::nullopt;
  const std::optional<Directory> directory = FindDirectory(file);
  Bytes records;
  if (!directory || directory->count != count ||
      !file.Read(directory->offset, directory->size, records)) {
    return std::nullopt;
  }

  Walk walk;
  walk.directory = *directory;
  const std::size_t most = static_cast<std::size_t>(std::min<std::uint64_t>(count, records.size() / kRecordSize));
  walk.spans.reserve(most);
  walk.records.reserve(most);
  std::uint64_t at = 0;
  Bytes local;
  for (std::uint64_t i = 0; i < count; ++i) {
    if (records.size() - at < kRecordSize || Little(records, at, 4) != kRecordSignature) {
      return std::nullopt;
    }
    std::uint64_t size = Little(records, at + 24, 4);
    std::uint64_t compressed = Little(records, at + 20, 4);
    const std::uint64_t name = Little(records, at + 28, 2);
    const std::uint64_t extra = Little(records, at + 30, 2);
    const std::uint64_t comment = Little(records, at + 32, 2);
    std::uint64_t header = Little(records, at + 42, 4);
    if (records.size() - at - kRecordSize < name + extra + comment) return std::nullopt;
    // ZIP64: the full values follow in this order, each only where the record's is full.
    for (std::uint64_t x = at + kRecordSize + name, x_end = x + extra; x + 4 <= x_end;) {
      const std::uint64_t id = Little(records, x, 2);
      const std::uint64_t field_size = Little(records, x + 2, 2);
      std::uint64_t field = x + 4;
      const std::uint64_t field_end = std::min(field + field_size, x_end);
      if (id == kZip64Extra) {
        if (size == kFull32 && field + 8 <= field_end) size = Little(records, field, 8);
        if (Little(records, at + 24, 4) == kFull32) field += 8;
        if (compressed == kFull32 && field + 8 <= field_end) {
          compressed = Little(records, field, 8);
          field += 8;
        }
        if (header == kFull32 && field + 8 <= field_end) header = Little(records, field, 8);
      }
      x += 4 + field_size;
    }
    EntryRecord record;
    record.name.assign(reinterpret_cast<const char*>(records.data() + at + kRecordSize),
                       static_cast<std::size_t>(name));
    record.flags = static_cast<std::uint16_t>(Little(records, at + 8, 2));
    record.method = static_cast<std::uint16_t>(Little(records, at + 10, 2));
    record.crc = static_cast<std::uint32_t>(Little(records, at + 16, 4));
    record.compressed_size = compressed;
    record.size = size;
    record.header_offset = header;
    walk.records.push_back(std::move(record));

    Span span;
    span.begin = header;
    if (file.Read(header, kLocalSize, local) && Little(local, 0, 4) == kLocalSignature) {
      const std::uint64_t data = kLocalSize + Little(local, 26, 2) + Little(local, 28, 2);
      span.end = SaturatingAdd(header, SaturatingAdd(data, compressed));
    } else {
      span.bad = true;
      span.end = SaturatingAdd(header, kLocalSize);
    }
    walk.spans.push_back(span);
    at += kRecordSize + name + extra + comment;
  }
  return walk;
}

}  // namespace

std::optional<std::vector<EntryRecord>> DirectoryRecords(const std::string& archive_path,
                                                             std::uint64_t count) {
  std::optional<Walk> walk = WalkDirectory(archive_path, count);
  if (!walk) return std::nullopt;
  return std::move(walk->records);
}

std::optional<std::vector<bool>> OverlappingEntries(const std::string& archive_path,
                                                    std::uint64_t count) {
  std::optional<Walk> walk = WalkDirectory(archive_path, count);
  if (!walk) return std::nullopt;
  const std::vector<Span>& spans = walk->spans;
  const Directory* directory = &walk->directory;

  // In order of their start, each span must begin after every earlier one has ended.
  std::vector<bool> overlapping(spans.size(), false);
  std::vector<std::size_t> order(spans.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::sort(order.begin(), order.end(),
            [&](std::size_t a, std::size_t b) { return spans[a].begin < spans[b].begin; });
  std::optional<std::size_t> furthest;
  for (std::size_t i : order) {
    if (spans[i].bad || spans[i].end > directory->offset) overlapping[i] = true;
    if (furthest && spans[i].begin < spans[*furthest].end) {
      overlapping[i] = true;
      overlapping[*furthest] = true;
    }
    if (!furthest || spans[i].end > spans[*furthest].end) furthest = i;
  }
  return overlapping;
}

}  // namespace rk5
