#include "ini/ini_document.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

#include "platform/text.h"

namespace rk5 {
namespace {

using platform::FoldCase;
using Strings = std::vector<std::string>;

TEST(IniRead, NamesMatchWithoutLetterCaseAndValuesAreTrimmed) {
  IniDocument doc = IniDocument::Parse("[Tool]\n  Name  =   Hex Editor  \nOBUILD=3\n");
  EXPECT_EQ(doc.ReadString("tool", "name", "?"), "Hex Editor");
  EXPECT_EQ(doc.ReadString("TOOL", "NaMe", "?"), "Hex Editor");
  EXPECT_EQ(doc.ReadInteger("Tool", "obuild", 0), 3);
  EXPECT_EQ(doc.ReadString("Tool", "Missing", "<none>"), "<none>");
  EXPECT_EQ(doc.ReadString("Other", "Name", "<none>"), "<none>");
}

TEST(IniRead, OnePairOfEnclosingQuotesIsTakenOff) {
  IniDocument doc = IniDocument::Parse(
      "[T]\nd = \" padded \" \ns='single'\nmixed=\"a'\nlone=\"\nin=a \"b\" c\ntwice=\"\"x\"\"\n");
  const std::pair<const char*, const char*> cases[] = {
      {"d", " padded "}, {"s", "single"}, {"mixed", "\"a'"}, {"lone", "\""}, {"in", "a \"b\" c"},
      {"twice", "\"x\""}};
  for (const auto& [key, value] : cases) EXPECT_EQ(doc.ReadString("T", key, "?"), value) << key;
  EXPECT_EQ(doc.Value("T", "s"), "'single'");  // as written, for the registry file
  EXPECT_EQ(IniDocument::Parse("[T]\nn=\"12\"\n").ReadInteger("T", "n", 0), 12);
}

TEST(IniRead, ListsSectionsAndKeysInFileOrder) {
  IniDocument doc = IniDocument::Parse("[b]\nz=1\na=2\nZ=3\n[a]\n[B]\ny=4\n[c]\nk=\n");
  EXPECT_EQ(doc.Sections(), (Strings{"b", "a", "c"}));
  // A repeated section or key counts where it first appears.
  EXPECT_EQ(doc.Keys("B"), (Strings{"z", "a"}));
  EXPECT_EQ(doc.ReadString("b", "z", ""), "1");
  EXPECT_EQ(doc.ReadString("b", "y", "none"), "none");
  EXPECT_EQ(doc.Keys("c"), (Strings{"k"}));
  EXPECT_EQ(doc.ReadString("c", "k", "default"), "");
  EXPECT_TRUE(doc.Keys("nothing").empty());
}

TEST(IniRead, ToleratesWhatOtherWritersLeave) {
  std::string bytes =
      "junk before any section\r\n"
      "[Tool]\r\n"
      "; a comment=with equals\r\n"
      "\r\n"
      "a line without equals\r\n"
      "=no key\r\n"
      "Name=Viewer\r\n"
      "Bin=\x01\xff\xfe" + std::string("\0x", 2) + "\r\n"
      "[Broken\r\n"
      "  [ Second ]  trailing\n"
      "Key=Value";  // no line end at all
  IniDocument doc = IniDocument::Parse(bytes);
  EXPECT_EQ(doc.Sections(), (Strings{"Tool", "Second"}));
  EXPECT_EQ(doc.Keys("Tool"), (Strings{"Name", "Bin"}));  // "[Broken" has no "="
  EXPECT_EQ(doc.ReadString("Tool", "Bin", ""), std::string("\x01\xff\xfe\0x", 5));
  EXPECT_EQ(doc.ReadString("second", "key", ""), "Value");
  EXPECT_EQ(doc.Serialize(), bytes);
}

TEST(IniRead, SurvivesBinaryJunkAndHugeLines) {
  std::mt19937 rng(7);
  std::string junk(200000, '\0');
  for (char& c : junk) c = static_cast<char>(rng());
  IniDocument doc = IniDocument::Parse(junk);
  EXPECT_EQ(doc.Serialize(), junk);

  std::string huge = "[S]\nK=" + std::string(1 << 20, 'v') + "\nL=1";
  IniDocument big = IniDocument::Parse(huge);
  EXPECT_EQ(big.ReadString("S", "K", "").size(), std::size_t(1) << 20);
  EXPECT_EQ(big.ReadInteger("S", "L", 0), 1);
}

TEST(IniInteger, DecimalAndHexadecimalOtherwiseDefault) {
  struct Case {
    const char* text;
    int32_t expected;
  } cases[] = {
      {"0", 0},          {"42", 42},         {"-7", -7},
      {"+5", 5},         {"0x10", 16},       {"0X1f", 31},
      {"$FF", 255},      {"$ffffffff", -1},  {"-$10", -16},
      {"2147483647", 2147483647},            {"-2147483648", -2147483647 - 1},
      {"2147483648", 99}, {"99999999999", 99}, {"0x100000000", 99},
      {"", 99},          {"abc", 99},        {"12abc", 99},
      {"1e3", 99},       {"0x", 99},         {"$", 99},
      {"x10", 99},       {"- 5", 99},        {"  12  ", 12},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseIniInteger(c.text, 99), c.expected) << c.text;
}

TEST(IniWrite, AddsKeysAtTheEndOfTheirSectionAndSectionsAtTheEnd) {
  IniDocument doc = IniDocument::Parse("[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n");
  ASSERT_TRUE(doc.Write("a", "NEW", "v"));
  ASSERT_TRUE(doc.Write("C", "k", "3"));
  ASSERT_TRUE(doc.Write("b", "Y", "20"));
  EXPECT_EQ(doc.Serialize(), "[A]\r\nx=1\r\nNEW=v\r\n\r\n[B]\r\ny=20\r\n[C]\r\nk=3\r\n");
}

TEST(IniWrite, KeepsUntouchedBytesAndTheFilesLineEnds) {
  std::string bytes = "; header\n[T]\nName = Old  \nBy=Me\n\njunk line\n";
  IniDocument doc = IniDocument::Parse(bytes);
  ASSERT_TRUE(doc.Write("T", "By", "Me"));  // same value: nothing changes
  EXPECT_FALSE(doc.Changed());
  EXPECT_EQ(doc.Serialize(), bytes);
  ASSERT_TRUE(doc.Write("T", "name", "New"));
  ASSERT_TRUE(doc.Write("T", "Extra", "1"));
  EXPECT_EQ(doc.Serialize(), "; header\n[T]\nName=New\nBy=Me\nExtra=1\n\njunk line\n");
}

TEST(IniWrite, EndsALastLineThatHadNoLineEnd) {
  IniDocument doc = IniDocument::Parse("[T]\nA=1");
  ASSERT_TRUE(doc.Write("T", "B", "2"));
  ASSERT_TRUE(doc.Write("U", "C", "3"));
  EXPECT_EQ(doc.Serialize(), "[T]\nA=1\nB=2\n[U]\nC=3\n");
  IniDocument empty = IniDocument::Parse("");
  ASSERT_TRUE(empty.Write("S", "K", "V"));
  EXPECT_EQ(empty.Serialize(), "[S]\r\nK=V\r\n");
}

TEST(IniWrite, RefusesNamesThatCannotBeStoredOnOneLine) {
  IniDocument doc = IniDocument::Parse("[T]\nA=1\n");
  EXPECT_FALSE(doc.Write("T", "a=b", "x"));
  EXPECT_FALSE(doc.Write("T", "line\nbreak", "x"));
  EXPECT_FALSE(doc.Write("T", "  ", "x"));
  EXPECT_FALSE(doc.Write("T", ";comment", "x"));
  EXPECT_FALSE(doc.Write("T", "[x]", "y"));
  EXPECT_FALSE(doc.Write("bad]name", "k", "x"));
  EXPECT_FALSE(doc.Write("", "k", "x"));
  EXPECT_FALSE(doc.Changed());
  // A value is cut at its first line break, so it can never add lines of its own.
  ASSERT_TRUE(doc.Write("T", "A", "first\r\n[Injected]\r\nx=1"));
  EXPECT_EQ(doc.Serialize(), "[T]\nA=first\n");
}

// The engine against a plain model over long random sequences of writes and reads,
// with every state also written out and parsed again.
TEST(IniModel, RandomWritesAndReadsAgreeWithAPlainModel) {
  struct ModelSection {
    std::string name;
    std::vector<std::string> order;
    std::map<std::string, std::string> values;  // folded key -> trimmed value
  };
  const Strings sections = {"Tool", "TOOL", "tool", "Rk5Helper", "rk5helper", "Other Tool", "x"};
  const Strings keys = {"Name", "NAME", "By", "b y", "DL", "OBuild", "obuild", "k=v", ""};
  const Strings values = {"", "v", "  padded  ", "a=b", "[x]", ";semi", "0x10", "line\nbreak",
                          "tab\tin"};
  for (unsigned seed = 1; seed <= 20; ++seed) {
    std::mt19937 rng(seed);
    std::vector<ModelSection> model;
    IniDocument doc = IniDocument::Parse(seed % 2 ? "" : "; kept\n");
    auto find = [&model](const std::string& s) -> ModelSection* {
      for (auto& m : model) {
        if (FoldCase(m.name) == FoldCase(s)) return &m;
      }
      return nullptr;
    };
    for (int step = 0; step < 300; ++step) {
      const std::string& s = sections[rng() % sections.size()];
      const std::string& k = keys[rng() % keys.size()];
      std::string v = values[rng() % values.size()] + std::to_string(rng() % 3);
      bool valid_key = !k.empty() && k.find('=') == std::string::npos;
      ASSERT_EQ(doc.Write(s, k, v), valid_key) << s << "/" << k;
      if (valid_key) {
        ModelSection* m = find(s);
        if (m == nullptr) {
          model.push_back({s, {}, {}});
          m = &model.back();
        }
        std::string stored = v.substr(0, v.find('\n'));
        while (!stored.empty() && (stored.back() == ' ' || stored.back() == '\t')) stored.pop_back();
        std::size_t lead = stored.find_first_not_of(" \t");
        stored = lead == std::string::npos ? "" : stored.substr(lead);
        if (m->values.count(FoldCase(k)) == 0) m->order.push_back(k);
        m->values[FoldCase(k)] = stored;
      }
      if (step % 10 == 0) doc = IniDocument::Parse(doc.Serialize());
      Strings expected_sections;
      for (auto& m : model) expected_sections.push_back(m.name);
      ASSERT_EQ(doc.Sections(), expected_sections) << "seed " << seed << " step " << step;
      for (auto& m : model) {
        ASSERT_EQ(doc.Keys(m.name), m.order);
        for (auto& [folded, value] : m.values) ASSERT_EQ(doc.ReadString(m.name, folded, "?"), value);
      }
    }
  }
}

}  // namespace
}  // namespace rk5
