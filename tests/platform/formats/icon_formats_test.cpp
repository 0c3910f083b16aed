// The icon structures read from bytes in memory: what a damaged or lying file gives, and
// how little of a large program is read.
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <zlib.h>

#include "platform/formats/icon_byte_source.h"
#include "platform/formats/icon_directory.h"
#include "platform/formats/icon_pe_resources.h"
#include "platform/formats/icon_picture.h"
#include "platform/icon_test_pictures.h"
#include "support/pe_builder.h"

namespace rk5::platform {
namespace {

using namespace icon_test;
using test::BuildIconFile;
using test::BuildPe;
using test::GetU32;
using test::PeFile;
using test::PngImage;
using test::PutU16;
using test::PutU32;

std::optional<IconPicture> FromBytes(const std::string& bytes) {
  const MemoryByteSource source(
      std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
  const std::optional<std::vector<uint8_t>> image = FirstProgramIconImage(source);
  if (!image) return std::nullopt;
  return DecodeIconImage(*image);
}

// Counts what the search reads, to show that a large program is not read whole.
class CountingSource final : public ByteSource {
 public:
  explicit CountingSource(const std::string& bytes)
      : inner_(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size())) {}
  uint64_t Size() const override { return inner_.Size(); }
  bool Read(uint64_t offset, void* out, size_t size) const override {
    read_ += size;
    return inner_.Read(offset, out, size);
  }
  uint64_t read() const { return read_; }

 private:
  MemoryByteSource inner_;
  mutable uint64_t read_ = 0;
};

TEST(IconExtractionBounds, ALargeProgramIsReadOnlyWhereNeeded) {
  PeSpec recipe = OneGroup({SolidDib(16, kRed), SolidDib(32, kGreen), SolidDib(256, kBlue)});
  recipe.code_bytes = 32u << 20;
  const PeFile pe = BuildPe(recipe);
  CountingSource source(pe.bytes);
  const std::optional<std::vector<uint8_t>> image = FirstProgramIconImage(source);
  ASSERT_TRUE(image.has_value());
  EXPECT_NO_FATAL_FAILURE(ExpectUniform(DecodeIconImage(*image), kGreen));
  // Headers, three directory levels twice, the group and the one 32 × 32 image (4,264 bytes).
  EXPECT_LT(source.read(), 8u * 1024);
}

TEST(IconExtractionBounds, EveryTruncationGivesNoneUntilTheIconIsWhole) {
  const PeFile pe = BuildPe(OneGroup({SolidDib(32, kRed)}, true));
  // The image comes first in the data, the group's directory after it.
  const size_t needed =
      std::max(pe.icon_data[0] + GetU32(pe.bytes, pe.icon_data_entries[0] + 4),
               pe.first_group_data + GetU32(pe.bytes, pe.first_group_data_entry + 4));
  for (size_t cut = 0; cut < pe.bytes.size(); ++cut) {
    const std::optional<IconPicture> icon = FromBytes(pe.bytes.substr(0, cut));
    ASSERT_EQ(icon.has_value(), cut >= needed) << "cut at " << cut;
  }
}

TEST(IconExtractionBounds, LyingOffsetsAndSizesGiveNone) {
  const PeFile good = BuildPe(OneGroup({SolidDib(32, kRed)}));
  ASSERT_TRUE(FromBytes(good.bytes).has_value());
  struct Damage {
    const char* what;
    std::function<void(std::string&)> apply;
  } damages[] = {
      {"PE header beyond the file", [&](std::string& b) { PutU32(b, 0x3C, 0xFFFFFFF0u); }},
      {"PE header in the last bytes",
       [&](std::string& b) { PutU32(b, 0x3C, static_cast<uint32_t>(b.size() - 6)); }},
      {"no PE signature", [&](std::string& b) { b[good.pe_header + 1] = 'X'; }},
      {"unknown optional header", [&](std::string& b) { PutU16(b, good.pe_header + 24, 0x107); }},
      {"optional header too short for the resources",
       [&](std::string& b) { PutU16(b, good.pe_header + 20, 100); }},
      {"65,535 sections", [&](std::string& b) { PutU16(b, good.section_count, 0xFFFF); }},
      {"no sections", [&](std::string& b) { PutU16(b, good.section_count, 0); }},
      {"resources outside every section",
       [&](std::string& b) { PutU32(b, good.resource_directory, 0x7FFFFFF0u); }},
      {"resource section's data beyond the file",
       [&](std::string& b) { PutU32(b, good.section_table + 40 + 20, 0xFFFFF000u); }},
      {"resource section of a huge declared size",
       [&](std::string& b) {
         PutU32(b, good.section_table + 40 + 8, 0xFFFFFFFFu);
         PutU32(b, good.section_table + 40 + 16, 0xFFFFFFFFu);
         PutU16(b, good.resource_root + 14, 0xFFFF);  // and a root of 65,535 ids
       }},
      {"65,535 root entries", [&](std::string& b) { PutU16(b, good.resource_root + 14, 0xFFFF); }},
      {"group directory beyond the section",
       [&](std::string& b) { PutU32(b, good.group_type_entry + 4, 0x8FFFFFF0u); }},
      {"group data entry beyond the section",
       [&](std::string& b) { PutU32(b, good.first_group_language + 16 + 4, 0x00FFFFF0u); }},
      {"group data outside the image",
       [&](std::string& b) { PutU32(b, good.first_group_data_entry, 0xFFFFFF00u); }},
      {"group data of a huge declared size",
       [&](std::string& b) { PutU32(b, good.first_group_data_entry + 4, 0xFFFFFFFFu); }},
      {"group data running past its section",
       [&](std::string& b) { PutU32(b, good.first_group_data_entry + 4, 0x10000u); }},
      {"group listing 65,535 images",
       [&](std::string& b) { PutU16(b, good.first_group_data + 4, 0xFFFF); }},
      {"group naming an icon that does not exist",
       [&](std::string& b) { PutU16(b, good.first_group_data + 6 + 12, 999); }},
      {"icon data outside the image",
       [&](std::string& b) { PutU32(b, good.icon_data_entries[0], 0x100u); }},
      {"icon data of a huge declared size",
       [&](std::string& b) { PutU32(b, good.icon_data_entries[0] + 4, 0xFFFFFFFFu); }},
      {"bitmap of a huge declared width",
       [&](std::string& b) { PutU32(b, good.icon_data[0] + 4, 0x7FFFFFFFu); }},
      {"bitmap of a negative height",
       [&](std::string& b) { PutU32(b, good.icon_data[0] + 8, 0xFFFFFFC0u); }},
      {"bitmap taller than its bytes",
       [&](std::string& b) { PutU32(b, good.icon_data[0] + 8, 2 * 1000); }},
      {"bitmap header larger than the image",
       [&](std::string& b) { PutU32(b, good.icon_data[0], 0x100000u); }},
      {"bitmap of 7 bits per pixel", [&](std::string& b) { PutU16(b, good.icon_data[0] + 14, 7); }},
      {"bitmap with a palette of 100,000 colours",
       [&](std::string& b) { PutU32(b, good.icon_data[0] + 32, 100000); }},
      {"compressed bitmap", [&](std::string& b) { PutU32(b, good.icon_data[0] + 16, 1); }},
      // Loops: every level is walked once, so a directory naming itself ends there.
      {"type entry naming the root",
       [&](std::string& b) { PutU32(b, good.group_type_entry + 4, 0x80000000u); }},
      {"group entry naming the root",
       [&](std::string& b) { PutU32(b, good.first_group_entry + 4, 0x80000000u); }},
      {"language entry naming its own directory",
       [&](std::string& b) {
         PutU32(
             b, good.first_group_language + 16 + 4,
             0x80000000u | static_cast<uint32_t>(good.first_group_language - good.resource_root));
       }},
  };
  for (const Damage& d : damages) {
    std::string bytes = good.bytes;
    d.apply(bytes);
    EXPECT_FALSE(FromBytes(bytes).has_value()) << d.what;
  }
}

TEST(IconExtractionBounds, DamagedIconFilesAndImagesGiveNone) {
  const std::string good = BuildIconFile({SolidDib(32, kRed)});
  const MemoryByteSource whole(
      std::span(reinterpret_cast<const uint8_t*>(good.data()), good.size()));
  ASSERT_TRUE(IconFileImage(whole).has_value());
  std::string count = good;
  PutU16(count, 4, 0xFFFF);
  std::string offset = good;
  PutU32(offset, 6 + 12, 0xFFFFFFF0u);
  std::string size = good;
  PutU32(size, 6 + 8, 0xFFFFFFFFu);
  for (const std::string& bytes : {count, offset, size, good.substr(0, good.size() - 1)}) {
    const MemoryByteSource source(
        std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
    EXPECT_FALSE(IconFileImage(source).has_value());
  }
  // A PNG image inside a program that declares 100,000 × 100,000 pixels (with a good
  // checksum, so that only its size refuses it).
  std::string png = PngImage(32, 32, Solid(32, 32, kRed));
  PutU32(png, 16, 0xA0860100u);  // big-endian 100,000
  PutU32(png, 20, 0xA0860100u);
  const auto* header = reinterpret_cast<const Bytef*>(png.data() + 12);
  const uint32_t crc = static_cast<uint32_t>(crc32(0, header, 17));
  PutU32(png, 29, __builtin_bswap32(crc));
  EXPECT_FALSE(FromBytes(BuildPe(OneGroup({Image(32, png)})).bytes).has_value());
  EXPECT_FALSE(DecodeIconImage({}).has_value());
}

}  // namespace
}  // namespace rk5::platform
