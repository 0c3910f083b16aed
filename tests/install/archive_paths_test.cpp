// The path rules: base folder normal form, mask matching and where a stored name lands.
#include <gtest/gtest.h>

#include "install/archive_paths.h"

namespace rk5 {
namespace {

TEST(BaseDirectoryForm, DropsOneTrailingSeparatorButKeepsRoots) {
  EXPECT_EQ(NormaliseBaseDirectory("/opt/Rk5/", '/'), "/opt/Rk5");
  EXPECT_EQ(NormaliseBaseDirectory("/opt/Rk5", '/'), "/opt/Rk5");
  EXPECT_EQ(NormaliseBaseDirectory("/", '/'), "/");
  EXPECT_EQ(NormaliseBaseDirectory("", '/'), "");
  // The drive-root rule, with this system's separator and with the Windows one.
  EXPECT_EQ(NormaliseBaseDirectory("C:\\Program Files\\Rk5\\", '\\'), "C:\\Program Files\\Rk5");
  EXPECT_EQ(NormaliseBaseDirectory("C:\\", '\\'), "C:\\");
  EXPECT_EQ(NormaliseBaseDirectory("C:/", '/'), "C:/");
  // A backslash is part of a folder name here, not a separator.
  EXPECT_EQ(NormaliseBaseDirectory("/opt/odd\\", '/'), "/opt/odd\\");
}

TEST(MaskMatching, StarDotStarTakesEveryFileAndNoFolder) {
  for (const char* mask : {"*.*", "*"}) {
    EXPECT_TRUE(MatchesMask("Foo/bin/tool.exe", mask));
    EXPECT_TRUE(MatchesMask("Foo/README", mask)) << "a name without a dot";
    EXPECT_TRUE(MatchesMask("README", mask));
    EXPECT_FALSE(MatchesMask("Foo/empty/", mask));
    EXPECT_FALSE(MatchesMask("Foo\\empty\\", mask)) << "a folder entry written on Windows";
    EXPECT_FALSE(MatchesMask("", mask));
  }
}

TEST(MaskMatching, OtherMasksAreWildcardsOnTheStoredName) {
  EXPECT_TRUE(MatchesMask("Foo/bin/TOOL.EXE", "*.exe"));
  EXPECT_TRUE(MatchesMask("foo/bin/tool.exe", "FOO/*"));
  EXPECT_TRUE(MatchesMask("Foo\\bin\\tool.exe", "foo/bin/*.exe")) << "either separator";
  EXPECT_TRUE(MatchesMask("Foo/a1.txt", "Foo/a?.txt"));
  EXPECT_FALSE(MatchesMask("Foo/a12.txt", "Foo/a?.txt"));
  EXPECT_FALSE(MatchesMask("Foo/readme.txt", "*.exe"));
  EXPECT_FALSE(MatchesMask("Foo/bin/", "Foo/*")) << "folder entries are never taken";
  EXPECT_TRUE(MatchesMask("Foo/tool.exe", "Foo/tool.exe"));
  EXPECT_FALSE(MatchesMask("Foo/tool.exe.bak", "Foo/tool.exe"));
}

TEST(MaskMatching, LongNamesAgainstManyStarsStayCheap) {
  std::string name(60000, 'a');
  EXPECT_FALSE(MatchesMask(name, "*a*a*a*a*a*a*a*a*b"));
  EXPECT_TRUE(MatchesMask(name + ".txt", "*a*a*a*.TXT"));
}

TEST(TargetPaths, RestorePathKeepsFoldersWithThisSystemsSeparator) {
  EXPECT_EQ(TargetPathFor("/x", "Foo/bin/tool.exe", true, '/').path, "/x/Foo/bin/tool.exe");
  EXPECT_EQ(TargetPathFor("/x", "Foo\\bin\\tool.exe", true, '/').path, "/x/Foo/bin/tool.exe");
  EXPECT_EQ(TargetPathFor("/x", "Foo//./bin/tool.exe", true, '/').path, "/x/Foo/bin/tool.exe");
  EXPECT_EQ(TargetPathFor("/", "Foo/tool", true, '/').path, "/Foo/tool");
  EXPECT_EQ(TargetPathFor("", "Foo/tool", true, '/').path, "Foo/tool") << "relative to here";
  EXPECT_EQ(TargetPathFor("C:\\", "Foo/tool", true, '\\').path, "C:\\Foo\\tool");
  EXPECT_EQ(TargetPathFor("C:\\X", "Foo/bin/tool.exe", true, '\\').path, "C:\\X\\Foo\\bin\\tool.exe");
}

TEST(TargetPaths, WithoutRestorePathOnlyTheFilePartIsUsed) {
  EXPECT_EQ(TargetPathFor("/x", "Foo/bin/tool.exe", false, '/').path, "/x/tool.exe");
  EXPECT_EQ(TargetPathFor("/x", "Foo\\bin\\tool.exe", false, '/').path, "/x/tool.exe");
  // The folders are dropped, so a climbing name cannot climb.
  EXPECT_EQ(TargetPathFor("/x", "../../etc/passwd", false, '/').path, "/x/passwd");
}

TEST(TargetPaths, NamesThatWouldLeaveTheBaseFolderAreRefused) {
  for (const char* name : {"../evil", "Foo/../../evil", "Foo/..", "..\\evil", "Foo\\..\\..\\evil",
                           "/etc/passwd", "\\evil", "\\\\server\\share\\evil", "C:\\evil",
                           "c:evil", "C:/evil", "Foo/bar/../../../evil"}) {
    TargetPath t = TargetPathFor("/x", name, true, '/');
    EXPECT_EQ(t.refused, ExtractFailure::kOutsideBaseFolder) << name;
    EXPECT_TRUE(t.path.empty()) << name;
  }
  EXPECT_EQ(TargetPathFor("/x", "Foo/..", false, '/').refused, ExtractFailure::kOutsideBaseFolder);
  EXPECT_EQ(TargetPathFor("/x", "Foo/c:evil", false, '/').refused,
            ExtractFailure::kOutsideBaseFolder);
  // A ".." inside a longer step is an ordinary name.
  EXPECT_EQ(TargetPathFor("/x", "Foo/..bar/a..b", true, '/').path, "/x/Foo/..bar/a..b");
}

TEST(TargetPaths, NamesNoFileCanHaveAreRefused) {
  EXPECT_EQ(TargetPathFor("/x", "Foo/bad\x01name", true, '/').refused,
            ExtractFailure::kFileNotCreated);
  EXPECT_EQ(TargetPathFor("/x", "Foo\x1b[2J/x", true, '/').refused, ExtractFailure::kFileNotCreated);
  EXPECT_EQ(TargetPathFor("/x", "Foo/.", true, '/').refused, ExtractFailure::kFileNotCreated);
  EXPECT_EQ(TargetPathFor("/x", "Foo/", true, '/').refused, ExtractFailure::kFileNotCreated);
  EXPECT_EQ(TargetPathFor("/x", "", true, '/').refused, ExtractFailure::kFileNotCreated);
}

TEST(TargetPaths, FolderOfStopsAtTheLastSeparator) {
  EXPECT_EQ(FolderOf("/x/Foo/tool", '/'), "/x/Foo");
  EXPECT_EQ(FolderOf("/tool", '/'), "/");
  EXPECT_EQ(FolderOf("tool", '/'), "");
  EXPECT_EQ(FolderOf("C:\\tool", '\\'), "C:\\");
  EXPECT_EQ(FolderOf("C:\\X\\tool", '\\'), "C:\\X");
}

}  // namespace
}  // namespace rk5
