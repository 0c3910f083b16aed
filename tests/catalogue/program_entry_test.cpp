#include "catalogue/program_entry.h"

#include <gtest/gtest.h>

namespace rk5 {
namespace {

TProgram Entry(const std::string& section_body) {
  return FillProgram(IniDocument::Parse("[Tool]\n" + section_body), "Tool");
}

TEST(ProgramEntry, AnAlmostEmptySectionGetsTheDefaults) {
  TProgram p = Entry("Name=Hex\nOBuild=3\n");
  EXPECT_EQ(p.Name, "Hex");
  EXPECT_EQ(p.By, "<unknown>");
  EXPECT_EQ(p.DL, "<none>");
  EXPECT_EQ(p.Path, "<none>");
  EXPECT_EQ(p.ReadMe, "");
  EXPECT_EQ(p.ExeName, "");
  EXPECT_EQ(p.Version, "");
  EXPECT_EQ(p.OVersion, "");
  EXPECT_EQ(p.Build, 0);
  EXPECT_EQ(p.OBuild, 3);
  EXPECT_EQ(p.Section, "Tool");
  EXPECT_FALSE(p.Installed);
  EXPECT_FALSE(p.Outdated);
  EXPECT_EQ(p.IconNormal, nullptr);
  EXPECT_EQ(Entry("").Name, "<none>");
}

TEST(ProgramEntry, StateFollowsInstalledAndTheTwoBuilds) {
  struct Case {
    const char* keys;
    bool installed, outdated;
  } cases[] = {
      {"Installed=1\nBuild=4\nOBuild=4\n", true, false},   // ready
      {"Installed=1\nBuild=4\nOBuild=5\n", true, true},    // outdated
      {"Installed=1\nBuild=5\nOBuild=4\n", true, false},   // newer than the offer
      {"Installed=0\nBuild=1\nOBuild=5\n", false, false},  // not installed is never outdated
      {"Installed=2\nBuild=1\nOBuild=5\n", false, false},  // only 1 means installed
      {"Installed=yes\nOBuild=5\n", false, false},
      {"Installed=0x1\nBuild=-1\nOBuild=0\n", true, true},  // signed comparison
      {"Installed=1\nBuild=$FFFFFFFF\nOBuild=0\n", true, true},
  };
  for (const Case& c : cases) {
    TProgram p = Entry(c.keys);
    EXPECT_EQ(p.Installed, c.installed) << c.keys;
    EXPECT_EQ(p.Outdated, c.outdated) << c.keys;
  }
  EXPECT_EQ(Entry("OBuild=0x10\n").OBuild, 16);
  EXPECT_EQ(Entry("OBuild=ten\n").OBuild, 0);
}

TEST(ProgramEntry, IconsAreBuiltBeforeTheStateAndVersionsAreReadLast) {
  IniDocument doc = IniDocument::Parse("[T]\nPath=/x/\nExeName=t\nInstalled=1\nVersion=1.0\n");
  bool called = false;
  TProgram p = FillProgram(doc, "T", [&called](TProgram& e) {
    called = true;
    EXPECT_EQ(e.Path, "/x/");
    EXPECT_EQ(e.ExeName, "t");
    EXPECT_EQ(e.Section, "T");
    EXPECT_FALSE(e.Installed);  // the state comes after the icons
    EXPECT_EQ(e.Version, "");
  });
  EXPECT_TRUE(called);
  EXPECT_TRUE(p.Installed);
  EXPECT_EQ(p.Version, "1.0");
}

TEST(ProgramEntry, LoadingSkipsOnlyTheProgramsOwnSectionSpeltExactly) {
  IniDocument doc = IniDocument::Parse(
      "[b]\nName=B\n[Rk5Helper]\nBuild=3\n[a]\nName=A\n[RK5HELPER]\nName=Odd\n");
  std::vector<TProgram> list = LoadPrograms(doc);
  ASSERT_EQ(list.size(), 2u);  // [RK5HELPER] is the same section as [Rk5Helper]
  EXPECT_EQ(list[0].Section, "b");
  EXPECT_EQ(list[1].Section, "a");

  IniDocument odd = IniDocument::Parse("[rk5helper]\nBuild=3\nURL=http://x/\n[t]\n");
  std::vector<TProgram> with_odd = LoadPrograms(odd);
  ASSERT_EQ(with_odd.size(), 2u);  // other letter case is listed as a tool
  EXPECT_EQ(with_odd[0].Section, "rk5helper");
}

}  // namespace
}  // namespace rk5
