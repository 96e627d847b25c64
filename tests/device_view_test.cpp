#include "device/device_view.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zuv {
namespace {

// The device's line-based reading: what each key holds, as "path: name=data
// @line" rows in the order of the keys' first headers.
TEST(DeviceViewTest, ReadsLineByLine) {
  struct Case {
    const char* name;
    std::string text;
    std::vector<std::string> rows;
  };
  const Case cases[] = {
      {"a [ inside a line is text",
       "[A]\r\n; x [B]\r\n\"n\"=\"r [C]\" ; c\r\n \t[D] ; [E]\r\n@=dword:1A\r\n",
       {"A: n=\"r [C]\" @3", "D: @=dword:0000001a @5"}},
      {"later lines and headers override, names without case",
       "[k\\A]\n\"x\"=dword:1\n\"y\"=\"1\"\n[K\\a]\n\"X\"=dword:2\n",
       {"k\\A: X=dword:00000002 @5", "k\\A: y=\"1\" @3"}},
      {"preprocessor lines, values before a key, lines the import does not read",
       "\"v\"=dword:1\r\nIF BSP_X\r\n[A]\r\n#if 0\r\nELSE\r\n\"w\" = hex:1,A0 ,\\\r\n  ff\r\n"
       "ENDIF\r\nIFX\r\n\"u\"\r\n\"t\"=-\r\n",
       {}},
      {"lone CR and LF line ends, malformed data kept as written",
       "[A]\r\"d\"=dword:123456789\n\"s\"=\"open\r\"e\"=\"a\\\"b\"",
       {"A: d=dword:123456789 @2", "A: s=\"open @3", "A: e=\"a\\\"b\" @4"}},
      {"the conditions of each value, the hex form of a double word",
       "IF BSP_A\r\n[A]\r\n\"d\"=hex(4):01,02,00,00\r\n# if 0\r\n\"e\"=DWORD:1\r\n#else\r\n"
       "\"f\"=hex(4):1\r\n#endif\r\nENDIF\r\n\"g\"=dword:2\r\n",
       {"A: d=dword:00000201 @3 [with BSP_A]", "A: f=hex(4):01 @7 [with BSP_A]",
        "A: g=dword:00000002 @10 [with BSP_A]"}},
      {"the build's directives are conditions too",
       "; HIVE BOOT SECTION\r\n;@CESYSGEN IF CE_X\r\n[A]\r\n\"a\"=dword:1\r\n"
       "; @CESYSGEN ENDIF\r\n; END HIVE BOOT SECTION\r\n\"b\"=dword:2\r\n",
       {"A: a=dword:00000001 @4 [with module CE_X]", "A: b=dword:00000002 @7 [with module CE_X]"}},
      {"an #if 0 block is never read; its #else is, under the key before it",
       "[A]\n\"a\"=dword:1\n#if 0 // old\n[B]\n\"a\"=dword:2\n#else\n\"c\"=dword:3\n#endif\n",
       {"A: a=dword:00000001 @2", "A: c=dword:00000003 @7"}},
      {"an #if 1 block's #else and #elif are never read",
       "[A]\n#if 01\n\"a\"=dword:1\n#elif X\n\"a\"=dword:2\n#else\n\"b\"=dword:3\n#endif\n"
       "#if 1X\n\"c\"=dword:4\n#else\n\"c\"=dword:5\n#endif\n",
       {"A: a=dword:00000001 @3 [where not \"1X\"]", "A: c=dword:00000005 @12 [where not \"1X\"]",
        "A: a=dword:00000001 @3 [where \"1X\"]", "A: c=dword:00000004 @10 [where \"1X\"]"}},
      {"a block opened in a turned branch, and a branch turned twice",
       "IF A\r\nELSE\r\nIF B\r\n[K]\r\n\"k\"=dword:1\r\n"
       "ENDIF\r\nELSE\r\n\"m\"=dword:2\r\nENDIF\r\n",
       {"K: k=dword:00000001 @5 [without A, with B]"}},
      {"a value does not go on over a [ line; directives in any case",
       "[B]\r\n\"v\"=\"x\\\r\n[A]\r\n; hive boot section\r\n[a]\r\n\"a\"=dword:1\r\n[B]\r\n"
       ";\t@x IF Y\r\nIF Z\r\n[A]\r\n\"b\"=dword:2\r\nENDIF\r\n; End hive boot section\r\n",
       {"B: v=\"x\\ @2", "A: a=dword:00000001 @6 [without Z]", "A: a=dword:00000001 @6 [with Z]",
        "A: b=dword:00000002 @11 [with Z]"}},
      {"names and paths of eight bytes and more fold A to Z only",
       "[Drivers\\LongKeyName]\n\"LongValueNameZ@\"=dword:1\n[DRIVERS\\longkeyname]\n"
       "\"longvaluenamez@\"=dword:2\n\"LONGVALUENAMEZ`\"=dword:3\n\"\xC1Name\"=4\n\"\xE1name\"=5\n",
       {"Drivers\\LongKeyName: longvaluenamez@=dword:00000002 @4",
        "Drivers\\LongKeyName: LONGVALUENAMEZ`=dword:00000003 @5",
        "Drivers\\LongKeyName: \xC1Name=4 @6", "Drivers\\LongKeyName: \xE1name=5 @7"}},
      {"value lines under a header in a condition, in a nested block and after both blocks",
       "[P]\n\"p\"=dword:1\nIF A\n[K]\n\"a\"=dword:2\nIF B\n\"b\"=dword:3\nENDIF\nENDIF\n"
       "\"c\"=dword:4\n",
       {"P: p=dword:00000001 @2 [without A]", "P: c=dword:00000004 @10 [without A]",
        "P: p=dword:00000001 @2 [with A]", "K: a=dword:00000002 @5 [with A, without B]",
        "K: c=dword:00000004 @10 [with A, without B]", "K: a=dword:00000002 @5 [with A, with B]",
        "K: b=dword:00000003 @7 [with A, with B]", "K: c=dword:00000004 @10 [with A, with B]"}},
      {"[-KEY] deletes the key and its subkeys from there on",
       "[A]\n\"a\"=dword:1\n[A\\B]\n\"b\"=dword:2\n[AB]\n\"c\"=dword:3\n[-a]\n\"x\"=dword:9\n"
       "[A]\n\"d\"=-\n",
       {"AB: c=dword:00000003 @6"}},
      {"a key of many values found by name in any case; a key deleted, then written again",
       "[A]\n\"v0\"=dword:0\n\"v1\"=dword:1\n\"v2\"=dword:2\n\"v3\"=dword:3\n\"v4\"=dword:"
       "4\n\"v5\"=dword:5\n\"v6\"=dword:6\n\"v7\"=dword:7\n\"v8\"=dword:8\n\"v9\"=dword:9\n\"V3\"="
       "dword:21\n[B]\n\"b\"=dword:1\n[-b]\n[B]\n\"c\"=dword:2\n",
       {"A: v0=dword:00000000 @2", "A: v1=dword:00000001 @3", "A: v2=dword:00000002 @4",
        "A: V3=dword:00000021 @12", "A: v4=dword:00000004 @6", "A: v5=dword:00000005 @7",
        "A: v6=dword:00000006 @8", "A: v7=dword:00000007 @9", "A: v8=dword:00000008 @10",
        "A: v9=dword:00000009 @11", "B: c=dword:00000002 @17"}},
      {"other keys' lines passed over many at a time: directives, values stopping at "
       "headers, long paths, paths as long as the key read, headers with blanks or no ]",
       "[Other\\Key\\With\\A\\Long\\Path]\r\n\"v1\"=\"plain value line\"\r\n; a comment\r\n"
       ";   @CESYSGEN IF X\r\n\"v2\"=hex:01,02,\\\r\n[A]\n\"v3\"=\"x\" \\ \r\n  [A]\r\n"
       "\"w\"=dword:5\r\n;@CESYSGEN ENDIF\r\n  [ a ] ; comment\r\n\"x\"=dword:1\r\n[c]\r\n[b]\r\n"
       "\"y\"=dword:2\r\n[Other\\Key\\With\\A\\Long\\Path\\Sub]\r\"z\"=dword:3\r[A\n\"u\"=dword:"
       "4\n",
       {"Other\\Key\\With\\A\\Long\\Path: v1=\"plain value line\" @2 [without module X]",
        "Other\\Key\\With\\A\\Long\\Path: v1=\"plain value line\" @2 [with module X]",
        "Other\\Key\\With\\A\\Long\\Path: v2=hex:01,02 @5 [with module X]",
        "A: x=dword:00000001 @12 [without module X]", "A: u=dword:00000004 @19 [without module X]",
        "A: v3=\"x\" @7 [with module X]", "A: w=dword:00000005 @9 [with module X]",
        "A: x=dword:00000001 @12 [with module X]", "A: u=dword:00000004 @19 [with module X]",
        "b: y=dword:00000002 @15", "Other\\Key\\With\\A\\Long\\Path\\Sub: z=dword:00000003 @17"}},
      {"#define, #undef, #ifdef, #ifndef, #if with defined, && and ||, $(NAME) in a header",
       "#define DRVROOT HKLM\\D\n#define USE_A\n[$(DRVROOT)\\T0]\n\"a\"=dword:1\n#ifndef USE_A\n"
       "\"a\"=dword:2\n#endif\n#undef USE_A\n#ifdef USE_A\n\"b\"=dword:3\n#endif\n"
       "#if !defined(USE_A) && (defined B || 0)\n\"c\"=dword:4\n#endif\n",
       {"HKLM\\D\\T0: a=dword:00000001 @4 [without B]", "HKLM\\D\\T0: a=dword:00000001 @4 [with B]",
        "HKLM\\D\\T0: c=dword:00000004 @13 [with B]"}},
      {"a line after a block belongs to the key each branch left open; a conditional deletion",
       "[P]\nIF X\n[T]\n\"a\"=dword:1\nENDIF\n\"r\"=dword:2\nIF Y\n[-T]\nENDIF\n",
       {"P: r=dword:00000002 @6 [without X]", "T: a=dword:00000001 @4 [with X, without Y]",
        "T: r=dword:00000002 @6 [with X, without Y]"}},
      {"IF VAR=VALUE and !=, #elif after #if 0, a CE ENDIF inside #if 0 ends nothing",
       "[K]\nIF BSP_KITL=SERIAL\n\"a\"=dword:1\nENDIF\nIF BSP_KITL != SERIAL\n\"a\"=dword:2\n"
       "ENDIF\n#if 0\nENDIF\n#elif 1\n\"c\"=dword:3\n#endif\n",
       {"K: a=dword:00000002 @6 [BSP_KITL not SERIAL]",
        "K: c=dword:00000003 @11 [BSP_KITL not SERIAL]",
        "K: a=dword:00000001 @3 [with BSP_KITL=SERIAL]",
        "K: c=dword:00000003 @11 [with BSP_KITL=SERIAL]"}},
      {"data in its one form as written or made so; continued lines and macros kept apart",
       "[A]\n\"a\"=hex:01,a0\n\"b\"=HEX:1,A0,\n\"c\"=hex:01,a0 ; c\n\"d\"=dword:0000001A\n"
       "\"e\"=hex(0000000000004):01\n\"f\"=multi_sz:41,00\n\"p\"=hex:01,\\\n02\n"
       "\"q\"=hex:03,\\\n04\n#define M \"m\"\n\"r\"=$(M)\n\"s\"=\"x\\\\\"\n",
       {"A: a=hex:01,a0 @2", "A: b=hex:01,a0 @3", "A: c=hex:01,a0 @4", "A: d=dword:0000001a @5",
        "A: e=hex(0000000000004):01 @6", "A: f=multi_sz:41,00 @7", "A: p=hex:01,02 @8",
        "A: q=hex:03,04 @10", "A: r=\"m\" @13", "A: s=\"x\\\\\" @14"}},
      {"#include read at its line; one that cannot be read is passed over",
       "[A]\n\"i\"=dword:1\n#include \"inc.reg\"\n\"j\"=dword:2\n#include \"missing.reg\"\n",
       {"A: i=dword:00000005 @2", "A: j=dword:00000002 @4"}},
      {"a file that includes itself is read once on the way in",
       "#include \"self.reg\"\n",
       {"A: s=dword:00000001 @2"}},
  };
  // Each reading of each key, with the builds that read it when not every
  // build does.
  auto rowsOf = [](const DeviceView& view) {
    std::vector<std::string> rows;
    for (const DeviceKey& key : view.Keys()) {
      const std::vector<KeyVariant> variants = view.Readings(key).value();
      for (const KeyVariant& variant : variants) {
        const std::string when = view.WhenWords(variant.when);
        for (const DeviceValue& value : variant.reading.values) {
          rows.push_back(std::string(key.path) + ": " + value.name + "=" + value.data + " @" +
                         std::to_string(value.line) +
                         (when == "every build" ? std::string() : " [" + when + "]"));
        }
      }
    }
    return rows;
  };
  for (const Case& c : cases) {
    DeviceViewOptions options;
    options.include = [](std::string_view path, std::string_view) -> std::optional<std::string> {
      if (path == "inc.reg") return std::string("[A]\r\n\"i\"=dword:5\r\n");
      if (path == "self.reg")
        return std::string("[A]\r\n\"s\"=dword:1\r\n#include \"self.reg\"\r\n");
      return std::nullopt;
    };
    const DeviceView view(c.text, options);
    EXPECT_EQ(rowsOf(view), c.rows) << c.name;
  }
  const DeviceView view("[Drivers\\X]\r\n\"Y\"=dword:1\r\nIF A\r\nENDIF\r\n");
  ASSERT_EQ(view.StructureLines().size(), 2u);
  EXPECT_EQ(view.StructureLines()[1].text, "ENDIF");
  ASSERT_NE(view.FindKey("drivers\\x"), nullptr);
  EXPECT_EQ(view.FindKey("Drivers"), nullptr);
  EXPECT_EQ(view.OpenAtEnd(), 0u);
  EXPECT_EQ(DeviceView("IF A\n[K]\n#if B\n#endif\n").OpenAtEnd(), 1u);
}

// An analog output's string read as numbers by the device's own reader: the
// code's low 16 bits, ends saturating into 32 bits, defaults after a stop.
TEST(DeviceViewTest, ReadsAnalogOutputsAsNumbers) {
  struct Case {
    const char* data;
    uint32_t code;
    float high, low;
  };
  const Case cases[] = {
      {"\"     0    10   -10\"", 0, 10, -10},
      {"\"70000 5\"", 4464, 5, 0},
      {"\"-1 +3 x 4\"", 0xFFFF, 3, 0},
      {"\"99999999999999999999 3000000000 -3000000000\"", 0xFFFF, 2147483648.0f, -2147483648.0f},
      {"\"-18446744073709551615\t7\n-7\"", 1, 7, -7},
      {"\"1 2                                              3\"", 1, 2, 0},  // cut at 49
      {"\"\"", 0, 10, 0},
  };
  for (const Case& c : cases) {
    const std::optional<DeviceAoSetting> read = ReadDeviceAoSetting(c.data);
    ASSERT_TRUE(read.has_value()) << c.data;
    EXPECT_EQ(read->code, c.code) << c.data;
    EXPECT_EQ(read->high, c.high) << c.data;
    EXPECT_EQ(read->low, c.low) << c.data;
  }
  EXPECT_FALSE(ReadDeviceAoSetting("dword:00000005").has_value());
}

}  // namespace
}  // namespace zuv
