#include "gui/main/list_rows.h"

#include <gtest/gtest.h>

namespace rk5 {
namespace {

TEST(ListRows, EachStateShowsItsVersionInItsColour) {
  TProgram p = FillProgram(
      IniDocument::Parse("[T]\nName=Hex\nVersion=1.0\nOVersion=2.0\nBuild=4\nOBuild=5\n"
                         "Installed=1\nBy=Me\n"),
      "T");
  RowText outdated = TextOfRow(p);
  EXPECT_EQ(outdated.first_line, "Hex 2.0");
  EXPECT_EQ(outdated.first_colour, 0xDEC76Bu);
  EXPECT_EQ(outdated.installed, "(1.0 installed)");
  EXPECT_EQ(outdated.author, "Author: Me");

  p.OBuild = 4;
  ApplyStateRules(p, 1);
  RowText ready = TextOfRow(p);
  EXPECT_EQ(ready.first_line, "Hex 1.0");
  EXPECT_EQ(ready.first_colour, 0xFFFFFFu);
  EXPECT_EQ(ready.installed, "");

  ApplyStateRules(p, 0);
  RowText absent = TextOfRow(p);
  EXPECT_EQ(absent.first_line, "Hex 2.0");
  EXPECT_EQ(absent.first_colour, 0x808080u);

  // A bare section: the name, a blank and an empty version; the unknown author.
  RowText bare = TextOfRow(FillProgram(IniDocument::Parse("[T]\nName=N\nOBuild=3\n"), "T"));
  EXPECT_EQ(bare.first_line, "N ");
  EXPECT_EQ(bare.author, "Author: <unknown>");
}

}  // namespace
}  // namespace rk5
