#include "platform/icon_extraction.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <zlib.h>

#include "platform/formats/icon_byte_source.h"
#include "platform/formats/icon_directory.h"
#include "platform/formats/icon_pe_resources.h"
#include "platform/formats/icon_picture.h"
#include "support/pe_builder.h"
#include "support/temp_dir.h"

namespace rk5::platform {
namespace {

using test::BuildIconFile;
using test::BuildPe;
using test::DibIcon;
using test::GetU32;
using test::IconGroupSpec;
using test::IconImageSpec;
using test::PeFile;
using test::PeSpec;
using test::PngImage;
using test::PutU16;
using test::PutU32;
using test::Solid;

constexpr uint32_t kRed = 0xFFFF0000u;
constexpr uint32_t kGreen = 0xFF00FF00u;
constexpr uint32_t kBlue = 0xFF0000FFu;

// Every pixel different, so a flipped, shifted or mirrored picture shows.
std::vector<uint32_t> Pattern(int width, int height, bool with_alpha) {
  std::vector<uint32_t> p;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint32_t alpha = with_alpha ? static_cast<uint32_t>((x * 8 + y) % 256) : 0xFF;
      p.push_back(alpha << 24 | uint32_t(x * 7) << 16 | uint32_t(y * 7) << 8 | uint32_t(x ^ y));
    }
  }
  return p;
}

// Equal pixels, where two fully transparent ones are equal whatever their colour.
void ExpectPixels(const IconPicture& picture, const std::vector<uint32_t>& expected) {
  ASSERT_EQ(picture.width, 32);
  ASSERT_EQ(picture.height, 32);
  ASSERT_EQ(picture.pixels.size(), expected.size());
  int wrong = 0;
  for (size_t i = 0; i < expected.size(); ++i) {
    const uint32_t got = picture.pixels[i];
    const bool same = got == expected[i] || ((got >> 24) == 0 && (expected[i] >> 24) == 0);
    if (!same && ++wrong <= 5) {
      ADD_FAILURE() << "pixel " << i % 32 << "," << i / 32 << ": " << std::hex << got
                    << " instead of " << expected[i];
    }
  }
}

void ExpectUniform(const std::optional<IconPicture>& picture, uint32_t colour) {
  ASSERT_TRUE(picture.has_value());
  ExpectPixels(*picture, Solid(32, 32, colour));
}

IconImageSpec Image(int side, std::string data, int bits = 32) {
  return IconImageSpec{side, side, bits, std::move(data)};
}

IconImageSpec SolidDib(int side, uint32_t colour) {
  return Image(side, DibIcon(side, side, Solid(side, side, colour), 32));
}

PeSpec OneGroup(std::vector<IconImageSpec> images, bool pe32_plus = false) {
  PeSpec recipe;
  recipe.pe32_plus = pe32_plus;
  recipe.groups.push_back(IconGroupSpec{"", 1, std::move(images)});
  return recipe;
}

std::optional<IconPicture> FromBytes(const std::string& bytes) {
  const MemoryByteSource source(
      std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
  const std::optional<std::vector<uint8_t>> image = FirstProgramIconImage(source);
  if (!image) return std::nullopt;
  return DecodeIconImage(*image);
}

class IconExtractionTest : public ::testing::Test {
 protected:
  std::optional<IconPicture> IconOf(const std::string& name, const std::string& bytes) {
    test::WriteFileBytes(dir_.file(name), bytes);
    return icons_->FirstIcon(dir_.file(name).string());
  }

  test::TempDir dir_;
  std::unique_ptr<IconExtraction> icons_ = MakeIconExtraction();
};

TEST_F(IconExtractionTest, OnlyFilesAndLinksToFilesAreFiles) {
  test::WriteFileBytes(dir_.file("tool"), "x");
  test::WriteFileBytes(dir_.file("empty"), "");
  std::filesystem::create_directory(dir_.file("folder"));
  std::filesystem::create_symlink(dir_.file("tool"), dir_.file("link"));
  std::filesystem::create_symlink(dir_.file("gone"), dir_.file("dangling"));
  EXPECT_TRUE(icons_->IsExistingFile(dir_.file("tool").string()));
  EXPECT_TRUE(icons_->IsExistingFile(dir_.file("empty").string()));
  EXPECT_TRUE(icons_->IsExistingFile(dir_.file("link").string()));
  EXPECT_FALSE(icons_->IsExistingFile(dir_.file("folder").string()));
  EXPECT_FALSE(icons_->IsExistingFile(dir_.folder()));  // a Path with an empty ExeName
  EXPECT_FALSE(icons_->IsExistingFile(dir_.file("dangling").string()));
  EXPECT_FALSE(icons_->IsExistingFile(dir_.file("missing").string()));
  EXPECT_FALSE(icons_->IsExistingFile(""));
}

TEST_F(IconExtractionTest, ProgramIconIsDecodedInPlaceForBothHeaderKinds) {
  const std::vector<uint32_t> opaque = Pattern(32, 32, false);
  const std::vector<uint32_t> translucent = Pattern(32, 32, true);
  for (bool plus : {false, true}) {
    SCOPED_TRACE(plus ? "PE32+" : "PE32");
    std::optional<IconPicture> dib = IconOf(
        "dib.exe", BuildPe(OneGroup({Image(32, DibIcon(32, 32, translucent, 32))}, plus)).bytes);
    ASSERT_TRUE(dib.has_value());
    ExpectPixels(*dib, translucent);
    std::optional<IconPicture> png =
        IconOf("png.exe", BuildPe(OneGroup({Image(32, PngImage(32, 32, opaque))}, plus)).bytes);
    ASSERT_TRUE(png.has_value());
    ExpectPixels(*png, opaque);
  }
}

TEST_F(IconExtractionTest, EveryBitDepthWithItsMask) {
  // A red and green checker with transparent pixels on slanted lines, so that the mask's
  // bit order and row order both show.
  std::vector<uint32_t> pixels;
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 32; ++x) {
      pixels.push_back((3 * x + y) % 5 == 0 ? 0u : (x + y) % 2 ? kRed : kGreen);
    }
  }
  for (int bits : {1, 4, 8, 24, 32}) {
    SCOPED_TRACE(bits);
    ExpectPixels(
        *IconOf("t.exe", BuildPe(OneGroup({Image(32, DibIcon(32, 32, pixels, bits), bits)})).bytes),
        pixels);
  }
  // 32 bits whose alpha bytes are all 0: the mask decides.
  ExpectPixels(
      *IconOf("m.exe", BuildPe(OneGroup({Image(32, DibIcon(32, 32, pixels, 32, false))})).bytes),
      pixels);
  // No mask at all: every pixel is shown.
  std::optional<IconPicture> bare = IconOf(
      "b.exe", BuildPe(OneGroup({Image(32, DibIcon(32, 32, pixels, 24, true, false), 24)})).bytes);
  ASSERT_TRUE(bare.has_value());
  EXPECT_EQ(bare->pixels[0] >> 24, 0xFFu);
}

TEST_F(IconExtractionTest, TheGroupsThirtyTwoOrElseTheNearestSize) {
  EXPECT_NO_FATAL_FAILURE(ExpectUniform(
      IconOf(
          "a.exe",
          BuildPe(OneGroup({SolidDib(16, kRed), SolidDib(32, kGreen), SolidDib(48, kBlue)})).bytes),
      kGreen));
  // 16 and 48 are equally near; the larger one is scaled down.
  EXPECT_NO_FATAL_FAILURE(ExpectUniform(
      IconOf("b.exe", BuildPe(OneGroup({SolidDib(16, kRed), SolidDib(48, kBlue)})).bytes), kBlue));
  // 16 is nearer than 64 and is scaled up; a 256 image is declared as 0.
  EXPECT_NO_FATAL_FAILURE(ExpectUniform(
      IconOf("c.exe", BuildPe(OneGroup({Image(256, PngImage(256, 256, Solid(256, 256, kBlue))),
                                        SolidDib(64, kRed), SolidDib(16, kGreen)}))
                          .bytes),
      kGreen));
  // Of two at 32 × 32 the one with more colours.
  std::vector<uint32_t> two(32 * 32, kRed);
  EXPECT_NO_FATAL_FAILURE(ExpectUniform(
      IconOf("d.exe",
             BuildPe(OneGroup({Image(32, DibIcon(32, 32, two, 4), 4), SolidDib(32, kBlue)})).bytes),
      kBlue));
}

TEST_F(IconExtractionTest, TheFirstGroupInDirectoryOrder) {
  PeSpec recipe;
  recipe.groups.push_back(IconGroupSpec{"MAINICON", 0, {SolidDib(32, kRed)}});
  recipe.groups.push_back(IconGroupSpec{"", 1, {SolidDib(32, kGreen)}});
  EXPECT_NO_FATAL_FAILURE(ExpectUniform(IconOf("named.exe", BuildPe(recipe).bytes), kRed));
  recipe.groups = {IconGroupSpec{"", 7, {SolidDib(32, kBlue)}},
                 IconGroupSpec{"", 2, {SolidDib(32, kGreen)}}};
  EXPECT_NO_FATAL_FAILURE(ExpectUniform(IconOf("ids.exe", BuildPe(recipe).bytes), kBlue));
}

TEST_F(IconExtractionTest, ImageFilesGiveTheirOwnPicture) {
  const std::vector<uint32_t> pattern = Pattern(32, 32, true);
  ExpectPixels(*IconOf("icon.png", PngImage(32, 32, pattern)), pattern);
  EXPECT_NO_FATAL_FAILURE(
      ExpectUniform(IconOf("big.png", PngImage(64, 64, Solid(64, 64, kGreen))), kGreen));
  // The name does not matter, the content does.
  EXPECT_NO_FATAL_FAILURE(
      ExpectUniform(IconOf("picture", PngImage(8, 8, Solid(8, 8, kBlue))), kBlue));
  // An icon file: its 32 × 32 image.
  EXPECT_NO_FATAL_FAILURE(ExpectUniform(
      IconOf("tool.ico", BuildIconFile({SolidDib(16, kRed), SolidDib(32, kGreen),
                                        Image(48, PngImage(48, 48, Solid(48, 48, kBlue)))})),
      kGreen));

  // A wide picture keeps its proportions, centred on transparency.
  std::optional<IconPicture> wide = IconOf("wide.png", PngImage(64, 32, Solid(64, 32, kRed)));
  ASSERT_TRUE(wide.has_value());
  std::vector<uint32_t> expected(32 * 32, 0);
  std::fill(expected.begin() + 8 * 32, expected.begin() + 24 * 32, kRed);
  ExpectPixels(*wide, expected);

  auto encoded = [](const char* format, int side, uint32_t colour) {
    QImage image(side, side, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, format));
    return bytes.toStdString();
  };
  EXPECT_NO_FATAL_FAILURE(ExpectUniform(IconOf("t.bmp", encoded("BMP", 32, kBlue)), kBlue));
  std::optional<IconPicture> jpeg = IconOf("t.jpg", encoded("JPEG", 200, 0xFF2060A0u));
  ASSERT_TRUE(jpeg.has_value());
  const uint32_t centre = jpeg->pixels[16 * 32 + 16];
  EXPECT_EQ(centre >> 24, 0xFFu);
  EXPECT_NEAR(static_cast<int>((centre >> 16) & 0xFF), 0x20, 6);
  EXPECT_NEAR(static_cast<int>((centre >> 8) & 0xFF), 0x60, 6);
  EXPECT_NEAR(static_cast<int>(centre & 0xFF), 0xA0, 6);
}

TEST_F(IconExtractionTest, PicturesTooLargeToBeWorthTheirCostGiveNone) {
  // More than 256 on a side, as the header says: never decoded, whatever the format.
  EXPECT_FALSE(IconOf("wide.png", PngImage(257, 8, Solid(257, 8, kRed))).has_value());
  QImage tall(8, 300, QImage::Format_RGB32);
  tall.fill(kRed);
  QByteArray jpeg;
  QBuffer buffer(&jpeg);
  buffer.open(QIODevice::WriteOnly);
  ASSERT_TRUE(tall.save(&buffer, "JPEG"));
  EXPECT_FALSE(IconOf("tall.jpg", jpeg.toStdString()).has_value());
  EXPECT_FALSE(IconOf("in.ico", BuildIconFile({Image(256, PngImage(512, 512, Solid(512, 512, kRed)))})).has_value());
  // 256 × 256 is still a picture.
  EXPECT_NO_FATAL_FAILURE(
      ExpectUniform(IconOf("full.png", PngImage(256, 256, Solid(256, 256, kGreen))), kGreen));

  // A small picture in a file of more than 1 MiB (bytes after the image) gives none.
  std::string padded = PngImage(32, 32, Solid(32, 32, kBlue));
  padded.resize(kMaxIconFileBytes, '\0');
  EXPECT_NO_FATAL_FAILURE(ExpectUniform(IconOf("at-bound.png", padded), kBlue));
  padded.push_back('\0');
  EXPECT_FALSE(IconOf("padded.png", padded).has_value());
}

TEST_F(IconExtractionTest, AnythingElseHasNoIcon) {
  EXPECT_FALSE(IconOf("empty", "").has_value());
  EXPECT_FALSE(IconOf("notes.txt", "just some text\n").has_value());
  EXPECT_FALSE(IconOf("fake.png", "not a picture at all").has_value());
  EXPECT_FALSE(IconOf("elf", std::string("\x7F"
                                         "ELF\x02\x01\x01",
                                         7) +
                                 std::string(200, '\0'))
                   .has_value());
  EXPECT_FALSE(
      IconOf("broken.png", PngImage(32, 32, Solid(32, 32, kRed)).substr(0, 40)).has_value());
  EXPECT_FALSE(IconOf("noicons.exe", BuildPe(PeSpec{}).bytes).has_value());
  EXPECT_FALSE(IconOf("dos.exe", "MZ" + std::string(100, '\0')).has_value());
  EXPECT_FALSE(icons_->FirstIcon(dir_.file("missing.exe").string()).has_value());
  EXPECT_FALSE(icons_->FirstIcon(dir_.folder()).has_value());
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
