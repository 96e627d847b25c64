#include "regfile/reg_file.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fault_file.h"
#include "fileio/memory_file.h"
#include "regfile/reg_text.h"
#include "test_files.h"

namespace zuv {
namespace {

using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

const std::string kHeader =
    "[HKEY_LOCAL_MACHINE\\Drivers\\USB\\ClientDrivers\\VOD8620_Uzore\\Template";

std::string Header(int n) { return kHeader + std::to_string(n) + "]"; }

// A driver file in a fresh tree, laid out as the host lays it out.
class RegFileTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& text, const std::string& key = "USB8620") {
    path_ = dir_.File("Image/Public/Korvalent/Device_Drivers/" + key + "/" + key + ".reg");
    WriteFileBytes(path_, text);
    return path_;
  }
  std::string Content() const { return ReadFileBytes(path_); }
  // Opens the file written last; fails the test when it cannot.
  void OpenStore() { ASSERT_EQ(store_.Open(path_.c_str()), 0u); }

  TempDir dir_;
  std::string path_;
  RegFile store_;
};

const std::string kThreeValues = Header(0) + "\r\n"
                                 "\"SwitchID\"=dword:0\r\n"
                                 "\"ChanConfig\"=dword:3\r\n"
                                 "\"AOSettings 0\"=\"     0    10     0\"\r\n"
                                 "\r\n" +
                                 Header(1) + "\r\n"
                                 "\"SwitchID\"=dword:1\r\n";

TEST(RegFilePathTest, KeysBusTypeAndPrefixComeFromThePath) {
  struct Case {
    const char* path;
    const char* driverKey;
    const char* builtInKey;
    int32_t bus;
    const char* prefix;
  };
  const Case cases[] = {
      {"C:\\Image\\Public\\Korvalent\\Device_Drivers\\USB8620\\USB8620.reg", "USB8620", "QDR8620S",
       kBusUsb, "[HKEY_LOCAL_MACHINE\\Drivers\\USB\\ClientDrivers\\VOD8620_Uzore\\Template"},
      {"/img/Public/Korvalent/Device_Drivers/USB8620/USB8620.reg", "USB8620", "QDR8620S", kBusUsb,
       "[HKEY_LOCAL_MACHINE\\Drivers\\USB\\ClientDrivers\\VOD8620_Uzore\\Template"},
      // A short directory name stops at its separator.
      {"C:\\I\\Device_Drivers\\USB86\\USB86.reg", "USB86", "QDR86S", kBusUsb,
       "[HKEY_LOCAL_MACHINE\\Drivers\\USB\\ClientDrivers\\VOD86_Uzore\\Template"},
      // Without a driver tree, the file's name gives the key.
      {"/tmp/USB8620.reg", "USB8620", "QDR8620S", kBusUsb,
       "[HKEY_LOCAL_MACHINE\\Drivers\\USB\\ClientDrivers\\VOD8620_Uzore\\Template"},
      // A bus name in the root does not outweigh the driver's own.
      {"C:\\PCI_builds\\Device_Drivers\\USB8620\\USB8620.reg", "USB8620", "QDR8620S", kBusUsb,
       "[HKEY_LOCAL_MACHINE\\Drivers\\USB\\ClientDrivers\\VOD8620_Uzore\\Template"},
      {"C:\\I\\Device_Drivers\\PCI8620\\PCI8620.reg", "PCI8620", "QDR8620S", kBusPci,
       "[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\PCI\\Template\\QDR8620S\\Template"},
      {"C:\\I\\Device_Drivers\\PCI2369\\PCI2369.reg", "PCI2369", "QDR2369S", kBusPci,
       "[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\PCI\\Template\\QDR2369S"},
      {"C:\\I\\Device_Drivers\\MXB5294\\MXB5294.reg", "MXB5294", "QDR5294S", kBusMxb,
       "[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\QDR5294S"},
      // Neither the key nor the path names a bus: this module's own.
      {"/tmp/Device_Drivers/ABC1234/ABC1234.reg", "ABC1234", "QDR1234S", kBusUsb,
       "[HKEY_LOCAL_MACHINE\\Drivers\\USB\\ClientDrivers\\VOD1234_Uzore\\Template"},
  };
  for (const Case& c : cases) {
    MemoryFileSystem files;
    files.SetFile(c.path, "");
    RegFile store(files);
    ASSERT_EQ(store.Open(c.path), 0u) << c.path;
    EXPECT_STREQ(store.DriverKey(), c.driverKey) << c.path;
    EXPECT_STREQ(store.BuiltInKey(), c.builtInKey) << c.path;
    EXPECT_EQ(store.GetBusType(), c.bus) << c.path;
    EXPECT_STREQ(store.SectionPrefix(), c.prefix) << c.path;
  }
}

TEST_F(RegFileTest, OpeningAMissingFileReturnsTheSystemCode) {
  // In a folder that exists: a missing folder is another code on Windows.
  std::string missing = dir_.File("USB8620.reg");
  EXPECT_EQ(store_.Open(missing.c_str()), 2u);  // ENOENT and ERROR_FILE_NOT_FOUND alike
  EXPECT_FALSE(store_.IsOpen());
  EXPECT_EQ(store_.Close(), 0u);
  EXPECT_FALSE(test::FileExists(missing));  // never created
}

TEST_F(RegFileTest, FindsSectionsByTheirKey) {
  std::string text = "; top\r\n" + kThreeValues;
  Write(text);
  OpenStore();
  uint32_t start = 0, end = 0;
  store_.FindTemplateSection(0, &start, &end);
  EXPECT_EQ(start, 7u);
  EXPECT_EQ(end, text.find('[', 8));
  store_.FindTemplateSection(1, &start, &end);
  EXPECT_EQ(start, text.find(Header(1)));
  EXPECT_EQ(end, text.size());
  store_.FindTemplateSection(11, &start, &end);
  EXPECT_EQ(start, text.size());
  EXPECT_EQ(end, text.size());
}

// A section is found by its whole key, compared as the registry compares
// names; a key that merely ends like a template's is another key. Values are
// read as the device reads them: names without case, the last line of a name
// (in any section of the key), a double word in any of its forms.
TEST_F(RegFileTest, KeysAndValuesAreReadAsTheDeviceReadsThem) {
  struct Case {
    const char* name;
    std::string text;
    uint32_t n;
    int32_t result;  // of QueryValue for "SwitchID"
    uint32_t value;
  };
  const std::string key = Header(2).substr(1, Header(2).size() - 2);
  std::string upper = key;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const Case cases[] = {
      {"a key merely ending like it",
       "[HKEY_LOCAL_MACHINE\\Other\\Template2]\r\n\"SwitchID\"=dword:9\r\n" + Header(2) +
           "\r\n\"SwitchID\"=dword:2\r\n",
       2, 0, 2},
      {"only a key ending like it", "[Template3]\r\n\"SwitchID\"=dword:3\r\n", 3, 1, 0},
      {"capitals and blanks inside the brackets", "[ " + upper + "\t]\r\n\"SwitchID\"=dword:4\r\n",
       2, 0, 4},
      {"a name in another case, the last line wins",
       Header(2) + "\r\n\"SwitchID\"=dword:1\r\n\"switchid\"=dword:5\r\n", 2, 0, 5},
      {"a key written twice gathers both",
       Header(2) + "\r\n\"SwitchID\"=dword:1\r\n[x]\r\n" + Header(2) +
           "\r\n\"SwitchID\"=dword:6\r\n",
       2, 0, 6},
      {"DWORD: in capitals, a comment after it", Header(2) + "\r\n\"SwitchID\" = DWORD:7 ; id\r\n",
       2, 0, 7},
      {"the hex form of a double word", Header(2) + "\r\n\"SwitchID\"=hex(4):08,01,00,00\r\n", 2, 0,
       0x108},
      {"a number the device does not read", Header(2) + "\r\n\"SwitchID\"=dword:12xyz\r\n", 2, 1,
       0},
      {"the section ends at an indented header, lone CR line ends",
       Header(2) + "\r\"SwitchID\"=dword:3 ; [x]\r \t[y]\r\"SwitchID\"=dword:9\r", 2, 0, 3},
  };
  for (const Case& c : cases) {
    Write(c.text);
    RegFile store;
    ASSERT_EQ(store.Open(path_.c_str()), 0u);
    uint32_t type = 0, size = 0, value = 0;
    EXPECT_EQ(store.QueryValue(c.n, "SwitchID", &type, &value, &size, 4), c.result) << c.name;
    EXPECT_EQ(value, c.value) << c.name;
    EXPECT_EQ(store.TemplateSectionExists(c.n), c.text.rfind("[Template3]", 0) == 0 ? 0u : 1u)
        << c.name;
    store.Close();
  }
}

// A section key that stands anywhere but inside a header's brackets names no
// section: a save never cuts or writes into the text around it.
TEST_F(RegFileTest, KeysOutsideHeadersAreNotSections) {
  const std::string text = "[HKEY_LOCAL_MACHINE\\Other]\r\n"
                           "\"Note\"=\"see Template3]\"\r\n"
                           "[x] ; Template3]\r\n"
                           "\"a\"=dword:1\r\n";
  Write(text);
  OpenStore();
  EXPECT_EQ(store_.TemplateSectionExists(3), 0u);
  uint32_t start = 0, end = 0;
  store_.FindTemplateSection(3, &start, &end);
  EXPECT_EQ(start, text.size());
  EXPECT_EQ(store_.RemoveTemplateSection(3), 0u);
  EXPECT_EQ(Content(), text);
}

TEST_F(RegFileTest, AShorterHeaderEndingInTheKeyStartsAtItsOwnBracket) {
  const std::string text =
      "\"Before\"=\"keep\"\r\n[Other\\Template1]\r\n\"SwitchID\"=dword:1\r\n[y]\r\n";
  Write(text);
  OpenStore();
  EXPECT_EQ(store_.RemoveTemplateSection(1), 0u);
  EXPECT_EQ(Content(), text);  // not template 1's key
}

TEST_F(RegFileTest, ReadsEachValueType) {
  Write(Header(4) + "\r\n"
        "\"SwitchID\"=dword:0000001A ; board\r\n"
        "\"Bytes\"=hex:01, A0, FF;x\r\n"
        "\"Multi\"=multi_sz:41,00,00,00\r\n"
        "\"AOSettings 0\"=\"     0    10     0\"\r\n");
  OpenStore();
  uint32_t type = 0, size = 0, value = 0;
  EXPECT_EQ(store_.QueryValue(4, "SwitchID", &type, &value, &size, 4), 0);
  EXPECT_EQ(type, 4u);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(value, 26u);

  uint8_t bytes[4] = {0xEE, 0xEE, 0xEE, 0xEE};
  EXPECT_EQ(store_.QueryValue(4, "Bytes", &type, bytes, &size, sizeof bytes), 0);
  EXPECT_EQ(type, 3u);
  EXPECT_EQ(size, 3u);
  EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 4), (std::vector<uint8_t>{0x01, 0xA0, 0xFF, 0xEE}));

  char sentinel[8] = "xxxxxxx";
  EXPECT_EQ(store_.QueryValue(4, "Multi", &type, sentinel, &size, sizeof sentinel), 0);
  EXPECT_EQ(type, 7u);
  EXPECT_EQ(size, 0u);
  EXPECT_STREQ(sentinel, "xxxxxxx");

  char text[20];
  std::memset(text, '#', sizeof text);
  EXPECT_EQ(store_.QueryValue(4, "AOSettings 0", &type, text, &size, sizeof text), 0);
  EXPECT_EQ(type, 1u);
  EXPECT_EQ(size, 18u);
  EXPECT_EQ(std::string(text, 18), "     0    10     0");
  EXPECT_EQ(text[18], '#');  // no terminator is written
}

TEST_F(RegFileTest, ResultsWhenNothingIsRead) {
  Write(Header(0) + "\r\n\"SwitchID\"=dword:5\r\n");
  OpenStore();
  uint32_t type = 77, size = 77;
  // Data null: type and size only.
  EXPECT_EQ(store_.QueryValue(0, "SwitchID", &type, nullptr, &size, 0), 1);
  EXPECT_EQ(type, 4u);
  EXPECT_EQ(size, 4u);
  // A section that is absent leaves type and size alone.
  type = size = 77;
  uint32_t value = 0;
  EXPECT_EQ(store_.QueryValue(9, "SwitchID", &type, &value, &size, 4), 1);
  EXPECT_EQ(type, 77u);
  EXPECT_EQ(size, 77u);
  EXPECT_EQ(store_.QueryValue(0, "Missing", &type, &value, &size, 4), 1);
  EXPECT_EQ(store_.QueryValue(0, nullptr, &type, &value, &size, 4), 1);
  EXPECT_EQ(store_.QueryValue(0, "SwitchID", nullptr, &value, &size, 4), 1);
  // A double word never goes into fewer than 4 bytes.
  uint8_t small[2] = {0xEE, 0xEE};
  EXPECT_EQ(store_.QueryValue(0, "SwitchID", &type, small, &size, 2), 1);
  EXPECT_EQ(small[0], 0xEE);
}

TEST_F(RegFileTest, StringLongerThanTheBufferIsCutAtItsCapacity) {
  std::string longText(300, 'x');
  Write(Header(0) + "\r\n\"AOSettings 0\"=\"" + longText + "\"\r\n");
  OpenStore();
  auto buffer = std::make_unique<char[]>(50);  // a heap buffer: overruns show under ASan
  std::memset(buffer.get(), 0, 50);
  uint32_t type = 0, size = 0;
  EXPECT_EQ(store_.QueryValue(0, "AOSettings 0", &type, buffer.get(), &size, 49), 0);
  EXPECT_EQ(size, 300u);
  EXPECT_EQ(std::string(buffer.get()), std::string(49, 'x'));
}

TEST_F(RegFileTest, QuirksOfTheFormatAreKept) {
  Write(Header(0) + "\r\n"
        "\"AOSettings 0\"=\"dword:5\"\r\n"
        "\"AOSettings 1\"=\"a[b\"\r\n"
        "\"ChanConfig\"=dword:3\r\n");
  OpenStore();
  uint32_t type = 0, size = 0, value = 0;
  // A string holding a type tag is a string.
  char text[8] = {};
  EXPECT_EQ(store_.QueryValue(0, "AOSettings 0", &type, text, &size, 7), 0);
  EXPECT_EQ(type, 1u);
  EXPECT_EQ(std::string(text), "dword:5");
  // A "[" inside a value is text: the section goes on to the next key.
  EXPECT_EQ(store_.QueryValue(0, "ChanConfig", &type, &value, &size, 4), 0);
  EXPECT_EQ(value, 3u);
}

TEST_F(RegFileTest, CommentLinesAreNeverSearched) {
  std::string text = "; " + Header(3) + " was here\r\n" +
                     Header(3) + " ; note\r\n"
                     "; \"SwitchID\"=dword:9\r\n"
                     "\"SwitchID\"=dword:3\r\n";
  Write(text);
  OpenStore();
  EXPECT_EQ(store_.TemplateSectionExists(3), 1u);  // header with a comment after it counts
  uint32_t start = 0, end = 0;
  store_.FindTemplateSection(3, &start, &end);
  EXPECT_EQ(start, text.find(Header(3), 5));
  uint32_t type = 0, size = 0, value = 0;
  EXPECT_EQ(store_.QueryValue(3, "SwitchID", &type, &value, &size, 4), 0);
  EXPECT_EQ(value, 3u);
  uint32_t ten = 10;
  EXPECT_EQ(store_.SetValue(3, "SwitchID", 4, &ten, 4), 0u);
  std::string expected = text;
  expected.replace(expected.find("\"SwitchID\"=dword:3"), 18, "\"SwitchID\"=dword:a");
  EXPECT_EQ(Content(), expected);
}

TEST_F(RegFileTest, OnlyACommentedHeaderMeansTheSectionIsAbsent) {
  Write("; " + Header(3) + "\r\n");
  OpenStore();
  EXPECT_EQ(store_.TemplateSectionExists(3), 0u);
  EXPECT_EQ(store_.TemplateSectionExists(13), 0u);
}

TEST_F(RegFileTest, ReplacesAValueInPlace) {
  Write(kThreeValues);
  OpenStore();
  uint32_t ten = 10;
  EXPECT_EQ(store_.SetValue(0, "SwitchID", 4, &ten, 4), 0u);
  std::string expected = kThreeValues;
  expected.replace(expected.find("dword:0"), 7, "dword:a");
  EXPECT_EQ(Content(), expected);
  EXPECT_EQ(store_.Text(), expected);  // the store stays in step with the file
}

TEST_F(RegFileTest, LongerNameContainingTheNameIsNotItsLine) {
  std::string text = Header(0) + "\r\n\"OldSwitchID\"=dword:7\r\n\"SwitchID\"=dword:1\r\n";
  Write(text);
  OpenStore();
  uint32_t type = 0, size = 0, value = 0;
  EXPECT_EQ(store_.QueryValue(0, "SwitchID", &type, &value, &size, 4), 0);
  EXPECT_EQ(value, 1u);
  uint32_t two = 2;
  store_.SetValue(0, "SwitchID", 4, &two, 4);
  EXPECT_EQ(Content(), Header(0) + "\r\n\"OldSwitchID\"=dword:7\r\n\"SwitchID\"=dword:2\r\n");
}

TEST_F(RegFileTest, WhereNewLinesGo) {
  struct Case {
    const char* name;
    std::string before;
    uint32_t n;
    std::string after;
  };
  const std::string v = "\"ChanConfig\"=dword:1a\r\n";
  const Case cases[] = {
      {"missing value goes after the last value", kThreeValues, 1, kThreeValues + v},
      {"missing value of a middle section",
       Header(0) + "\r\n\"SwitchID\"=dword:0\r\n" + Header(1) + "\r\n", 0,
       Header(0) + "\r\n\"SwitchID\"=dword:0\r\n" + v + Header(1) + "\r\n"},
      {"template without a header: bare line at the end", "[x]\r\n\"a\"=dword:1\r\n", 5,
       "[x]\r\n\"a\"=dword:1\r\n" + v},
      {"a value going on into the next header is not continued by the new line",
       Header(0) + "\r\n\"SwitchID\"=dword:0\r\n\"b\"=\"c\\\r\n" + Header(1) + "\r\n", 0,
       Header(0) + "\r\n\"SwitchID\"=dword:0\r\n" + v + "\"b\"=\"c\\\r\n" + Header(1) + "\r\n"},
      {"last line without a line end is not joined", Header(0) + "\r\n\"SwitchID\"=dword:0", 0,
       Header(0) + "\r\n\"SwitchID\"=dword:0\r\n" + v},
      {"indentation stays", Header(0) + "\r\n\t  \"ChanConfig\"=dword:0\r\n", 0,
       Header(0) + "\r\n\t  " + v},
      {"a replaced last line keeps its end", Header(0) + "\r\n\"ChanConfig\"=dword:0", 0,
       Header(0) + "\r\n\"ChanConfig\"=dword:1a"},
      {"a replaced line keeps its lone LF", Header(0) + "\n\"ChanConfig\"=dword:0\n\"b\"=\"c\"\n",
       0, Header(0) + "\n\"ChanConfig\"=dword:1a\n\"b\"=\"c\"\n"},
      {"a new line ends as the file's lines do", Header(0) + "\n\"b\"=\"c\"\n", 0,
       Header(0) + "\n\"b\"=\"c\"\n\"ChanConfig\"=dword:1a\n"},
      {"a replaced line keeps its comment and its name as written",
       Header(0) + "\r\n \"chanconfig\" = DWORD:0 ; mask\r\n", 0,
       Header(0) + "\r\n \"chanconfig\" = dword:1a ; mask\r\n"},
      {"text after a string's closing quote does not join the new double word",
       Header(0) + "\r\n\"ChanConfig\"=\"0\"x\r\n", 0,
       Header(0) + "\r\n\"ChanConfig\"=dword:1a\r\n"},
      {"a value continued over lines becomes one line",
       Header(0) + "\r\n\"ChanConfig\"=dword:0\\\r\n  0\r\n\"b\"=\"c\"\r\n", 0,
       Header(0) + "\r\n\"ChanConfig\"=dword:1a\r\n\"b\"=\"c\"\r\n"},
      {"a new value goes inside the #if block of the section's board id",
       Header(0) + "\r\n#if BSP_A\r\n\"SwitchID\"=dword:0\r\n#endif\r\n[x]\r\n", 0,
       Header(0) + "\r\n#if BSP_A\r\n\"SwitchID\"=dword:0\r\n" + v + "#endif\r\n[x]\r\n"},
      {"... and never into a block only other values stand in",
       Header(0) + "\r\n\"SwitchID\"=dword:0\r\n#if BSP_A\r\n\"b\"=\"c\"\r\n#endif\r\n[x]\r\n", 0,
       Header(0) + "\r\n\"SwitchID\"=dword:0\r\n" + v +
           "#if BSP_A\r\n\"b\"=\"c\"\r\n#endif\r\n[x]\r\n"},
      {"a [ inside a comment or a string is text",
       Header(0) + "\r\n; calibrated [2024-05]\r\n\"Note\"=\"rack [A]\"\r\n[x]\r\n", 0,
       Header(0) + "\r\n; calibrated [2024-05]\r\n\"Note\"=\"rack [A]\"\r\n" + v + "[x]\r\n"},
      {"a [ after the header's own ]", Header(0) + " ; was [3]\r\n\"ChanConfig\"=dword:0\r\n", 0,
       Header(0) + " ; was [3]\r\n" + v},
      {"an indented header starts a key", Header(0) + "\r\n \t[x]\r\n", 0,
       Header(0) + "\r\n" + v + " \t[x]\r\n"},
      {"a value going on before an indented header ends before it",
       Header(0) + "\r\n\"ChanConfig\"=dword:0\\\r\n \t[x]\r\n", 0,
       Header(0) + "\r\n\"ChanConfig\"=dword:1a\r\n \t[x]\r\n"},
      {"... and a new line goes before it", Header(0) + "\r\n\"b\"=\"c\\\r\n \t[x]\r\n", 0,
       Header(0) + "\r\n" + v + "\"b\"=\"c\\\r\n \t[x]\r\n"},
      {"a comment line ending a continued value stays",
       Header(0) + "\r\n\"ChanConfig\"=hex:01,\\\r\n  02,\\\r\n; @CESYSGEN ENDIF\r\n[x]\r\n", 0,
       Header(0) + "\r\n\"ChanConfig\"=dword:1a\r\n; @CESYSGEN ENDIF\r\n[x]\r\n"},
  };
  for (const Case& c : cases) {
    Write(c.before);
    RegFile store;
    ASSERT_EQ(store.Open(path_.c_str()), 0u);
    uint32_t value = 26;
    EXPECT_EQ(store.SetValue(c.n, "ChanConfig", 4, &value, 4), 0u) << c.name;
    EXPECT_EQ(Content(), c.after) << c.name;
    store.Close();
  }
}

TEST_F(RegFileTest, WrittenFormsOfEachType) {
  struct Case {
    uint32_t type;
    std::vector<uint8_t> data;
    uint32_t size;
    std::string line;
  };
  const Case cases[] = {
      {4, {0, 0, 0, 0}, 4, "\"v\"=dword:0"},
      {4, {0xFF, 0xFF, 0xFF, 0xFF}, 4, "\"v\"=dword:ffffffff"},
      {1, {'a', 'b', 'c', 0}, 2, "\"v\"=\"ab\""},
      {3, {0x01}, 1, "\"v\"=hex:01"},
      {3, {0x01, 0xA0, 0xFF}, 3, "\"v\"=hex:01,A0,FF"},
      {7, {0x41, 0, 0, 0, 0, 0}, 6, "\"v\"=multi_sz:41,00,00,00,00,00,00,00"},
      {2, {1, 2, 3, 4}, 4, "\"v\""},
  };
  for (const Case& c : cases) {
    Write(Header(0) + "\r\n");
    RegFile store;
    ASSERT_EQ(store.Open(path_.c_str()), 0u);
    EXPECT_EQ(store.SetValue(0, "v", c.type, c.data.data(), c.size), 0u) << c.line;
    EXPECT_EQ(Content(), Header(0) + "\r\n" + c.line + "\r\n");
    store.Close();
  }
}

TEST_F(RegFileTest, OverLongLineIsRefusedAndTheFileUnchanged) {
  Write(kThreeValues);
  OpenStore();
  std::vector<uint8_t> bytes(90, 0xAB);  // "v"=hex: + 90*3-1 characters
  EXPECT_EQ(store_.SetValue(0, "v", 3, bytes.data(), 90), 1u);
  std::string text(260, 'x');
  EXPECT_EQ(store_.SetValue(0, "v", 1, text.c_str(), 261), 1u);
  EXPECT_EQ(store_.SetValue(0, nullptr, 4, &bytes[0], 4), 1u);
  EXPECT_EQ(store_.SetValue(0, "v", 4, nullptr, 4), 1u);
  EXPECT_EQ(Content(), kThreeValues);
  // 253 characters before the CR LF still fit.
  std::string fits(253 - 6, 'y');
  EXPECT_EQ(store_.SetValue(0, "v", 1, fits.c_str(), 300), 0u);
}

TEST_F(RegFileTest, TransferValuesWrites) {
  Write(Header(0) + " \r\n");
  OpenStore();
  uint32_t id = 3, mask = 0x30;
  char ao[] = "     0    10     0";
  RegValueEntry table[] = {{"SwitchID", 4, 4, &id},
                           {"ChanConfig", 4, 4, &mask},
                           {"AOSettings 0", 1, 18, ao},
                           {"AOSettings 1", 1, 18, ao},
                           {nullptr, 0, 0, nullptr}};
  EXPECT_EQ(store_.TransferValues(0, table, kTransferWrite), 1u);
  EXPECT_EQ(Content(), Header(0) + " \r\n"
                       "\"SwitchID\"=dword:3\r\n"
                       "\"ChanConfig\"=dword:30\r\n"
                       "\"AOSettings 0\"=\"     0    10     0\"\r\n"
                       "\"AOSettings 1\"=\"     0    10     0\"\r\n");

  // A row that fails stops the table; the rows before stay written.
  uint32_t seven = 7;
  RegValueEntry failing[] = {{"SwitchID", 4, 4, &seven},
                             {"ChanConfig", 4, 4, nullptr},
                             {"AOSettings 0", 1, 0, ao},
                             {nullptr, 0, 0, nullptr}};
  EXPECT_EQ(store_.TransferValues(0, failing, kTransferWrite), 0u);
  EXPECT_NE(Content().find("\"SwitchID\"=dword:7\r\n"), std::string::npos);
  EXPECT_NE(Content().find("\"ChanConfig\"=dword:30\r\n"), std::string::npos);
  EXPECT_EQ(store_.TransferValues(0, nullptr, kTransferWrite), 0u);
  EXPECT_EQ(store_.TransferValues(0, nullptr, kTransferRead), 0u);
}

TEST_F(RegFileTest, TransferValuesReadsEveryRow) {
  Write(Header(0) +
        "\r\n\"SwitchID\"=dword:3\r\n\"AOSettings 0\"=\"a\"\r\n\"AOSettings 1\"=\"bc\"\r\n");
  OpenStore();
  uint32_t id = 0, mask = 0xEE;
  char ao0[50] = {}, ao1[50] = {};
  RegValueEntry table[] = {{"SwitchID", 4, 4, &id},
                           {"ChanConfig", 4, 4, &mask},
                           {"AOSettings 0", 1, 49, ao0},
                           {"AOSettings 1", 1, 49, ao1},
                           {nullptr, 0, 0, nullptr}};
  EXPECT_EQ(store_.TransferValues(0, table, kTransferRead), 1u);
  EXPECT_EQ(id, 3u);
  EXPECT_EQ(mask, 0xEEu);  // missing: untouched
  EXPECT_EQ(table[1].dwSize, 4u);
  EXPECT_STREQ(ao0, "a");
  EXPECT_STREQ(ao1, "bc");
  EXPECT_EQ(table[3].dwSize, 2u);
}

TEST_F(RegFileTest, MultiStringRowIsSizedByItsStrings) {
  Write(Header(0) + "\r\n");
  OpenStore();
  const uint16_t multi[] = {'A', 0, 0};
  RegValueEntry table[] = {{"m", 7, 0, const_cast<uint16_t*>(multi)}, {nullptr, 0, 0, nullptr}};
  EXPECT_EQ(store_.TransferValues(0, table, kTransferWrite), 1u);
  EXPECT_EQ(Content(), Header(0) + "\r\n\"m\"=multi_sz:41,00,00,00,00,00,00,00\r\n");
}

TEST_F(RegFileTest, AppendingASection) {
  struct Case {
    std::string before;
    std::string after;
  };
  const Case cases[] = {
      {"[x]\r\n", "[x]\r\n \r\n" + Header(5) + " \r\n"},
      {"[x]", "[x]\r\n \r\n" + Header(5) + " \r\n"},  // never joins the last line
      {"", " \r\n" + Header(5) + " \r\n"},
  };
  for (const Case& c : cases) {
    Write(c.before);
    RegFile store;
    ASSERT_EQ(store.Open(path_.c_str()), 0u);
    EXPECT_EQ(store.AppendTemplateSection(5), 0u);
    EXPECT_EQ(Content(), c.after);
    EXPECT_EQ(store.TemplateSectionExists(5), 1u);
    uint32_t id = 5;
    store.SetValue(5, "SwitchID", 4, &id, 4);
    EXPECT_EQ(Content(), c.after + "\"SwitchID\"=dword:5\r\n");
    store.Close();
  }
}

TEST_F(RegFileTest, RemovingASection) {
  const std::string s0 = Header(0) + "\r\n\"SwitchID\"=dword:0\r\n";
  const std::string s1 = "; one\r\n" + Header(1) + "\r\n\"SwitchID\"=dword:1\r\n\r\n";
  const std::string s2 = Header(2) + "\r\n\"SwitchID\"=dword:2\r\n";
  struct Case {
    uint32_t n;
    std::string after;
  };
  const Case cases[] = {
      // The comment lines right above the next header stay with it.
      {0, s1 + s2},
      {1, s0 + "; one\r\n" + s2},  // the line before the header stays
      {2, s0 + s1},
      {7, s0 + s1 + s2},
  };
  for (const Case& c : cases) {
    Write(s0 + s1 + s2);
    RegFile store;
    ASSERT_EQ(store.Open(path_.c_str()), 0u);
    EXPECT_EQ(store.RemoveTemplateSection(c.n), 0u) << c.n;
    EXPECT_EQ(Content(), c.after) << c.n;
    store.Close();
  }
  // The build's structure lines stay wherever they stand in the section; the
  // section's own comments and blank lines go, but from the first structure
  // line after its last value on every line is the surroundings' and stays;
  // the comments above an indented next key stay with it, and so does its
  // indentation.
  Write("IF BSP_A\r\n" + s0 +
        "; end\r\n; @CESYSGEN ENDIF\r\n#endif\r\n;END HIVE BOOT SECTION\r\nENDIF\r\n;---\r\n\r\n"
        "; next\r\n\t[x]\r\n");
  RegFile store;
  ASSERT_EQ(store.Open(path_.c_str()), 0u);
  EXPECT_EQ(store.RemoveTemplateSection(0), 0u);
  EXPECT_EQ(Content(),
            "IF BSP_A\r\n; @CESYSGEN ENDIF\r\n#endif\r\n;END HIVE BOOT SECTION\r\nENDIF\r\n;---"
            "\r\n\r\n; next\r\n\t[x]\r\n");
  // Every section of a template in one cut.
  store.Close();
  Write(s0 + "[y]\r\n" + s0 + "; @XIPREGION ENDIF\r\n" + s1);
  ASSERT_EQ(store.Open(path_.c_str()), 0u);
  EXPECT_EQ(store.RemoveTemplateSections(0), 0u);
  EXPECT_EQ(Content(), "[y]\r\n; @XIPREGION ENDIF\r\n" + s1);
}

TEST(RegFileBusTest, BuiltInKeySectionsAreFoundByWhatTheStoreWrites) {
  // A short key: the section start still lands on the "[".
  for (const char* path :
       {"/t/Device_Drivers/MXB52/MXB52.reg", "/t/Device_Drivers/PCI2369/PCI2369.reg",
        "/t/Device_Drivers/MXB5294/MXB5294.reg"}) {
    MemoryFileSystem files;
    files.SetFile(path, "[x]\r\n");
    for (int round = 0; round < 2; ++round) {
      RegFile store(files);
      ASSERT_EQ(store.Open(path), 0u);
      if (!store.TemplateSectionExists(1)) store.AppendTemplateSection(1);
      uint32_t id = 1;
      store.SetValue(1, "SwitchID", 4, &id, 4);
      store.Close();
    }
    const std::string& text = *files.GetFile(path);
    RegFile store(files);
    ASSERT_EQ(store.Open(path), 0u);
    uint32_t start = 0, end = 0;
    store.FindTemplateSection(1, &start, &end);
    EXPECT_EQ(start, text.find('[', 1)) << path;
    EXPECT_EQ(text.find("\"SwitchID\""), text.rfind("\"SwitchID\"")) << "saved twice: " << text;
    EXPECT_EQ(text.find(std::string(store.SectionPrefix()) + "1]"),
              text.rfind(std::string(store.SectionPrefix()) + "1]")) << "second header in " << text;
  }
}

// Every change is all or nothing: whichever file-layer call fails, the file
// holds its old content, the operation reports the failure, and without a
// failure it holds the new content.
TEST(RegFileFaultTest, AnInterruptedRewriteLosesNothing) {
  const std::string path = "/i/Device_Drivers/USB8620/USB8620.reg";
  const std::string before = kThreeValues + "[tail]\r\n\"x\"=\"y\"\r\n";
  struct Operation {
    const char* name;
    uint32_t (*run)(RegFile&);
  };
  const Operation operations[] = {
      {"set", [](RegFile& s) { uint32_t v = 0x1234; return s.SetValue(0, "SwitchID", 4, &v, 4); }},
      {"add", [](RegFile& s) { uint32_t v = 1; return s.SetValue(1, "ChanConfig", 4, &v, 4); }},
      {"append", [](RegFile& s) { return s.AppendTemplateSection(9); }},
      {"remove", [](RegFile& s) { return s.RemoveTemplateSection(0); }},
  };
  for (const Operation& operation : operations) {
    MemoryFileSystem clean;
    clean.SetFile(path, before);
    {
      RegFile store(clean);
      ASSERT_EQ(store.Open(path.c_str()), 0u);
      operation.run(store);
    }
    const std::string after = *clean.GetFile(path);
    ASSERT_NE(after, before) << operation.name;

    bool reached = true;
    for (int k = 1; reached; ++k) {
      reached = false;
      for (uint32_t error : {28u /* no space */, 5u /* I/O error */}) {
        MemoryFileSystem files;
        files.SetFile(path, before);
        test::FaultFileSystem faulty(files, k, error);
        RegFile store(faulty);
        bool threw = false;
        if (store.Open(path.c_str()) == 0) {
          try {
            operation.run(store);
          } catch (const FileError& e) {
            threw = true;
            EXPECT_EQ(e.SystemError(), error);
          }
          store.Close();
        }
        const std::string& now = *files.GetFile(path);
        if (faulty.Failed()) {
          reached = true;
          EXPECT_EQ(now, before) << operation.name << " failing at call " << k;
        } else {
          EXPECT_FALSE(threw);
          EXPECT_EQ(now, after) << operation.name;
        }
      }
    }
  }
}

TEST(RegFileCorpusTest, RealFilesChangeOnlyInTheTemplateSection) {
  std::vector<std::string> corpus = test::CorpusFiles();
  if (corpus.empty()) GTEST_SKIP() << "no corpus beside the checkout";
  for (const std::string& source : corpus) {
    const std::string original = ReadFileBytes(source);
    TempDir dir;
    const std::string path = dir.File("Public/Korvalent/Device_Drivers/USB8620/USB8620.reg");
    WriteFileBytes(path, original);
    {
      RegFile store;
      ASSERT_EQ(store.Open(path.c_str()), 0u) << source;
      EXPECT_EQ(store.Text(), original) << source;
      EXPECT_EQ(store.TemplateSectionExists(5), 0u) << source;
      store.AppendTemplateSection(5);
      uint32_t id = 5, mask = 3;
      char ao[] = "     0    10     0";
      RegValueEntry table[] = {{"SwitchID", 4, 4, &id},   {"ChanConfig", 4, 4, &mask},
                               {"AOSettings 0", 1, 0, ao}, {"AOSettings 1", 1, 0, ao},
                               {nullptr, 0, 0, nullptr}};
      EXPECT_EQ(store.TransferValues(5, table, kTransferWrite), 1u) << source;
      mask = 0xFFFF;
      EXPECT_EQ(store.TransferValues(5, table, kTransferWrite), 1u) << source;
      store.Close();
    }
    const std::string lineEnd(regtext::FileLineEnd(original));
    const std::string ended = original + (regtext::EndsWithLineEnd(original) ? "" : lineEnd);
    const std::string joined = ended + " " + lineEnd;
    const std::string added = ReadFileBytes(path);
    ASSERT_EQ(added.compare(0, joined.size(), joined), 0) << source;
    EXPECT_EQ(added.substr(joined.size()), Header(5) + " " + lineEnd + "\"SwitchID\"=dword:5" +
                                               lineEnd + "\"ChanConfig\"=dword:ffff" + lineEnd +
                                               "\"AOSettings 0\"=\"     0    10     0\"" + lineEnd +
                                               "\"AOSettings 1\"=\"     0    10     0\"" + lineEnd)
        << source;
    {
      RegFile store;
      ASSERT_EQ(store.Open(path.c_str()), 0u);
      EXPECT_EQ(store.RemoveTemplateSection(5), 0u);
      store.Close();
    }
    EXPECT_EQ(ReadFileBytes(path), ended) << source;  // the blank line above it goes too
  }
}

}  // namespace
}  // namespace zuv
