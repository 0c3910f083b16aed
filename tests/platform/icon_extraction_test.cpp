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

#include "platform/icon_test_pictures.h"
#include "support/pe_builder.h"
#include "support/temp_dir.h"

namespace rk5::platform {
namespace {

using namespace icon_test;

using test::BuildIconFile;
using test::BuildPe;
using test::DibIcon;
using test::IconGroupSpec;
using test::IconImageSpec;
using test::PeSpec;
using test::PngImage;
using test::Solid;

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

}  // namespace
}  // namespace rk5::platform
