#include "platform/formats/icon_pe_resources.h"

#include <algorithm>
#include <utility>

#include "platform/formats/icon_directory.h"

namespace rk5::platform {
namespace {

constexpr uint32_t kRtIcon = 3;
constexpr uint32_t kRtGroupIcon = 14;
constexpr uint32_t kHighBit = 0x80000000u;
constexpr uint64_t kDosHeaderBytes = 64;
constexpr uint64_t kCoffHeaderBytes = 24;  // signature and file header
constexpr uint64_t kSectionBytes = 40;
constexpr uint64_t kResourceDirectoryBytes = 16;
constexpr uint64_t kResourceEntryBytes = 8;
constexpr uint64_t kDataEntryBytes = 16;
constexpr int kResourceDirectoryIndex = 2;
// A group lists at most 65,535 images of 14 bytes each.
constexpr uint64_t kMaxGroupBytes = 6 + 14 * 0xFFFFu;

struct Section {
  uint32_t address = 0;
  uint32_t file_bytes = 0;  // the part of the section that the file holds
  uint32_t file_offset = 0;
};

struct ResourceEntry {
  uint32_t name = 0;    // an id, or with the high bit an offset to a name
  uint32_t target = 0;  // with the high bit a directory, otherwise a data entry
  bool IsId() const { return (name & kHighBit) == 0; }
  bool IsDirectory() const { return (target & kHighBit) != 0; }
  uint32_t Offset() const { return target & ~kHighBit; }
};

// The program's sections and where its resource directory lies in the file.
class Resources {
 public:
  static std::optional<Resources> Open(const ByteSource& file);

  // Entries of the directory at offset (from the resource root), in directory order.
  std::optional<std::vector<ResourceEntry>> Directory(uint32_t offset) const;
  // The bytes that the data entry at offset describes.
  std::optional<std::vector<uint8_t>> Data(uint32_t offset, uint64_t limit) const;
  // Walks type and then name (id, or the first entry when absent) down to the first
  // language's data, one fixed level each, so a looped directory ends at once.
  std::optional<std::vector<uint8_t>> Find(uint32_t type, std::optional<uint32_t> id,
                                           uint64_t limit) const;

 private:
  Resources(const ByteSource& file, std::vector<Section> sections)
      : file_(&file), sections_(std::move(sections)) {}
  // The file offset of the range at address, when one section's file bytes hold it.
  std::optional<uint64_t> FileOffset(uint32_t address, uint64_t size) const;

  const ByteSource* file_;
  std::vector<Section> sections_;
  uint64_t root_ = 0;    // file offset of the resource root
  uint64_t extent_ = 0;  // bytes from there to the end of its section's file bytes
};

std::optional<Resources> Resources::Open(const ByteSource& file) {
  if (!LooksLikeProgram(file)) return std::nullopt;
  const std::optional<uint32_t> pe_offset = file.ReadU32(0x3C);
  if (!pe_offset) return std::nullopt;
  uint8_t coff[kCoffHeaderBytes];
  if (!file.Read(*pe_offset, coff, sizeof coff)) return std::nullopt;
  if (coff[0] != 'P' || coff[1] != 'E' || coff[2] != 0 || coff[3] != 0) return std::nullopt;
  const uint32_t section_count = LoadU16(coff + 6);
  const uint32_t optional_bytes = LoadU16(coff + 20);
  const uint64_t optional_offset = uint64_t{*pe_offset} + kCoffHeaderBytes;

  const std::optional<uint16_t> magic = file.ReadU16(optional_offset);
  if (!magic) return std::nullopt;
  uint32_t count_at = 0;  // NumberOfRvaAndSizes
  if (*magic == 0x10B) {
    count_at = 92;
  } else if (*magic == 0x20B) {
    count_at = 108;
  } else {
    return std::nullopt;
  }
  const uint32_t directory_at = count_at + 4 + 8 * kResourceDirectoryIndex;
  if (optional_bytes < directory_at + 8) return std::nullopt;
  const std::optional<uint32_t> directory_count = file.ReadU32(optional_offset + count_at);
  const std::optional<uint32_t> root_address = file.ReadU32(optional_offset + directory_at);
  if (!directory_count || !root_address) return std::nullopt;
  if (*directory_count <= kResourceDirectoryIndex || *root_address == 0) return std::nullopt;

  // At most 65,535 sections by the header's field; the read is checked against the file.
  const std::optional<std::vector<uint8_t>> table = file.ReadBlock(
      optional_offset + optional_bytes, kSectionBytes * section_count, kSectionBytes * 0xFFFFu);
  if (!table) return std::nullopt;
  std::vector<Section> sections;
  sections.reserve(section_count);
  for (uint32_t i = 0; i < section_count; ++i) {
    const uint8_t* p = table->data() + i * kSectionBytes;
    const uint32_t virtual_size = LoadU32(p + 8);
    const uint32_t raw_size = LoadU32(p + 16);
    Section s;
    s.address = LoadU32(p + 12);
    // A zero virtual size means the raw size counts.
    s.file_bytes = virtual_size == 0 ? raw_size : std::min(virtual_size, raw_size);
    s.file_offset = LoadU32(p + 20);
    sections.push_back(s);
  }

  Resources resources(file, std::move(sections));
  for (const Section& s : resources.sections_) {
    if (*root_address < s.address || *root_address - s.address >= s.file_bytes) continue;
    const uint64_t into = *root_address - s.address;
    resources.root_ = uint64_t{s.file_offset} + into;
    if (resources.root_ >= file.Size()) return std::nullopt;
    resources.extent_ = std::min<uint64_t>(s.file_bytes - into, file.Size() - resources.root_);
    return resources;
  }
  return std::nullopt;
}

std::optional<uint64_t> Resources::FileOffset(uint32_t address, uint64_t size) const {
  for (const Section& s : sections_) {
    if (address < s.address || address - s.address >= s.file_bytes) continue;
    const uint64_t into = address - s.address;
    if (size > s.file_bytes - into) return std::nullopt;
    const uint64_t offset = uint64_t{s.file_offset} + into;
    if (!file_->Contains(offset, size)) return std::nullopt;
    return offset;
  }
  return std::nullopt;
}

std::optional<std::vector<ResourceEntry>> Resources::Directory(uint32_t offset) const {
  if (offset > extent_ || kResourceDirectoryBytes > extent_ - offset) return std::nullopt;
  uint8_t header[kResourceDirectoryBytes];
  if (!file_->Read(root_ + offset, header, sizeof header)) return std::nullopt;
  // Both counts are 16 bits, so at most 131,070 entries; they must lie in the section.
  const uint64_t count = uint64_t{LoadU16(header + 12)} + LoadU16(header + 14);
  const uint64_t bytes = count * kResourceEntryBytes;
  if (bytes > extent_ - offset - kResourceDirectoryBytes) return std::nullopt;
  const std::optional<std::vector<uint8_t>> raw =
      file_->ReadBlock(root_ + offset + kResourceDirectoryBytes, bytes, bytes);
  if (!raw) return std::nullopt;
  std::vector<ResourceEntry> entries(static_cast<size_t>(count));
  for (size_t i = 0; i < entries.size(); ++i) {
    entries[i].name = LoadU32(raw->data() + i * kResourceEntryBytes);
    entries[i].target = LoadU32(raw->data() + i * kResourceEntryBytes + 4);
  }
  return entries;
}

std::optional<std::vector<uint8_t>> Resources::Data(uint32_t offset, uint64_t limit) const {
  if (offset > extent_ || kDataEntryBytes > extent_ - offset) return std::nullopt;
  uint8_t entry[kDataEntryBytes];
  if (!file_->Read(root_ + offset, entry, sizeof entry)) return std::nullopt;
  const uint32_t address = LoadU32(entry);
  const uint32_t size = LoadU32(entry + 4);
  if (size > limit) return std::nullopt;
  const std::optional<uint64_t> at = FileOffset(address, size);
  if (!at) return std::nullopt;
  return file_->ReadBlock(*at, size, limit);
}

std::optional<std::vector<uint8_t>> Resources::Find(uint32_t type, std::optional<uint32_t> id,
                                                    uint64_t limit) const {
  auto with_id = [](const std::vector<ResourceEntry>& entries,
                    uint32_t wanted) -> std::optional<ResourceEntry> {
    for (const ResourceEntry& e : entries) {
      if (e.IsId() && e.name == wanted) return e;
    }
    return std::nullopt;
  };
  const std::optional<std::vector<ResourceEntry>> types = Directory(0);
  if (!types) return std::nullopt;
  const std::optional<ResourceEntry> of_type = with_id(*types, type);
  if (!of_type || !of_type->IsDirectory()) return std::nullopt;

  const std::optional<std::vector<ResourceEntry>> names = Directory(of_type->Offset());
  if (!names || names->empty()) return std::nullopt;
  const std::optional<ResourceEntry> named = id ? with_id(*names, *id) : names->front();
  if (!named || !named->IsDirectory()) return std::nullopt;

  const std::optional<std::vector<ResourceEntry>> languages = Directory(named->Offset());
  if (!languages || languages->empty() || languages->front().IsDirectory()) return std::nullopt;
  return Data(languages->front().Offset(), limit);
}

}  // namespace

bool LooksLikeProgram(const ByteSource& file) {
  uint8_t magic[2];
  return file.Size() >= kDosHeaderBytes && file.Read(0, magic, 2) && magic[0] == 'M' &&
         magic[1] == 'Z';
}

std::optional<std::vector<uint8_t>> FirstProgramIconImage(const ByteSource& file) {
  const std::optional<Resources> resources = Resources::Open(file);
  if (!resources) return std::nullopt;
  const std::optional<std::vector<uint8_t>> group =
      resources->Find(kRtGroupIcon, std::nullopt, kMaxGroupBytes);
  if (!group) return std::nullopt;
  const std::vector<IconDirEntry> entries = ParseIconDirectory(*group, IconDirKind::kResourceGroup);
  const std::optional<size_t> chosen = ChooseIconEntry(entries);
  if (!chosen) return std::nullopt;
  return resources->Find(kRtIcon, entries[*chosen].locator, kMaxIconImageBytes);
}

}  // namespace rk5::platform
