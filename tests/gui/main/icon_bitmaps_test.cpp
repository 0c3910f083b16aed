#include "gui/main/icon_bitmaps.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/icon_extraction.h"
#include "support/pe_builder.h"
#include "support/temp_dir.h"

namespace rk5 {
namespace {

constexpr uint32_t kOpaque = 0xFF000000u;
// The list background dimmed: #313532 moved 45 and 30 percent toward #303030.
constexpr uint32_t kPlainNormal = kOpaque | 0x313331;    // 48.55, 50.75, 49.1
constexpr uint32_t kPlainSelected = kOpaque | 0x313431;  // 48.7, 51.5 (to even), 49.4

TEST(IconBlend, ChannelMovesTowardTheTargetByThePercentage) {
  EXPECT_DOUBLE_EQ(BlendChannel(255, 48, 45), 161.85);
  EXPECT_DOUBLE_EQ(BlendChannel(255, 48, 30), 192.9);
  EXPECT_DOUBLE_EQ(BlendChannel(48, 255, 45), 141.15);  // b > a moves up
  EXPECT_DOUBLE_EQ(BlendChannel(0, 48, 100), 48.0);
  EXPECT_DOUBLE_EQ(BlendChannel(77, 77, 45), 77.0);
  EXPECT_DOUBLE_EQ(BlendChannel(200, 10, 0), 200.0);
}

TEST(IconBlend, ColourRoundsEachChannelWithHalvesToEven) {
  EXPECT_EQ(BlendColor(0xFFFFFF, 0x303030u, 45), 0xA2A2A2u);  // 162
  EXPECT_EQ(BlendColor(0xFFFFFF, 0x303030u, 30), 0xC1C1C1u);  // 193
  // Each channel moves 10 by 5 percent, a half: 0.5 → 0, 1.5 → 2, 10.5 → 10, 11.5 → 12.
  EXPECT_EQ(BlendColor(0x00010B, 0x0A0B01, 5), 0x00020Au);
  EXPECT_EQ(BlendColor(0x0C0000, 0x020000, 5), 0x0C0000u);  // 11.5 → 12
  // Below and above a half.
  EXPECT_EQ(BlendColor(0x000000, 0x0A0A0A, 4), 0x000000u);  // 0.4
  EXPECT_EQ(BlendColor(0x000000, 0x0A0A0A, 6), 0x010101u);  // 0.6
  // Equal channels stay; the others move.
  EXPECT_EQ(BlendColor(0x30FF00, 0x303030, 50), 0x309818u);  // 48, 151.5 → 152, 24
}

TEST(IconBlend, PercentIsCappedAndHighBytesIgnored) {
  EXPECT_EQ(BlendColor(0x102030, 0xF0E0D0, 100), 0xF0E0D0u);
  EXPECT_EQ(BlendColor(0x102030, 0xF0E0D0, 250), 0xF0E0D0u);
  EXPECT_EQ(BlendColor(0x102030, 0xF0E0D0, -20), 0x102030u);
  EXPECT_EQ(BlendColor(0xFF102030, 0x7F102030, 45), 0x102030u);
  EXPECT_EQ(NearestColor(0x123456), 0x123456u);
}

TEST(IconBlend, DimmingTouchesEveryPixelAndKeepsAlpha) {
  IconBitmap b{2, 2, {kOpaque | 0xFFFFFF, 0x80FFFFFF, kOpaque | 0x303030, kOpaque}};
  DimBitmap(b, 45);
  EXPECT_EQ(b.pixels, (std::vector<uint32_t>{kOpaque | 0xA2A2A2, 0x80A2A2A2, kOpaque | 0x303030,
                                             kOpaque | 0x161616}));  // 0 → 21.6
  IconBitmap capped{1, 1, {kOpaque | 0xFFFFFF}};
  DimBitmap(capped, 1000);
  EXPECT_EQ(capped.pixels[0], kOpaque | 0x303030u);
  IconBitmap short_rows{4, 4, {kOpaque | 0xFFFFFF}};  // fewer pixels than its size says
  DimBitmap(short_rows, 45);
  EXPECT_EQ(short_rows.pixels.size(), 1u);
}

TEST(IconBitmapMaking, TheIconIsDrawnOverTheBackgroundWithItsTransparency) {
  IconBitmap icon{32, 32, std::vector<uint32_t>(32 * 32, 0x00FF0000)};  // transparent red
  icon.pixels[0] = kOpaque | 0xFFFFFF;                                  // opaque white
  icon.pixels[1] = 0x80FFFFFF;                                          // half transparent white
  icon.pixels[32 * 31 + 31] = kOpaque;  // opaque black, bottom right
  const IconBitmap normal = MakeIconBitmap(&icon, kIconNormalPercent);
  ASSERT_EQ(normal.width, 32);
  ASSERT_EQ(normal.height, 32);
  ASSERT_EQ(normal.pixels.size(), 32u * 32);
  EXPECT_EQ(normal.pixels[0], kOpaque | 0xA2A2A2);
  // White at 128/255 over #313532 gives 152, 154, 153; then 105.2, 106.3, 105.75.
  EXPECT_EQ(normal.pixels[1], kOpaque | 0x696A6A);
  EXPECT_EQ(normal.pixels[2], kPlainNormal);
  EXPECT_EQ(normal.pixels[32 * 31 + 31], kOpaque | 0x161616);
  EXPECT_EQ(MakeIconBitmap(&icon, kIconSelectedPercent).pixels[0], kOpaque | 0xC1C1C1);
}

TEST(IconBitmapMaking, WithoutAnIconOnlyTheDimmedBackground) {
  EXPECT_EQ(MakeIconBitmap(nullptr, 45).pixels, std::vector<uint32_t>(32 * 32, kPlainNormal));
  EXPECT_EQ(MakeIconBitmap(nullptr, 30).pixels, std::vector<uint32_t>(32 * 32, kPlainSelected));
  // A smaller icon covers only its corner; a damaged one is not drawn at all.
  IconBitmap small{2, 1, {kOpaque | 0xFFFFFF, kOpaque | 0xFFFFFF}};
  const IconBitmap drawn = MakeIconBitmap(&small, 45);
  EXPECT_EQ(drawn.pixels[1], kOpaque | 0xA2A2A2);
  EXPECT_EQ(drawn.pixels[2], kPlainNormal);
  EXPECT_EQ(drawn.pixels[32], kPlainNormal);
  IconBitmap damaged{32, 32, {kOpaque | 0xFFFFFF}};
  EXPECT_EQ(MakeIconBitmap(&damaged, 45).pixels[0], kPlainNormal);
}

TProgram Built(const IconBuilder& build, const std::string& path, const std::string& exe) {
  TProgram entry;
  entry.Path = path;
  entry.ExeName = exe;
  build(entry);
  return entry;
}

// Answers from a table of paths; counts what it is asked.
class TableIcons final : public platform::IconExtraction {
 public:
  bool IsExistingFile(const std::string& path) override {
    asked.push_back(path);
    return files.count(path) != 0;
  }
  std::optional<platform::IconPicture> FirstIcon(const std::string& path) override {
    ++extractions;
    return files.at(path);
  }
  std::map<std::string, std::optional<platform::IconPicture>> files;
  std::vector<std::string> asked;
  int extractions = 0;
};

TEST(IconBuilding, BitmapsOnlyForAnExistingFileAndBothOfThem) {
  TableIcons icons;
  icons.files["/t/tool.exe"] =
      platform::IconPicture{32, 32, std::vector<uint32_t>(1024, kOpaque | 0xFFFFFF)};
  icons.files["/t/plain"] = std::nullopt;
  const IconBuilder build = MakeIconBuilder(icons);

  TProgram missing = Built(build, "/t/", "gone.exe");
  EXPECT_EQ(icons.asked.back(), "/t/gone.exe");
  EXPECT_EQ(missing.IconNormal, nullptr);
  EXPECT_EQ(missing.IconSelected, nullptr);
  EXPECT_EQ(icons.extractions, 0);

  TProgram plain = Built(build, "/t/", "plain");
  ASSERT_NE(plain.IconNormal, nullptr);
  ASSERT_NE(plain.IconSelected, nullptr);
  EXPECT_EQ(plain.IconNormal->pixels, std::vector<uint32_t>(1024, kPlainNormal));
  EXPECT_EQ(plain.IconSelected->pixels, std::vector<uint32_t>(1024, kPlainSelected));

  TProgram tool = Built(build, "/t/", "tool.exe");
  ASSERT_NE(tool.IconNormal, nullptr);
  ASSERT_NE(tool.IconSelected, nullptr);
  EXPECT_EQ(tool.IconNormal->pixels, std::vector<uint32_t>(1024, kOpaque | 0xA2A2A2));
  EXPECT_EQ(tool.IconSelected->pixels, std::vector<uint32_t>(1024, kOpaque | 0xC1C1C1));
  EXPECT_EQ(icons.extractions, 2);  // one extraction per entry, both bitmaps from it
}

TEST(IconBuilding, RealFilesThroughTheCatalogue) {
  test::TempDir dir;
  const std::vector<uint32_t> red(32 * 32, 0xFFFF0000u);
  test::PeSpec recipe;
  recipe.groups.push_back({"", 1, {{32, 32, 32, test::DibIcon(32, 32, red, 32)}}});
  test::WriteFileBytes(dir.file("tool.exe"), test::BuildPe(recipe).bytes);
  test::WriteFileBytes(dir.file("logo.png"), test::PngImage(32, 32, red));
  test::WriteFileBytes(dir.file("run.sh"), "#!/bin/sh\necho hi\n");
  test::WriteFileBytes(dir.file("empty"), "");
  const std::string p = "Path=" + dir.folder() + "\n";
  const IniDocument local = IniDocument::Parse(
      "[Pe]\n" + p + "ExeName=tool.exe\n[Png]\n" + p + "ExeName=logo.png\n[Script]\n" + p +
      "ExeName=run.sh\n[Empty]\n" + p + "ExeName=empty\n[Gone]\n" + p + "ExeName=nothing\n" +
      "[NoExe]\n" + p + "[Rk5Helper]\n" + p + "ExeName=tool.exe\n");
  std::unique_ptr<platform::IconExtraction> icons = platform::MakeIconExtraction();
  const std::vector<TProgram> entries = LoadPrograms(local, MakeIconBuilder(*icons));
  ASSERT_EQ(entries.size(), 6u);
  // Red dimmed: 255 → 162 and 0 → 21.6 at 45 percent; 193 and 14.4 at 30.
  for (int i : {0, 1}) {
    SCOPED_TRACE(entries[i].Section);
    ASSERT_NE(entries[i].IconNormal, nullptr);
    ASSERT_NE(entries[i].IconSelected, nullptr);
    EXPECT_EQ(entries[i].IconNormal->pixels, std::vector<uint32_t>(1024, kOpaque | 0xA21616));
    EXPECT_EQ(entries[i].IconSelected->pixels, std::vector<uint32_t>(1024, kOpaque | 0xC10E0E));
  }
  for (int i : {2, 3}) {
    SCOPED_TRACE(entries[i].Section);
    ASSERT_NE(entries[i].IconNormal, nullptr);
    ASSERT_NE(entries[i].IconSelected, nullptr);
    EXPECT_EQ(entries[i].IconNormal->pixels, std::vector<uint32_t>(1024, kPlainNormal));
  }
  // A missing file, and a Path without ExeName (a folder): neither bitmap.
  for (int i : {4, 5}) {
    EXPECT_EQ(entries[i].IconNormal, nullptr) << entries[i].Section;
    EXPECT_EQ(entries[i].IconSelected, nullptr) << entries[i].Section;
  }
}

}  // namespace
}  // namespace rk5
