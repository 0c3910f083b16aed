#include "platform/formats/command_line.h"

#include <gtest/gtest.h>

namespace rk5::platform {
namespace {

using Args = std::vector<std::string>;

TEST(CommandLine, BlanksSeparateAndQuotesGroup) {
  EXPECT_EQ(SplitArguments("/dl HexEdit"), (Args{"/dl", "HexEdit"}));
  EXPECT_EQ(SplitArguments("  /run\t Tool  "), (Args{"/run", "Tool"}));
  EXPECT_EQ(SplitArguments("\"C:\\Program Files\\Rk5\\\" next"),
            (Args{"C:\\Program Files\\Rk5\\", "next"}));
  EXPECT_EQ(SplitArguments("a\"b c\"d"), (Args{"ab cd"}));
  EXPECT_EQ(SplitArguments("\"\" x"), (Args{"", "x"}));
  EXPECT_EQ(SplitArguments("\"unclosed quote"), (Args{"unclosed quote"}));
  EXPECT_TRUE(SplitArguments("").empty());
  EXPECT_TRUE(SplitArguments(" \t ").empty());
}

}  // namespace
}  // namespace rk5::platform
