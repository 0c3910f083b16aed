#include "net/split_url.h"

#include <gtest/gtest.h>

namespace rk5 {
namespace {

void ExpectSplit(const std::string& url, const std::string& host, const std::string& path) {
  const UrlParts parts = SplitUrl(url);
  EXPECT_EQ(parts.host, host) << url;
  EXPECT_EQ(parts.path, path) << url;
}

TEST(HttpSplitUrl, PrefixIsOptionalInAnyCase) {
  for (const char* url : {"http://example.test/dir/file.zip?x=1&y=2", "HTTP://example.test/dir/file.zip?x=1&y=2",
                          "Http://example.test/dir/file.zip?x=1&y=2", "example.test/dir/file.zip?x=1&y=2"}) {
    ExpectSplit(url, "example.test", "/dir/file.zip?x=1&y=2");
  }
}

TEST(HttpSplitUrl, PathStartsAtTheFirstSlashAfterTheHost) {
  ExpectSplit("http://example.test/", "example.test", "/");
  ExpectSplit("http://example.test//a//b/", "example.test", "//a//b/");
  ExpectSplit("http://example.test/a?next=/b/c", "example.test", "/a?next=/b/c");
}

TEST(HttpSplitUrl, NoSlashAfterTheHostLeavesTheHostEmpty) {
  ExpectSplit("http://example.test", "", "example.test");
  ExpectSplit("example.test?x=1", "", "example.test?x=1");
  ExpectSplit("", "", "");
  ExpectSplit("http://", "", "");
}

TEST(HttpSplitUrl, PortAndUserNameStayInTheHost) {
  ExpectSplit("http://example.test:8080/x", "example.test:8080", "/x");
  ExpectSplit("http://user:pw@example.test/x", "user:pw@example.test", "/x");
}

TEST(HttpSplitUrl, OtherSchemesStayInFrontOfTheHost) {
  ExpectSplit("HTTPS://example.test:99999/x", "example.test:99999", "/x");  // no port: no host
  ExpectSplit("ftp://example.test/x", "ftp:", "//example.test/x");
}

TEST(HttpSplitUrl, HttpPrefixAnywhereDropsTheFirstSevenCharacters) {
  // The match is looked for anywhere, but the cut is always at the front.
  ExpectSplit("ftp://x/?u=http://y/z", "", "/?u=http://y/z");
  ExpectSplit("example.test/go?to=HTTP://other/", ".test", "/go?to=HTTP://other/");
}

}  // namespace
}  // namespace rk5
