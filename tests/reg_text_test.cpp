#include "regfile/reg_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "device/device_view.h"

namespace zuv::regtext {
namespace {

TEST(RegTextTest, CommentLines) {
  EXPECT_TRUE(IsCommentLine(";x"));
  EXPECT_TRUE(IsCommentLine(" \t; \"SwitchID\"=dword:1"));
  EXPECT_FALSE(IsCommentLine("\"SwitchID\"=dword:1 ; note"));
  EXPECT_FALSE(IsCommentLine("[key] ; note"));
  EXPECT_FALSE(IsCommentLine(""));
}

TEST(RegTextTest, FindValueLine) {
  struct Case {
    const char* section;
    const char* name;
    int quote;  // -1: not found
  };
  const Case cases[] = {
      {"[h]\r\n\"SwitchID\"=dword:1\r\n", "SwitchID", 5},
      {"[h]\r\n  \t\"SwitchID\"=dword:1\r\n", "SwitchID", 8},
      {"[h]\r\n\"SwitchID\" \t= dword:1\r\n", "SwitchID", 5},
      {"[h]\r\n\"OldSwitchID\"=dword:1\r\n", "SwitchID", -1},
      {"[h]\r\n\"SwitchIDs\"=dword:1\r\n", "SwitchID", -1},
      {"[h]\r\n;\"SwitchID\"=dword:1\r\n\"SwitchID\"=dword:2", "SwitchID", 26},
      {"[h]\r\n\"SwitchID\"\r\n", "SwitchID", -1},
      {"[h]\n\r\n\r\"A\"=\"x\"", "A", 7},
      {"\"SwitchID\"", "SwitchID", -1},
      {"[h]\r\n\"x\"=hex:01,\\ \t\r\n  \"SwitchID\"=dword:1\r\n\"SwitchID\"=dword:2\r\n",
       "SwitchID", 43},
      {"[h]\r\n\"A\\\"=x\"=dword:1\r\n", "A\\\"=x", 5},
      {"[h]\r\n\"A\\\"=x\"=dword:1\r\n", "A\\", -1},
  };
  for (const Case& c : cases) {
    auto found = FindValueLine(c.section, c.name);
    if (c.quote < 0) {
      EXPECT_FALSE(found.has_value()) << c.section;
    } else {
      ASSERT_TRUE(found.has_value()) << c.section;
      EXPECT_EQ(found->quote, static_cast<size_t>(c.quote)) << c.section;
    }
  }
}

TEST(RegTextTest, NamesCompareWithoutAsciiCase) {
  struct Case {
    const char* a;
    const char* b;
    bool same;
  };
  const Case cases[] = {
      {"SwitchID", "switchid", true},
      {"AOSettings 0", "aosettings 0", true},
      {"Drivers\\BuiltIn\\Template12", "DRIVERS\\builtin\\TEMPLATE12", true},
      {"abcdefgZ", "ABCDEFGz", true},
      {"Template1", "Template10", false},
      {"Zabcdefgh", "zabcdefgi", false},
      // Only A to Z fold: not the characters beside them, nor bytes above 0x7F.
      {"ABCDEFG@[", "abcdefg`{", false},
      {"@[", "`{", false},
      {"\xC1\xC2\xC3\xC4\xC5\xC6\xC7\xC8\xDA", "\xE1\xE2\xE3\xE4\xE5\xE6\xE7\xE8\xFA", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SameName(c.a, c.b), c.same) << c.a;
    EXPECT_EQ(SameRegistryName(c.a, c.b), c.same) << c.a;
  }
}

TEST(RegTextTest, ParseHexNumber) {
  struct Case {
    const char* text;
    uint32_t value;
  };
  const Case cases[] = {
      {"1a", 26},         {"0000001A", 26},   {" 0x1A", 26},        {"1a ; c", 26},
      {"ffffffff", ~0u},  {"123456789", ~0u}, {"-1", ~0u},          {"+10", 16},
      {"", 0},            {"zz", 0},          {"0x", 0},            {" 2DC6C00", 0x2DC6C00},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseHexNumber(c.text), c.value) << c.text;
}

TEST(RegTextTest, HexBytes) {
  struct Case {
    const char* text;
    std::vector<uint8_t> bytes;
  };
  const Case cases[] = {
      {"01,A0,FF", {0x01, 0xA0, 0xFF}},
      {"01, A0, FF", {0x01, 0xA0, 0xFF}},
      {"01,A0,F", {0x01, 0xA0}},                 // an odd digit count rounds down
      {"01,02,\\\r\n\t03", {0x01, 0x02, 0x03}},  // a continued list, as the device reads it
      {"", {}},
  };
  for (const Case& c : cases) {
    uint32_t count = CountHexBytes(c.text);
    ASSERT_EQ(count, c.bytes.size()) << c.text;
    std::vector<uint8_t> out(count + 1, 0xEE);
    ParseHexBytes(c.text, count, out.data(), count);
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + count), c.bytes) << c.text;
    EXPECT_EQ(out[count], 0xEE) << "wrote past the bytes of " << c.text;
  }
  uint8_t small[2] = {0, 0};
  ParseHexBytes("01,02,03,04", 4, small, 1);
  EXPECT_EQ(small[0], 1);
  EXPECT_EQ(small[1], 0);
}

TEST(RegTextTest, WrittenValueLines) {
  uint32_t zero = 0, twentySix = 26, all = 0xFFFFFFFF;
  const uint8_t bytes[] = {0x01, 0xA0, 0xFF};
  const uint8_t multi[] = {0x41, 0, 0, 0, 0, 0};
  EXPECT_EQ(FormatValueLine("SwitchID", 4, &zero, 4), "\"SwitchID\"=dword:0");
  EXPECT_EQ(FormatValueLine("ChanConfig", 4, &twentySix, 4), "\"ChanConfig\"=dword:1a");
  EXPECT_EQ(FormatValueLine("x", 4, &all, 4), "\"x\"=dword:ffffffff");
  EXPECT_EQ(FormatValueLine("AOSettings 0", 1, "     0    10     0", 19),
            "\"AOSettings 0\"=\"     0    10     0\"");
  EXPECT_EQ(FormatValueLine("s", 1, "abcdef", 3), "\"s\"=\"abc\"");
  EXPECT_EQ(FormatValueLine("name", 3, bytes, 3), "\"name\"=hex:01,A0,FF");
  EXPECT_EQ(FormatValueLine("name", 3, bytes, 1), "\"name\"=hex:01");
  EXPECT_EQ(FormatValueLine("name", 7, multi, 6), "\"name\"=multi_sz:41,00,00,00,00,00,00,00");
  EXPECT_EQ(FormatValueLine("name", 2, bytes, 3), "\"name\"");
}

}  // namespace
}  // namespace zuv::regtext
