#include <filesystem>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "platform/icon_extraction.h"
#include "support/pe_builder.h"
#include "support/temp_dir.h"

namespace rk5::platform {
namespace {

constexpr uint32_t kRed = 0xFFFF0000u;
constexpr uint32_t kGreen = 0xFF00FF00u;
constexpr uint32_t kBlue = 0xFF0000FFu;
constexpr uint32_t kYellow = 0xFFFFFF00u;

const std::string kElf = std::string("\x7f" "ELF\x02\x01\x01", 7) + std::string(200, '\0');

std::string Png(uint32_t colour) { return test::PngImage(16, 16, test::Solid(16, 16, colour)); }

std::string Svg(const char* colour) {
  return std::string("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"640\" height=\"640\">"
                     "<rect width=\"640\" height=\"640\" fill=\"") + colour + "\"/></svg>\n";
}

const char kXpm[] =
    "/* XPM */\nstatic char *tool[] = {\n\"4 4 1 1\",\n\". c #FFFF00\",\n"
    "\"....\",\n\"....\",\n\"....\",\n\"....\"};\n";

// The colour of the picture's centre, or 0 when there is no 32 × 32 picture.
uint32_t Centre(const std::optional<IconPicture>& picture) {
  if (!picture || picture->width != 32 || picture->height != 32) return 0;
  return picture->pixels[16 * 32 + 16];
}

class IconBesideTest : public ::testing::Test {
 protected:
  std::string Put(const std::string& name, const std::string& bytes) {
    test::WriteFileBytes(dir_.file(name), bytes);
    return dir_.file(name).string();
  }
  uint32_t IconOf(const std::string& name) { return Centre(icons_->FirstIcon(dir_.file(name).string())); }

  test::TempDir dir_;
  std::unique_ptr<IconExtraction> icons_ = MakeIconExtraction();
};

TEST_F(IconBesideTest, ALinuxToolShowsTheImageBesideItNamedLikeIt) {
  Put("tool", kElf);
  Put("tool.png", Png(kBlue));
  Put("run.sh", "#!/bin/sh\n");
  Put("run.svg", Svg("#00ff00"));
  Put("app", kElf);
  Put("app.xpm", kXpm);
  Put("old.exe", kElf);
  Put("old.ico", test::BuildIconFile({{32, 32, 32, test::PngImage(32, 32, test::Solid(32, 32, kRed))}}));
  Put(".hidden", kElf);
  Put(".hidden.png", Png(kGreen));
  EXPECT_EQ(IconOf("tool"), kBlue);
  EXPECT_EQ(IconOf("run.sh"), kGreen);
  EXPECT_EQ(IconOf("app"), kYellow);
  EXPECT_EQ(IconOf("old.exe"), kRed);
  EXPECT_EQ(IconOf(".hidden"), kGreen);
  // The images give their own pictures.
  EXPECT_EQ(IconOf("run.svg"), kGreen);
  EXPECT_EQ(IconOf("tool.png"), kBlue);
}

TEST_F(IconBesideTest, TheFilesOwnIconsComeFirstThenTheImagesInTheirOrder) {
  test::PeSpec recipe;
  recipe.groups.push_back({"", 1, {{32, 32, 32, test::PngImage(32, 32, test::Solid(32, 32, kRed))}}});
  Put("prog.exe", test::BuildPe(recipe).bytes);
  Put("prog.png", Png(kBlue));
  EXPECT_EQ(IconOf("prog.exe"), kRed);

  Put("tool", kElf);
  Put("tool.svg", Svg("#0000ff"));
  Put("tool.xpm", kXpm);
  EXPECT_EQ(IconOf("tool"), kBlue);
  Put("tool.png", "damaged, not a picture");  // a damaged image is passed over
  EXPECT_EQ(IconOf("tool"), kBlue);
  Put("tool.svg", "<svg");
  EXPECT_EQ(IconOf("tool"), kYellow);

  // No file, no icon, whatever lies beside the name; a folder is no file either.
  Put("gone.png", Png(kBlue));
  EXPECT_EQ(IconOf("gone"), 0u);
  std::filesystem::create_directory(dir_.file("folder"));
  Put("folder.png", Png(kBlue));
  EXPECT_EQ(IconOf("folder"), 0u);
  // Drawings that would not fit in memory are not read.
  Put("huge", kElf);
  Put("huge.xpm", "/* XPM */\nstatic char *h[] = {\n\"100000 100000 1 1\",\n\". c #FFFF00\",\n\"..\"};\n");
  EXPECT_EQ(IconOf("huge"), 0u);
}

}  // namespace
}  // namespace rk5::platform
