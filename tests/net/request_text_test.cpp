#include "net/request_text.h"

#include <gtest/gtest.h>

#include <string>

#include "net/fetch_size.h"

namespace rk5 {
namespace {

TEST(HttpRequestText, HostNamesAndAddressesPass) {
  for (const char* host : {"example.test", "EXAMPLE.test", "localhost", "127.0.0.1", "a-b.c_d.test",
                           "example.test.", "x"}) {
    EXPECT_TRUE(IsHostName(host)) << host;
  }
  EXPECT_TRUE(IsHostName(std::string(63, 'a') + ".test"));
}

TEST(HttpRequestText, AnythingElseIsNoHostName) {
  for (const char* host : {"", ".", "example.test:8080", "user@example.test", "https:", "exa mple.test",
                           "example..test", ".example.test", "-example.test", "example-.test",
                           "example.test/", "[::1]", "ex\tample", "ex\x01" "ample", "caf\xE9.test"}) {
    EXPECT_FALSE(IsHostName(host)) << host;
  }
  EXPECT_FALSE(IsHostName(std::string(64, 'a') + ".test"));
  std::string long_name;
  while (long_name.size() < 260) long_name += "abcdefghi.";
  EXPECT_FALSE(IsHostName(long_name));
}

TEST(HttpRequestText, PathKeepsPrintableTextAndEncodesTheRest) {
  EXPECT_EQ(EncodeRequestPath("/a/b.zip?x=1&y=%20#f"), "/a/b.zip?x=1&y=%20#f");
  EXPECT_EQ(EncodeRequestPath("/My Tool.zip"), "/My%20Tool.zip");
  EXPECT_EQ(EncodeRequestPath("/a\r\nX-Injected: 1"), "/a%0D%0AX-Injected:%201");
  EXPECT_EQ(EncodeRequestPath(std::string("/\0\x7F\x80\xFF", 5)), "/%00%7F%80%FF");
}

TEST(HttpFetchSize, ContentLengthIsPlainDecimalWithinSigned32Bits) {
  EXPECT_EQ(ParseContentLength("0"), 0);
  EXPECT_EQ(ParseContentLength("2000"), 2000);
  EXPECT_EQ(ParseContentLength("002000"), 2000);
  EXPECT_EQ(ParseContentLength("2147483647"), 2147483647);
  for (const char* text : {"", "-5", "+5", "1e3", "0x10", "$10", " 5", "5 ", "5, 7", "2147483648",
                           "99999999999", "12a"}) {
    EXPECT_FALSE(ParseContentLength(text).has_value()) << text;
  }
}

TEST(HttpFetchSize, CountStopsBeforeItWouldWrap) {
  std::int32_t readed = kMaxFetchSize - 1025;
  EXPECT_TRUE(AddReceived(readed, 1025));
  EXPECT_EQ(readed, kMaxFetchSize);
  EXPECT_FALSE(AddReceived(readed, 1));
  EXPECT_EQ(readed, kMaxFetchSize);
  readed = kMaxFetchSize - 10;
  EXPECT_FALSE(AddReceived(readed, 11));
  EXPECT_EQ(readed, kMaxFetchSize - 10);
}

}  // namespace
}  // namespace rk5
