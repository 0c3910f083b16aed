#include "catalogue/catalogue_merge.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace rk5 {
namespace {

using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

TEST(CatalogueMerge, RemoteKeysWinLocalOnesStayNewSectionsComeLast) {
  TempDir dir;
  WriteFileBytes(dir.file("Local.ini"),
                 "[Old]\nName=Gone from the catalogue\n"
                 "[Hex]\nName=Hex 1\nBuild=3\nInstalled=1\nPath=/opt/Rk5/Hex/\n");
  IniDocument remote = IniDocument::Parse(
      "[hex]\nname=Hex 2\nOBuild=4\nInstalled=1\nEmpty=\n"
      "[New]\nName=Fresh\n"
      "[Rk5Helper]\nBuild=2\nURL=http://x/rk5helper\n");
  IniFile local(dir.file("Local.ini").string());
  ASSERT_TRUE(MergeCatalogue(remote, local));
  EXPECT_EQ(ReadFileBytes(dir.file("Local.ini")),
            "[Old]\nName=Gone from the catalogue\n"
            "[Hex]\nName=Hex 2\nBuild=3\nInstalled=1\nPath=/opt/Rk5/Hex/\nOBuild=4\nEmpty=\n"
            "[New]\nName=Fresh\n"
            "[Rk5Helper]\nBuild=2\nURL=http://x/rk5helper\n");
}

TEST(CatalogueMerge, AnEmptyOrJunkCatalogueChangesNothing) {
  TempDir dir;
  std::string before = "[Tool]\r\nName=T\r\n";
  WriteFileBytes(dir.file("Local.ini"), before);
  IniFile local(dir.file("Local.ini").string());
  ASSERT_TRUE(MergeCatalogue(IniDocument::Parse(""), local));
  ASSERT_TRUE(MergeCatalogue(IniDocument::Parse("<html><body>502 Bad Gateway</body></html>\n"),
                             local));
  EXPECT_EQ(ReadFileBytes(dir.file("Local.ini")), before);
}

}  // namespace
}  // namespace rk5
