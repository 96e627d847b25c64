#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#ifdef _WIN32
#include <process.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#endif

#include "cli/cli.h"
#include "cli/unified_diff.h"
#include "fileio/memory_file.h"
#include "regfile/text_encoding.h"
#include "templates/template_check.h"
#include "templates/template_document.h"
#include "templates/template_file.h"
#include "test_files.h"
#include "zuv_version.h"

namespace zuv {
namespace {

const std::string kSample =
    ZUV_SOURCE_DIR "/examples/Image/Public/Korvalent/Device_Drivers/USB8620/USB8620.reg";
const std::string kPrefix =
    "[HKEY_LOCAL_MACHINE\\Drivers\\USB\\ClientDrivers\\VOD8620_Uzore\\Template";

// A strict parse: well-formed JSON whose strings are valid UTF-8.
bool ValidJson(const std::string& text) { return nlohmann::json::accept(text); }

// ---------------------------------------------------------------- in process

TEST(CliParse, RangeLabelsAndPairLists) {
  const std::pair<const char*, int> ranges[] = {
      {"0 ~ 5V", 0}, {"0~10V", 1}, {"-5~5", 2}, {"-10 ~ 10", 3}, {"-10 ~ 10v", 3},
      {"0 ~ 20V", -1}, {"", -1}, {"V", -1}, {"5", -1},
  };
  for (auto [text, expect] : ranges) {
    EXPECT_EQ(cli::ParseAoRangeLabel(text).value_or(-1), expect) << text;
    // A document takes the same labels as `set`.
    const std::string document =
        std::string(R"({"format": "zuv8620-templates", "version": 1, "templates": [)") +
        R"({"boardId": 0, "ao0": {"range": ")" + text + R"("}, "ao1": ")" + text + R"("}]})";
    std::vector<DocumentTemplate> parsed;
    const Status read = ParseTemplateDocument(document, &parsed);
    ASSERT_EQ(read.ok(), expect >= 0) << text << ErrorText(read);
    for (int i = 0; i < 2 && expect >= 0; ++i) {
      EXPECT_EQ(FindAoRange(parsed[0].ao[i]), expect) << text;
    }
  }
  EXPECT_TRUE(cli::ParsePairList("all")->all);
  EXPECT_EQ(cli::ParsePairList("0,3, 7")->bits, 0xC0C3u);
  for (const char* bad : {"", "8", "0,,1", "-1", "1-3", "all,1", "12"}) {
    EXPECT_FALSE(cli::ParsePairList(bad)) << bad;
  }
}

TEST(CliDiff, ShowsChangesWithContext) {
  EXPECT_EQ(cli::UnifiedDiff("a\nb\n", "a\nb\n", "x", "y"), "");
  EXPECT_EQ(cli::UnifiedDiff("1\n2\n3\n4\n5\n6\n7\n8\n", "1\n2\n3\n4\nfive\n6\n7\n8\n", "x", "y"),
            "--- x\n+++ y\n@@ -2,7 +2,7 @@\n 2\n 3\n 4\n-5\n+five\n 6\n 7\n 8\n");
  EXPECT_EQ(cli::UnifiedDiff("a\n", "a\nb", "x", "y"),
            "--- x\n+++ y\n@@ -1,1 +1,2 @@\n a\n+b\n\\ No newline at end of file\n");
  EXPECT_EQ(cli::UnifiedDiff("a\nb\n", "", "x", "y"), "--- x\n+++ y\n@@ -1,2 +0,0 @@\n-a\n-b\n");
  EXPECT_EQ(cli::DiffHeaderName("d/a-b.reg", "(x)"), "d/a-b.reg\t(x)");
  EXPECT_EQ(cli::DiffHeaderName("my \"f\\\t\x01\x7f\xc3\xa9", "(x)"),
            "\"my \\\"f\\\\\\t\\001\\177\\303\\251\"\t(x)");
}

struct InProcess {
  MemoryFileSystem fs;
  std::string path = "/img/Public/Korvalent/Device_Drivers/USB8620/USB8620.reg";
  std::string out, err;
  std::string input;  // what "apply -" reads

  int Run(std::vector<std::string> args) {
    args.insert(args.begin(), {"--file", path});
    std::ostringstream o, e;
    std::istringstream in(input);
    const int status = cli::Run(args, o, e, in, fs);
    out = o.str();
    err = e.str();
    return status;
  }
  const std::string& File() { return *fs.GetFile(path); }
};

// Pair edits change exactly the named pairs' bits; "all" replaces the word.
TEST(CliSet, ChannelMaskRules) {
  struct Case {
    const char* mask;
    std::vector<std::string> args;
    const char* expect;
  };
  const Case cases[] = {
      {"10004", {"--differential", "1"}, "1000c"},
      {"10004", {"--single-ended", "0,1"}, "10000"},
      {"10004", {"--differential", "all"}, "ffff"},
      {"1ffff", {"--single-ended", "all", "--differential", "7"}, "c000"},
      {"ffff", {"--differential", "all", "--single-ended", "0"}, "fffc"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mask);
    InProcess tool;
    tool.fs.SetFile(tool.path, kPrefix + "0]\r\n\"SwitchID\"=dword:0\r\n\"ChanConfig\"=dword:" +
                                   c.mask + "\r\n");
    std::vector<std::string> args = {"set", "0"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    ASSERT_EQ(tool.Run(args), 0) << tool.err;
    EXPECT_NE(tool.File().find(std::string("\"ChanConfig\"=dword:") + c.expect + "\r\n"),
              std::string::npos)
        << tool.File();
  }
}

// The tool's file is what the editor's table edits and Save would write.
TEST(CliSet, WritesWhatTheEditorSaveWrites) {
  const std::string sample = test::ReadFileBytes(kSample);
  InProcess tool;
  tool.fs.SetFile(tool.path, sample);
  ASSERT_EQ(tool.Run({"add", "--board-id", "7"}), 0) << tool.err;
  EXPECT_EQ(tool.out, "1\n");
  ASSERT_EQ(tool.Run({"set", "2", "--ao1", "-10~10", "--differential", "2"}), 0) << tool.err;
  ASSERT_EQ(tool.Run({"remove", "0"}), 0) << tool.err;

  MemoryFileSystem editor;
  editor.SetFile(tool.path, sample);
  TemplateTable table;
  LoadTemplateTable(table, tool.path, editor);
  uint32_t n = 0;
  ASSERT_TRUE(table.AllocateTemplate(&n));
  table[n].SwitchID = 7;
  ASSERT_TRUE(SaveTemplateTable(table, tool.path, editor).ok());
  table[2].AOSettings[1].RefHigh = 10;
  table[2].AOSettings[1].RefLow = -10;
  table[2].ChanConfig |= 0x30;
  ASSERT_TRUE(SaveTemplateTable(table, tool.path, editor).ok());
  table[0].Used = 0;
  ASSERT_TRUE(SaveTemplateTable(table, tool.path, editor).ok());
  EXPECT_EQ(tool.File(), *editor.GetFile(tool.path));
}

TEST(CliCheck, ReportsEachKindOfProblem) {
  InProcess tool;
  tool.fs.SetFile(tool.path,
                  kPrefix + "0]\r\n\"SwitchID\"=dword:3\r\n\"ChanConfig\"=dword:10003\r\n" +
                      kPrefix + "1]\r\n\"SwitchID\"=dword:3\r\n\"ChanConfig\"=dword:4\r\n" +
                      kPrefix + "2]\r\n\"ChanConfig\"=dword:0\r\n" +
                      kPrefix + "3]\r\n\"SwitchID\"=dword:14\r\n\"AOSettings 0\"=\"0 7 0\"\r\n"
                      "\"AOSettings 1\"=\"0 x\"\r\n");
  EXPECT_EQ(tool.Run({"check"}), 1);
  // Each line, and the kind --json gives the problem (in the same order).
  const std::pair<const char*, const char*> expected[] = {
      {"template 0: channel mask 0x10003 has bits above 15", "mask-bits-above-15"},
      {"template 1: board id 3 is also the board id of template 0", "board-id-twice"},
      {"template 1: channel mask 0x0004: pairs 1 have two unequal bits", "mask-half-pair"},
      {"template 2: the section has no \"SwitchID\"", "no-switch-id"},
      {"template 3: board id 20 is above 15", "board-id-above-15"},
      {"template 3: \"AOSettings 0\" text \"0 7 0\" (0 ~ 7V) matches no range", "ao-no-range"},
      {"template 3: \"AOSettings 1\" text \"0 x\" is not three numbers", "ao-not-three-numbers"},
  };
  EXPECT_EQ(tool.out.rfind("encoding: 8-bit (ANSI)\n", 0), 0u);
  for (const auto& row : expected)
    EXPECT_NE(tool.out.find(row.first), std::string::npos) << row.first;
  EXPECT_EQ(std::count(tool.out.begin(), tool.out.end(), '\n'), 8) << tool.out;
  EXPECT_EQ(tool.Run({"check", "--json"}), 1);
  const nlohmann::json problems = nlohmann::json::parse(tool.out)["problems"];
  ASSERT_EQ(problems.size(), std::size(expected)) << tool.out;
  // Every kind is one the manual lists.
  const std::string manual = test::ReadFileBytes(ZUV_SOURCE_DIR "/cli/zuv8620.h2m.in");
  for (size_t i = 0; i < kProblemKindCount; ++i) {
    EXPECT_NE(manual.find(std::string(".B ") + kProblemKinds[i].name + "\n"), std::string::npos)
        << kProblemKinds[i].name;
  }
  for (size_t i = 0; i < problems.size(); ++i) {
    const nlohmann::json& problem = problems[i];
    EXPECT_EQ(problem["kind"], expected[i].second) << problem;
    EXPECT_EQ(problem["file"], tool.path);
    EXPECT_EQ(problem["template"], i == 0 ? 0 : i < 3 ? 1 : i == 3 ? 2 : 3) << problem;
    EXPECT_EQ(problem["line"], i == 0 ? 1 : i < 3 ? 4 : i == 3 ? 7 : 9) << problem;
    const std::string line =
        "template " + problem["template"].dump() + ": " + problem["message"].get<std::string>();
    EXPECT_EQ(line.rfind(expected[i].first, 0), 0u) << line;
  }
}

// A driver file in each encoding gets, through every command, exactly the
// bytes of the same file in 8-bit text, encoded back; one that does not decode
// is listed but never changed.
TEST(CliEncodings, EditsEachEncodingAsItsText) {
  // A comment with non-ASCII characters (one beyond 16 bits) that must come
  // back unchanged.
  const std::string ansi = "; caf\xC3\xA9 \xF0\x9F\x98\x80\r\n" + test::ReadFileBytes(kSample);
  auto utf16 = [](TextEncoding encoding, const std::string& text) {
    std::string bytes;
    EXPECT_TRUE(EncodeText(encoding, text, &bytes));
    return bytes;
  };
  const std::string le = utf16(TextEncoding::kUtf16Le, ansi);
  ASSERT_EQ(le.substr(0, 18), std::string("\xFF\xFE;\0 \0c\0a\0f\0\xE9\0 \0\x3D\xD8\0\xDE", 18));
  struct Case {
    const char* encoding;
    std::string file;
    std::function<std::string(const std::string&)> fromAnsi;  // empty: does not decode
    const char* fault = nullptr;
    size_t offset = 0;
  };
  const Case cases[] = {
      {"8-bit (ANSI)", ansi, [](const std::string& t) { return t; }},
      {"UTF-8 with byte-order mark", "\xEF\xBB\xBF" + ansi,
       [](const std::string& t) { return "\xEF\xBB\xBF" + t; }},
      {"UTF-16 LE", le, [&](const std::string& t) { return utf16(TextEncoding::kUtf16Le, t); },
       },
      {"UTF-16 BE", utf16(TextEncoding::kUtf16Be, ansi),
       [&](const std::string& t) { return utf16(TextEncoding::kUtf16Be, t); }},
      {"UTF-16 LE", le + "x", nullptr, "an odd number of bytes", le.size()},
      {"UTF-16 LE", le.substr(0, 40) + std::string("\0\xDC", 2) + le.substr(40), nullptr,
       "an unpaired UTF-16 surrogate", 40},
  };
  const std::vector<std::vector<std::string>> commands = {
      {"save"}, {"add"}, {"set", "0", "--ao1", "0~5"}, {"remove", "0"}, {"add", "--board-id", "9"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.encoding) + (c.fromAnsi ? "" : ", broken"));
    InProcess plain, tool;
    plain.fs.SetFile(plain.path, ansi);
    tool.fs.SetFile(tool.path, c.file);
    ASSERT_EQ(tool.Run({"list"}), 0) << tool.err;
    ASSERT_EQ(plain.Run({"list"}), 0);
    EXPECT_EQ(tool.out, plain.out);
    EXPECT_EQ(tool.Run({"check"}), c.fromAnsi ? 0 : 1);
    EXPECT_EQ(tool.out.rfind(std::string("encoding: ") + c.encoding + "\n", 0), 0u) << tool.out;
    for (const std::vector<std::string>& command : commands) {
      SCOPED_TRACE(command[0]);
      ASSERT_EQ(plain.Run(command), 0) << plain.err;
      if (c.fromAnsi) {
        ASSERT_EQ(tool.Run(command), 0) << tool.err;
        EXPECT_EQ(tool.File(), c.fromAnsi(plain.File()));
      } else {
        EXPECT_EQ(tool.Run(command), 2);
        EXPECT_EQ(tool.err.rfind("zuv8620: " + tool.path + ": byte offset " +
                                     std::to_string(c.offset) + ": " + c.fault, 0),
                  0u)
            << tool.err;
        EXPECT_EQ(tool.File(), c.file);
      }
    }
  }
  // A dry run of a file whose bytes are not its text says what the diff is of.
  InProcess tool;
  tool.fs.SetFile(tool.path, le);
  ASSERT_EQ(tool.Run({"remove", "0", "--dry-run"}), 0) << tool.err;
  EXPECT_EQ(tool.out.rfind("# UTF-16 LE file: the diff is of its decoded text (UTF-8)\n--- ", 0),
            0u)
      << tool.out;
}

// A NUL byte is a byte like any other: the templates after it are found,
// edited once, and check points at it.
TEST(CliNul, TheWholeFileIsEdited) {
  InProcess tool;
  const std::string head = std::string("; a\0b\r\n", 7);
  tool.fs.SetFile(tool.path, head + kPrefix + "0]\r\n\"SwitchID\"=dword:0\r\n");
  ASSERT_EQ(tool.Run({"list"}), 0);
  EXPECT_EQ(tool.out.rfind("0: board 0,", 0), 0u) << tool.out;
  ASSERT_EQ(tool.Run({"add"}), 0);
  ASSERT_EQ(tool.Run({"add"}), 0);
  EXPECT_EQ(tool.out, "2\n");
  EXPECT_EQ(tool.File().rfind(head + kPrefix + "0]", 0), 0u);
  for (const char* n : {"0]", "1]", "2]"}) {
    const std::string header = kPrefix + n;
    const size_t at = tool.File().find(header);
    EXPECT_NE(at, std::string::npos) << n;
    EXPECT_EQ(tool.File().find(header, at + 1), std::string::npos) << n;
  }
  EXPECT_EQ(tool.Run({"check"}), 1);
  EXPECT_NE(tool.out.find("file: byte offset 3 holds a NUL byte"), std::string::npos) << tool.out;
}

// Files whose template sections hold a "[" inside a line, a key the device
// would read otherwise, another driver's key, or an encoding never written:
// what check reports, and what each edit writes (the file's bytes) or why it
// refuses (the file left as it was).
TEST(CliDeviceView, WhatTheDeviceReadsIsWhatWasSaved) {
  const std::string sample = test::ReadFileBytes(kSample);
  const std::string id2 = kPrefix + "2]\r\n\"SwitchID\"=dword:1\r\n";
  const std::string ao1 = "\"AOSettings 1\"=\"     0    10     0\"\r\n";  // template 2's
  const std::string ao1Set = "\"AOSettings 1\"=\"     0     5    -5\"\r\n";
  auto with = [](std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
  };
  // ASCII text in units of `width` bytes after `mark`.
  auto encoded = [](const std::string& mark, size_t width, bool be, const std::string& text) {
    std::string bytes = mark;
    for (char c : text) {
      std::string unit(width, '\0');
      unit[be ? width - 1 : 0] = c;
      bytes += unit;
    }
    return bytes;
  };
  const std::string comment = with(sample, id2, id2 + "; calibrated [2024-05] by QA\r\n");
  const std::string note = with(sample, id2, id2 + "\"Note\"=\"rack [A]\"\r\n");
  const std::string keyLine = with(sample, id2, id2 + "[2024-05] by QA\r\n");
  const std::string headerNote = with(sample, kPrefix + "2]", kPrefix + "2] ; was [1]");
  const std::string later = with(sample, ao1, ao1 + "\"SwitchID\"=dword:7\r\n");
  // Files people edit by hand, which the device reads without trouble.
  const std::string id0 = "\"SwitchID\"=dword:0", id1 = "\"SwitchID\"=dword:1";
  const std::string cased = with(sample, "\"ChanConfig\"=dword:3", "\"Chanconfig\"=dword:ffff");
  std::string upper = kPrefix + "2]";
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const std::string capitals =
      with(sample, kPrefix + "2]", upper.substr(0, upper.size() - 1) + " ]");
  const std::string forms = with(with(sample, id0, "\"SwitchID\" = DWORD:0 ; main board"), id1,
                                 "\"SwitchID\"=hex(4):01,00,00,00");
  const std::string hand =
      with(with(sample, "\"     0     5    -5\"", "\"0 5 -5 7\""), "\"ChanConfig\"=dword:3\r\n",
           "\"ChanConfig\"=dword:3\r\n\"Extra\"=hex:01,\\\r\n  02\r\n");
  std::string lf = sample;
  lf.erase(std::remove(lf.begin(), lf.end(), '\r'), lf.end());
  const std::string later2 = "; later settings\r\n[HKEY_LOCAL_MACHINE\\Later]\r\n\"x\"=dword:1\r\n";
  const std::string block = with(sample, kPrefix + "2]", "IF BSP_USB8620\r\n" + kPrefix + "2]") +
                            "ENDIF\r\n\r\n" + later2;
  const std::string oneBlock =
      with(sample, kPrefix + "0]", "IF BSP_X\r\n" + kPrefix + "0]") + "ENDIF\r\n" + later2;
  const std::string ifdef = with(with(sample, "\"ChanConfig\"=dword:0\r\n", ""), kPrefix + "2]\r\n",
                                 kPrefix + "2]\r\n#ifdef BSP_X\r\n") +
                            "#endif\r\n" + later2;
  const std::string factory = with(sample, kPrefix + "0]",
                                   kPrefix.substr(0, kPrefix.size() - 8) +
                                       "Factory\\Template1]\r\n\"SwitchID\"=dword:9\r\n" + kPrefix +
                                       "1]\r\n\"SwitchID\"=dword:5\r\n" + kPrefix + "0]");
  const std::string unshown = with(
      sample, kPrefix + "2]", kPrefix + "1]\r\n\"ChanConfig\"=dword:3\r\n\r\n" + kPrefix + "2]");
  // What the image build reads besides the values: its directives, blocks it
  // leaves out, branches, deletions, a block left open at the end.
  const std::string sysgen =
      with(sample, kPrefix + "2]",
           "; HIVE BOOT SECTION\r\n; @CESYSGEN IF CE_MODULES_USB\r\n" + kPrefix + "2]") +
      "; @CESYSGEN ENDIF\r\n; END HIVE BOOT SECTION\r\n\r\n" + later2;
  const std::string dead =
      sample + "#if 0\r\n" + kPrefix + "0]\r\n\"SwitchID\"=dword:9\r\n#endif\r\n";
  const std::string deadAo = sample + "#if 0\r\n" + kPrefix +
                             "0]\r\n\"AOSettings 1\"=\"     7    10   -10\"\r\n#endif\r\n";
  const std::string branches = with(sample, kPrefix + "2]", "IF BSP_X\r\n" + kPrefix + "2]") +
                               "ELSE\r\n" + kPrefix + "2]\r\n\"SwitchID\"=dword:5\r\nENDIF\r\n";
  const std::string deletion = "line 26 ([-" + kPrefix.substr(1) + "2]): template 2: the build " +
                               "deletes its key [" + kPrefix.substr(1) + "2]; it is not shown";
  const std::string deleted = sample + "[-" + kPrefix.substr(1) + "2]\r\n";
  const std::string openIf = sample + "IF BSP_X\r\n";
  const std::string noEnd = sample.substr(0, sample.size() - 2);
  const std::string tailIfdef = with(with(sample, "\"ChanConfig\"=dword:0\r\n", ""), ao1,
                                     ao1 + "#ifdef BSP_X\r\n\"Extra\"=dword:1\r\n#endif\r\n");
  // Boot-hive markers with two blanks between their words.
  const std::string hive =
      with(sample, kPrefix + "2]", "; HIVE  BOOT SECTION\r\n" + kPrefix + "2]") +
      "; END HIVE  BOOT SECTION\r\n\r\n" + later2;
  // A comment that a blank line parts from template 0 introduces what follows.
  const size_t t0 = sample.find(kPrefix + "0]");
  const std::string introduced = with(sample, ao1Set, ao1Set + "\r\n; the second board\r\n");
  // Template 2 as add appends it.
  const size_t t2 = sample.find("\r\n" + kPrefix + "2]");
  const std::string appended = sample.substr(0, t2) + " \r\n" + kPrefix + "2] \r\n" +
                               sample.substr(sample.find("]\r\n", t2) + 3);
  // Template 0 first, then a key of bytes that read as UTF-16 once it is gone.
  std::string wide = "[";
  for (int i = 0; i < 127; ++i) wide += std::string("\0x", 2);
  const std::string flips = sample.substr(t0, t2 + 2 - t0) + wide + "]\r\n" + sample.substr(0, t0) +
                            sample.substr(t2 + 2);
  const std::string added1 = kPrefix + "1] \r\n\"SwitchID\"=dword:2\r\n\"ChanConfig\"=dword:0\r\n" +
                             "\"AOSettings 0\"=\"     0    10     0\"\r\n" +
                             "\"AOSettings 1\"=\"     0    10     0\"\r\n";
  struct Edit {
    std::vector<std::string> args;
    std::string after;       // the file's bytes, the start of the refusal, or what it prints
    std::string input = {};  // what "apply -" reads
  };
  struct Case {
    const char* name;
    std::string file;
    std::string checked;  // check's output after the encoding line; empty: no problems
    std::vector<Edit> edits;
    std::string path = "/img/Public/Korvalent/Device_Drivers/USB8620/USB8620.reg";
  };
  const std::string refused = "refused: ";
  const std::string prints = "prints: ";  // exit 0, this output, the file unchanged
  auto jsonQuoted = [](std::string text) {
    for (size_t at = 0; (at = text.find('"', at)) != std::string::npos; at += 2) {
      text.insert(at, 1, '\\');
    }
    return text;
  };
  const std::string list2 =
      "2: board 1, channels 0x0000 (differential pairs: none), AO0 -10 ~ 10V, AO1 0 ~ 10V\n";
  const std::string deadWhy =
      "line 16: the device reads \"SwitchID\" as dword:00000000, a load shows dword:00000009";
  const std::string branchesWhy =
      "it reads otherwise by build: without BSP_X: board 5, channels 0x0000, AO0 0 ~ 10V, AO1 0 ~ "
      "10V; with BSP_X: board 1, channels 0x0000, AO0 -10 ~ 10V, AO1 0 ~ 10V; no change is "
      "written to it until the build is named: name the build with --undefine BSP_X or --define "
      "BSP_X";
  const std::string keys = "line 15: template 0's section is under the key [" +
                           kPrefix.substr(1) + "0], but the key of driver ";
  const std::string foreign = with(sample, kPrefix + "2]",
                                   "[HKEY_LOCAL_MACHINE\\Drivers\\USB\\ClientDrivers"
                                   "\\QDR4310_Uzore\\Template2]");
  const std::vector<Case> cases = {
      {"[ in a comment",
       comment,
       "",
       {{{"set", "2", "--ao1", "-5 ~ 5V"}, with(comment, ao1, ao1Set)},
        {{"remove", "2"}, with(comment, comment.substr(comment.find(kPrefix + "2]")), "")}}},
      {"[ in a string",
       note,
       "",
       {{{"set", "0", "--ao1", "-10~10"},
         with(note, "\"     0     5    -5\"", "\"     0    10   -10\"")}}},
      {"[ in a header's comment",
       headerNote,
       "",
       {{{"set", "2", "--ao1", "-5 ~ 5V"}, with(headerNote, ao1, ao1Set)}}},
      {"[ at a line start: a key of its own",
       keyLine,
       "",
       {{{"set", "2", "--ao1", "-5 ~ 5V"}, with(keyLine, "[2024-05]", ao1Set + "[2024-05]")}}},
      {"a later line overrides a value",
       later,
       "",
       {{{"set", "0", "--ao1", "0~5"},
         with(later, "\"     0     5    -5\"", "\"     0     5     0\"")},
        {{"remove", "2"}, later.substr(0, later.find(kPrefix + "2]"))}}},
      {"names in another case",
       cased,
       "",
       {{{"set", "0", "--ao0", "0~5"},
         with(cased, "\"     0    10     0\"", "\"     0     5     0\"")},
        {{"set", "2", "--board-id", "4"}, with(cased, id1, "\"SwitchID\"=dword:4")}}},
      {"a header in capitals",
       capitals,
       "",
       {{{"add"},
         capitals + " \r\n" + kPrefix +
             "1] \r\n\"SwitchID\"=dword:2\r\n"
             "\"ChanConfig\"=dword:0\r\n\"AOSettings 0\"=\"     0    10     0\"\r\n" +
             "\"AOSettings 1\"=\"     0    10     0\"\r\n"}}},
      {"forms the device reads as a number",
       forms,
       "",
       {{{"set", "2", "--board-id", "4"}, with(forms, "hex(4):01,00,00,00", "dword:4")},
        {{"set", "0", "--board-id", "5"}, with(forms, "DWORD:0", "dword:5")}}},
      {"a template the command does not name stays as written",
       hand,
       "",
       {{{"set", "2", "--board-id", "4"}, with(hand, id1, "\"SwitchID\"=dword:4")},
        {{"set", "0", "--board-id", "5"}, with(hand, id0, "\"SwitchID\"=dword:5")}}},
      {"line feeds",
       lf,
       "",
       {{{"set", "2", "--board-id", "4"}, with(lf, id1, "\"SwitchID\"=dword:4")},
        {{"add"},
         lf + " \n" + kPrefix +
             "1] \n\"SwitchID\"=dword:2\n\"ChanConfig\"=dword:0\n"
             "\"AOSettings 0\"=\"     0    10     0\"\n\"AOSettings 1\"=\"     0    10     "
             "0\"\n"}}},
      {"templates inside IF and ENDIF",
       block,
       "",
       {{{"remove", "2"}, block.substr(0, block.find(kPrefix + "2]")) + "ENDIF\r\n\r\n" + later2},
        {{"set", "2", "--board-id", "4"}, with(block, id1, "\"SwitchID\"=dword:4")}}},
      {"every template inside one IF: one added for that build goes in it",
       oneBlock,
       "",
       {{{"--define", "BSP_X", "add"}, with(oneBlock, "ENDIF\r\n", " \r\n" + added1 + "ENDIF\r\n")},
        {{"add"}, oneBlock + " \r\n" + added1}}},
      {"a value added inside #ifdef",
       ifdef,
       "",
       {{{"set", "2", "--differential", "0"},
         with(ifdef, "#endif", "\"ChanConfig\"=dword:3\r\n#endif")}}},
      {"a key that merely ends like a template's",
       factory,
       "",
       {{{"set", "1", "--board-id", "6"}, with(factory, "dword:5", "dword:6")}}},
      {"a key the device reads without a board id",
       unshown,
       "template 1: the section has no \"SwitchID\"; it is not shown, and no change is written to "
       "it "
       "until it has one\n",
       {{{"add"},
         unshown + " \r\n" + kPrefix +
             "3] \r\n\"SwitchID\"=dword:3\r\n"
             "\"ChanConfig\"=dword:0\r\n\"AOSettings 0\"=\"     0    10     0\"\r\n" +
             "\"AOSettings 1\"=\"     0    10     0\"\r\n"},
        {{"show", "1"},
         refused + "line 21: template 1: the device reads key [" + kPrefix.substr(1) +
             "1] without a double-word"},
        {{"remove", "1"}, refused + "line 21: template 1: the device reads key"}}},
      {"a template inside a sysgen block at the boot hive's end",
       sysgen,
       "",
       {{{"remove", "2"},
         sysgen.substr(0, sysgen.find(kPrefix + "2]")) +
             "; @CESYSGEN ENDIF\r\n; END HIVE BOOT SECTION\r\n\r\n" + later2},
        {{"set", "2", "--board-id", "4"}, with(sysgen, id1, "\"SwitchID\"=dword:4")}}},
      {"a copy inside #if 0",
       dead,
       "file: line 16: template 0: the device reads \"SwitchID\" as dword:00000000, a load shows "
       "dword:00000009\n",
       {{{"set", "0", "--board-id", "5"}, refused + "line 16: template 0: the device reads"},
        {{"list"}, prints + "0: reserved: " + deadWhy + "\n" + list2},
        {{"show", "0"}, refused + "template 0 is reserved: " + deadWhy + "\n"},
        // Left out of the export, and so left alone by apply.
        {{"apply", "-"},
         dead,
         R"({"format": "zuv8620-templates", "version": 1, "templates": [{"number": 2,)"
         R"( "boardId": 1, "ao0": "-10 ~ 10V", "ao1": "0 ~ 10V"}]})"}}},
      {"an output's copy inside #if 0",
       deadAo,
       "file: line 19: template 0: the device reads \"AOSettings 1\" as code 0, -5 ~ 5V, a load "
       "shows code 7, -10 ~ 10V\n",
       {{{"set", "0", "--ao1", "0~5"}, refused + "line 19: template 0: the device reads"}}},
      {"copies in both branches of an IF",
       branches,
       "file: template 2: " + branchesWhy + "\n",
       {{{"set", "2", "--board-id", "4"}, refused + "template 2: it reads otherwise by build"},
        {{"set", "2", "--board-id", "5"},
         refused + "template 2: " + branchesWhy + "; nothing was written\n"},
        // Named, the build's own copy is edited.
        {{"--define", "BSP_X", "set", "2", "--board-id", "4"},
         with(branches, id1, "\"SwitchID\"=dword:4")},
        {{"set", "2", "--undefine", "BSP_X", "--board-id", "6"},
         with(branches, "dword:5", "dword:6")},
        {{"show", "2"},
         prints + "template 2 reads otherwise by build:\n  without BSP_X: board 5, channels "
                  "0x0000, AO0 0 ~ 10V, AO1 0 ~ 10V\n    line 29: \"SwitchID\" dword:00000005\n"
                  "  with BSP_X: board 1, channels 0x0000, AO0 -10 ~ 10V, AO1 0 ~ 10V\n"
                  "    line 23: \"SwitchID\" dword:00000001\n    line 24: \"ChanConfig\" "
                  "dword:00000000\n    line 25: \"AOSettings 0\" \"     0    10   -10\"\n"
                  "    line 26: \"AOSettings 1\" \"     0    10     0\"\n"
                  "To change it, name the build with --undefine BSP_X or --define BSP_X.\n"},
        {{"list", "--json"},
         prints + R"({"file":"/img/Public/Korvalent/Device_Drivers/USB8620/USB8620.reg",)" +
             R"("templates":[{"number":0,"boardId":0,"chanConfig":3,"chanConfigHex":"0x0003",)" +
             R"("differentialPairs":[0],"ao":[{"range":"0 ~ 10V","code":0,"refHigh":10,)" +
             R"("refLow":0},{"range":"-5 ~ 5V","code":0,"refHigh":5,"refLow":-5}]}],)" +
             R"("reserved":[{"number":2,"reason":")" + jsonQuoted(branchesWhy) +
             R"(","readings":[{"when":"without BSP_X","options":"--undefine BSP_X",)" +
             R"("summary":"board 5, channels 0x0000, AO0 0 ~ 10V, AO1 0 ~ 10V","values":)" +
             R"([{"name":"SwitchID","data":"dword:00000005","line":29}]},{"when":"with BSP_X",)" +
             R"("options":"--define BSP_X","summary":"board 1, channels 0x0000, AO0 -10 ~ 10V, )" +
             R"(AO1 0 ~ 10V","values":[{"name":"SwitchID","data":"dword:00000001","line":23},)" +
             R"({"name":"ChanConfig","data":"dword:00000000","line":24},{"name":"AOSettings 0",)" +
             R"("data":"\"     0    10   -10\"","line":25},{"name":"AOSettings 1","data":)" +
             R"("\"     0    10     0\"","line":26}]}]}]})" + "\n"}}},
      {"a template the build deletes",
       deleted,
       "file: " + deletion + ", and no change is written to template 2 while its section stands\n",
       {{{"show", "2"}, refused + deletion},
        {{"set", "2", "--board-id", "4"}, refused + deletion},
        {{"remove", "2"}, refused + deletion},
        {{"add"}, deleted + " \r\n" + with(added1, "dword:2", "dword:1")}}},
      {"a file ending inside an IF",
       openIf,
       "file: line 26: the file ends inside the block of \"IF BSP_X\"; a template added at the end "
       "would stand under it, so none is added\n",
       {{{"add"}, refused + "line 26: the file ends inside"},
        {{"set", "0", "--board-id", "5"}, with(openIf, id0, "\"SwitchID\"=dword:5")}}},
      {"no line end at the end", noEnd, "", {{{"add"}, noEnd + "\r\n \r\n" + added1}}},
      {"a value added before an #ifdef at the section's end",
       tailIfdef,
       "",
       {{{"set", "2", "--differential", "0"},
         with(tailIfdef, ao1 + "#ifdef", ao1 + "\"ChanConfig\"=dword:3\r\n#ifdef")}}},
      {"the last template beside another driver's",
       foreign,
       "",
       {{{"remove", "0"},
         refused +
             "the file would keep only another driver's templates: line 15: template 2's "
             "section is under the key [HKEY_LOCAL_MACHINE\\Drivers\\USB\\ClientDrivers"
             "\\QDR4310_Uzore\\Template2], but the key of driver USB8620 is [" +
             kPrefix.substr(1) + "2]; nothing was written\n"},
        {{"set", "0", "--board-id", "5"}, with(foreign, id0, "\"SwitchID\"=dword:5")}}},
      {"boot-hive markers with two blanks",
       hive,
       "",
       {{{"remove", "2"},
         hive.substr(0, hive.find(kPrefix + "2]")) + "; END HIVE  BOOT SECTION\r\n\r\n" + later2}}},
      {"a comment parted from the template by a blank line",
       introduced,
       "",
       {{{"remove", "0"},
         with(introduced, introduced.substr(t0, introduced.find("; the") - t0), "")}}},
      {"the last template as add appends it",
       appended,
       "",
       {{{"remove", "2"}, sample.substr(0, t2)}}},
      {"a removal that would leave text read as UTF-16",
       flips,
       "file: byte offset " + std::to_string(t2 + 3 - t0) +
           " holds a NUL byte, which other readers may take as the end of the file\n",
       {{{"remove", "0"},
         refused + "the saved text would read as UTF-16 LE without byte-order mark, not as 8-bit "
                   "(ANSI)\n"}}},
      {"a renamed copy",
       sample,
       "file: " + keys +
           "copy is [HKEY_LOCAL_MACHINE\\Drivers\\USB\\ClientDrivers\\VODy_Uzore"
           "\\Template0]; if the file belongs to another driver, name that driver: --driver NAME "
           "with --file; every change is refused\n",
       {{{"add"}, refused + keys + "copy is"},
        {{"--driver", "USB8620A", "set", "2", "--ao1", "-5 ~ 5V"}, with(sample, ao1, ao1Set)}},
       "/img/copy.reg"},
  };
  std::vector<Case> all = cases;
  const struct {
    const char* name;
    std::string mark;
    size_t width;
    bool be;
  } encodings[] = {{"UTF-32 LE", std::string("\xFF\xFE\0\0", 4), 4, false},
                   {"UTF-32 BE", std::string("\0\0\xFE\xFF", 4), 4, true},
                   {"UTF-16 LE without byte-order mark", "", 2, false},
                   {"UTF-16 BE without byte-order mark", "", 2, true}};
  for (const auto& e : encodings) {
    const std::string fault =
        std::string(e.name) + " is read but never written (UTF-16 with its mark, UTF-8 and "
                              "8-bit text are)";
    all.push_back({e.name, encoded(e.mark, e.width, e.be, sample),
                   "file: " + fault + "; no change is written to this file\n",
                   {{{"save"}, refused + fault + "; the file is not changed"},
                    {{"add"}, refused + fault},
                    {{"remove", "0"}, refused + fault}}});
  }
  for (const Case& c : all) {
    SCOPED_TRACE(c.name);
    InProcess tool, plain;
    tool.path = c.path;
    tool.fs.SetFile(tool.path, c.file);
    plain.fs.SetFile(plain.path, sample);
    ASSERT_EQ(plain.Run({"list"}), 0);
    // A file of another driver's keys is listed as check reports it, not as empty.
    const bool another = c.checked.find("--driver NAME with --file") != std::string::npos;
    EXPECT_EQ(tool.Run({"list"}), another ? 2 : 0) << tool.err;
    if (c.file != keyLine && c.file != later && c.file != cased && c.file != factory &&
        c.file != dead && c.file != deadAo && c.file != branches && c.file != deleted &&
        c.file != foreign && c.path == cases[0].path) {
      EXPECT_EQ(tool.out, plain.out);
    }
    EXPECT_EQ(tool.Run({"check"}), c.checked.empty() ? 0 : 1);
    EXPECT_EQ(tool.out.substr(tool.out.find('\n') + 1),
              c.checked.empty() ? "no problems found\n" : c.checked);
    for (const Edit& edit : c.edits) {
      SCOPED_TRACE(edit.args[0] + " " + (edit.args.size() > 1 ? edit.args[1] : ""));
      tool.fs.SetFile(tool.path, c.file);
      tool.input = edit.input;
      if (edit.after.rfind(prints, 0) == 0) {
        EXPECT_EQ(tool.Run(edit.args), 0) << tool.err;
        EXPECT_EQ(tool.out, edit.after.substr(prints.size()));
        EXPECT_EQ(tool.File(), c.file);
      } else if (edit.after.rfind(refused, 0) == 0) {
        EXPECT_EQ(tool.Run(edit.args), 2);
        EXPECT_EQ(tool.err.rfind("zuv8620: " + tool.path + ": " + edit.after.substr(refused.size()),
                                 0),
                  0u)
            << tool.err;
        EXPECT_EQ(tool.File(), c.file);
      } else {
        EXPECT_EQ(tool.Run(edit.args), 0) << tool.err;
        EXPECT_EQ(tool.File(), edit.after);
        std::vector<std::string> check = {"check"};
        if (edit.args[0] == "--driver") check.insert(check.begin(), {"--driver", edit.args[1]});
        EXPECT_EQ(tool.Run(check), c.checked.empty() || c.path != cases[0].path ? 0 : 1)
            << tool.out;
      }
    }
  }
}

// A document for apply around the given templates.
std::string Document(const std::string& templates) {
  return "{\"format\": \"zuv8620-templates\", \"version\": 1, \"templates\": [" + templates + "]}";
}
std::string DocTemplate(int number, int boardId) {
  return "{\"number\": " + std::to_string(number) + ", \"boardId\": " + std::to_string(boardId) +
         ", \"ao0\": \"0 ~ 5V\", \"ao1\": \"0 ~ 10V\"}";
}

TEST(CliApply, RefusalsSayWhereAndLeaveTheFileAlone) {
  std::string seventeen;
  for (int i = 0; i < 17; ++i) seventeen += (i ? "," : "") + DocTemplate(i % 16, i);
  std::string values;
  for (int i = 0; i < 10000; ++i) values += "0,";
  const std::pair<std::string, std::string> cases[] = {
      {"{\"format\": \"zuv8620-templates\",\n  \"version\": 1,",
       "standard input: not JSON: parse error at line 2, column 16"},
      {R"({"format": "zuv8620-templates", "version": 2, "templates": []})",
       "standard input: format version 2 is not known"},
      {R"({"format": "other", "version": 1, "templates": []})", R"("format" "other" is not)"},
      {Document(R"({"number": 1, "ao0": "0 ~ 5V", "ao1": "0 ~ 5V"})"),
       R"(templates[0] (number 1): "boardId" is missing)"},
      {Document(R"({"boardId": "3", "ao0": "0 ~ 5V", "ao1": "0 ~ 5V"})"),
       R"(templates[0]: "boardId" must be a whole number 0 to 4294967295, not "3")"},
      {Document(R"({"boardId": 3, "ao0": "0 ~ 5V", "ao1": "0 ~ 5V", "chanConfig": 3})"),
       R"(templates[0]: unknown field "chanConfig")"},
      {Document(R"({"boardId": 3, "ao0": "0 ~ 5V", "ao1": {"refHigh": 5}})"),
       R"(templates[0].ao1: "refLow" is missing)"},
      {Document(seventeen),
       "line 1, column 1081: more than 16 templates: Support up to 16 Templates"},
      // Refused while parsing, with where: no value deeper than 64, no field
      // twice, nothing after the document (a NUL ends nothing), no number a
      // double cannot hold, at most 10000 values.
      {"{\"format\": " + std::string(70000, '[') + std::string(70000, ']') + "}",
       "standard input: line 1, column 75: nested more than 64 deep"},
      {Document(R"({"boardId": 3, "boardId": 4, "ao0": "0 ~ 5V", "ao1": "0 ~ 5V"})"),
       R"(standard input: line 1, column 84: the field "boardId" is given twice)"},
      {Document("") + std::string("\0{}", 3),
       "standard input: not JSON: a NUL byte at line 1, column 63"},
      {Document("") + " {}",
       "column 64: syntax error while parsing value - unexpected '{'; expected end"},
      {Document(R"({"boardId": 1e400, "ao0": "0 ~ 5V", "ao1": "0 ~ 5V"})"),
       R"(standard input: line 1, column 77: "boardId" 1e400 is out of range)"},
      {Document(R"({"boardId": 1e20, "ao0": "0 ~ 5V", "ao1": "0 ~ 5V"})"),
       R"(templates[0]: "boardId" 1e+20 is out of range (0 to 4294967295)"},
      {Document(R"({"boardId": 3, "ao0": "0 ~ 5V", "ao1": {"range": "0 ~ 5V", "code": 3.5}})"),
       R"(templates[0].ao1: "code" must be a whole number 0 to 65535, not 3.5)"},
      {"{\"format\": [" + values + "0]}",
       "standard input: line 1, column 20010: the document holds more than 10000 values"},
      // A value is quoted with at most 80 bytes.
      {"{\"format\": \"" + std::string(1 << 20, 'a') + "\"}",
       "standard input: \"format\" \"" + std::string(76, 'a') +
           "... is not \"zuv8620-templates\"\n"},
      {"[\"" + std::string(1 << 20, 'a') + "\n", "last read: '\"" + std::string(76, 'a') + "...'"},
      {Document(DocTemplate(0, 3) + "," + DocTemplate(1, 3)),
       R"(templates[1] (number 1): "boardId" 3: SwitchID already used!)"},
      {Document(DocTemplate(16, 3)), R"(templates[0]: "number" 16 is out of range (0 to 15))"},
      {Document(DocTemplate(2, 3) + "," + DocTemplate(2, 4)),
       R"("number" 2 is also the number of templates[0] (number 2))"},
      {Document(R"({"boardId": 3, "ao0": "0 ~ 20V", "ao1": "0 ~ 5V"})"),
       R"(templates[0]: "ao0" "0 ~ 20V": the range is one of "0 ~ 5V", "0 ~ 10V")"},
      {Document(DocTemplate(5, 20)), R"("boardId" 20: a board id is 0 to 15)"},
  };
  const std::string sample = test::ReadFileBytes(kSample);
  for (const auto& [document, message] : cases) {
    SCOPED_TRACE(document);
    InProcess tool;
    tool.fs.SetFile(tool.path, sample);
    tool.input = document;
    EXPECT_EQ(tool.Run({"apply", "-"}), 2);
    EXPECT_NE(tool.err.find(message), std::string::npos) << tool.err;
    EXPECT_EQ(tool.File(), sample);
  }
}

// Left-out fields get what the editor's Add gives; values the four ranges and
// whole pairs cannot name, and a board id above 15 the template has, come
// back from the export unchanged.
TEST(CliApply, DefaultsAndExportOfOddValues) {
  const std::string sample = test::ReadFileBytes(kSample);
  InProcess tool;
  tool.fs.SetFile(tool.path, sample + kPrefix +
                                 "3]\r\n\"SwitchID\"=dword:14\r\n\"ChanConfig\"=dword:10004\r\n"
                                 "\"AOSettings 0\"=\"     3     7     0\"\r\n"
                                 "\"AOSettings 1\"=\"     2     5    -5\"\r\n");
  ASSERT_EQ(tool.Run({"export"}), 0) << tool.err;
  const nlohmann::ordered_json exported = nlohmann::ordered_json::parse(tool.out);
  EXPECT_EQ(exported["templates"][2].dump(),
            R"({"number":3,"boardId":20,"channelMask":65540,)"
            R"("ao0":{"refHigh":7,"refLow":0,"code":3},"ao1":{"range":"-5 ~ 5V","code":2}})");
  const std::string before = tool.File();
  tool.input = tool.out;
  ASSERT_EQ(tool.Run({"apply", "-"}), 0) << tool.err;
  EXPECT_EQ(tool.File(), before);

  tool.input = Document(R"({"boardId": 7, "ao0": "-5 ~ 5V", "ao1": "0 ~ 10V"},)" +
                        DocTemplate(0, 2));
  ASSERT_EQ(tool.Run({"apply", "-"}), 0) << tool.err;
  MemoryFileSystem editor;
  editor.SetFile(tool.path, before);
  TemplateTable table;
  LoadTemplateTable(table, tool.path, editor);
  table[2].Used = table[3].Used = 0;
  table[0].SwitchID = 2;
  table[0].ChanConfig = 0;
  table[0].AOSettings[0] = {0, 5, 0};
  table[0].AOSettings[1] = {0, 10, 0};
  uint32_t n = 0;
  ASSERT_TRUE(table.AllocateTemplate(&n));
  EXPECT_EQ(n, 1u);
  table[1].SwitchID = 7;
  table[1].AOSettings[0] = {0, 5, -5};
  ASSERT_TRUE(SaveTemplateTable(table, tool.path, editor).ok());
  EXPECT_EQ(tool.File(), *editor.GetFile(tool.path));
}

// Text of the file that is not UTF-8 shows as Windows-1252 in JSON; a path
// in UTF-8 stays as it is.
TEST(CliJson, OutputIsValidUtf8) {
  InProcess tool;
  tool.path = "/img/caf\xC3\xA9/USB8620.reg";
  tool.fs.SetFile(tool.path, kPrefix + "0]\r\n\"SwitchID\"=dword:0\r\n"
                                       "\"AOSettings 0\"=\"0 \xE9\xFF\"\r\n");
  EXPECT_EQ(tool.Run({"check", "--json"}), 1);
  EXPECT_TRUE(ValidJson(tool.out)) << tool.out;
  EXPECT_NE(tool.out.find("\"file\":\"/img/caf\xC3\xA9/USB8620.reg\""), std::string::npos);
  EXPECT_NE(tool.out.find("text \\\"0 \xC3\xA9\xC3\xBF\\\" is not three numbers"),
            std::string::npos)
      << tool.out;
  EXPECT_EQ(tool.Run({"list", "--json"}), 0);
  EXPECT_TRUE(ValidJson(tool.out)) << tool.out;
}

// Control bytes and bytes that are not UTF-8, in a name or in the file's
// text, reach the terminal escaped: messages, check's report and a diff's
// headers; a name in valid UTF-8 is shown as it is, and the diff's lines stay
// the file's own.
TEST(CliText, ControlBytesAreShownEscaped) {
  const std::string dir = "/img/Public/Korvalent/Device_Drivers/USB8620/";
  struct Row {
    std::string path;
    std::string file;  // empty: no file
    std::vector<std::string> args;
    std::string out, err;  // each the start of the output expected
  };
  const Row rows[] = {
      {dir + "a\x1b[31mred\n\a.reg",
       "",
       {"list"},
       "",
       "zuv8620: \"" + dir + "a\\033[31mred\\n\\a.reg\": "},
      {dir + "caf\xC3\xA9.reg", "", {"list"}, "", "zuv8620: " + dir + "caf\xC3\xA9.reg: "},
      {dir + "caf\xE9\\\".reg", "", {"list"}, "", "zuv8620: \"" + dir + "caf\\351\\\\\\\".reg\": "},
      {dir + "x\x9b.reg",
       kPrefix + "0]\r\n\"SwitchID\"=dword:0\r\n",
       {"add", "--dry-run"},
       "--- \"" + dir + "x\\233.reg\"\t(as it is)\n+++ \"" + dir + "x\\233.reg\"\t(after save)\n",
       ""},
      {dir + "y\xC2\x9B.reg",
       kPrefix + "0]\r\n\"SwitchID\"=dword:0\r\n",
       {"remove", "0", "--dry-run"},
       "--- \"" + dir + "y\\302\\233.reg\"\t",
       ""},
      {dir + "USB8620.reg",
       kPrefix + "0]\r\n\"SwitchID\"=dword:0\r\n\"AOSettings 0\"=\"0 \x1b]0;x\x07\xE9\"\r\n",
       {"check"},
       "encoding: 8-bit (ANSI)\ntemplate 0: \"AOSettings 0\" text \"0 \\033]0;x\\a\\351\"",
       ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.path);
    InProcess tool;
    tool.path = row.path;
    if (!row.file.empty()) tool.fs.SetFile(tool.path, row.file);
    tool.Run(row.args);
    EXPECT_EQ(tool.out.rfind(row.out, 0), 0u) << tool.out;
    EXPECT_EQ(tool.err.rfind(row.err, 0), 0u) << tool.err;
    // The diff's own lines are the file's bytes.
    if (row.args.back() == "--dry-run") {
      EXPECT_NE(tool.out.find("\r\n"), std::string::npos);
    }
  }
}

// A file may hold two templates with one board id (the load accepts it): its
// own export applies to it as a no-op; a document that makes a duplicate the
// file does not hold is refused, as the editor and `set` refuse it.
TEST(CliApply, AFilesOwnExportAppliesWithItsDuplicates) {
  const std::string file = test::ReadFileBytes(kSample) + " \r\n" + kPrefix +
                           "5] \r\n\"SwitchID\"=dword:0\r\n\"ChanConfig\"=dword:0\r\n" +
                           "\"AOSettings 0\"=\"     0     5     0\"\r\n" +
                           "\"AOSettings 1\"=\"     0    10     0\"\r\n";
  const std::string own = R"({"number": 0, "boardId": 0, "differentialPairs": [0],)"
                          R"( "ao0": "0 ~ 10V", "ao1": "-5 ~ 5V"},)"
                          R"({"number": 2, "boardId": 1, "ao0": "-10 ~ 10V", "ao1": "0 ~ 10V"})";
  const struct {
    const char* name;
    std::string document;  // empty: the file's own export
    const char* refusal;   // empty: applied, the file unchanged
  } rows[] = {
      {"its own export", "", ""},
      {"the duplicate kept, in the document's order", Document(DocTemplate(5, 0) + "," + own), ""},
      {"a third template with the id",
       Document(own + "," + DocTemplate(5, 0) + "," + DocTemplate(6, 0)),
       R"(templates[3] (number 6): "boardId" 0: SwitchID already used!)"},
      {"the duplicate moved to another slot", Document(own + "," + DocTemplate(7, 0)),
       R"(templates[2] (number 7): "boardId" 0: SwitchID already used!)"},
      {"a new duplicate of another id", Document(own + "," + DocTemplate(5, 1)),
       R"(templates[2] (number 5): "boardId" 1: SwitchID already used!)"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    InProcess tool;
    tool.fs.SetFile(tool.path, file);
    ASSERT_EQ(tool.Run({"check"}), 1);
    EXPECT_NE(tool.out.find("board id 0 is also the board id of template 0"), std::string::npos);
    ASSERT_EQ(tool.Run({"export"}), 0);
    tool.input = row.document.empty() ? tool.out : row.document;
    if (*row.refusal == '\0') {
      EXPECT_EQ(tool.Run({"apply", "-", "--dry-run"}), 0) << tool.err;
      EXPECT_EQ(tool.out, "");
      EXPECT_EQ(tool.Run({"apply", "-"}), 0) << tool.err;
    } else {
      EXPECT_EQ(tool.Run({"apply", "-"}), 2);
      EXPECT_NE(tool.err.find(row.refusal), std::string::npos) << tool.err;
    }
    EXPECT_EQ(tool.File(), file);
  }
}

// ---------------------------------------------------------------- the process

struct Result {
  int status;
  std::string out, err;
};

class Tool : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.File("Image/Public/Korvalent/Device_Drivers/USB8620/USB8620.reg");
    test::WriteFileBytes(path_, test::ReadFileBytes(kSample));
  }

  // `prefix` comes before the tool on the shell's line ("cd DIR && ", "cat F | ").
  Result Run(const std::string& args, const std::string& prefix = "") {
    const std::string out = dir_.File("out.txt"), err = dir_.File("err.txt");
    std::string command =
        prefix + "\"" ZUV8620_TOOL "\" " + args + " >\"" + out + "\" 2>\"" + err + "\"";
#ifdef _WIN32
    command = "\"" + command + "\"";  // cmd.exe drops the outer quotes
#endif
    int status = std::system(command.c_str());
#ifndef _WIN32
    status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    return {status, test::ReadFileBytes(out), test::ReadFileBytes(err)};
  }
  Result OnFile(const std::string& args) { return Run("--file \"" + path_ + "\" " + args); }
  // Run with a command line of any characters (UTF-8 here): on Windows it
  // goes to the system as UTF-16, as a user's shell passes it.
  Result RunUnicode(const std::string& args) {
#ifdef _WIN32
    const std::string out = dir_.File("out.txt"), err = dir_.File("err.txt");
    const std::string command =
        "\"\"" ZUV8620_TOOL "\" " + args + " >\"" + out + "\" 2>\"" + err + "\"\"";
    std::wstring wide(command.size() + 1, L'\0');
    wide.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, command.data(),
                                                        static_cast<int>(command.size()), &wide[0],
                                                        static_cast<int>(wide.size()))));
    const int status = _wsystem(wide.c_str());
    return {status, test::ReadFileBytes(out), test::ReadFileBytes(err)};
#else
    return Run(args);
#endif
  }
  std::string File() { return test::ReadFileBytes(path_); }

  test::TempDir dir_;
  std::string path_;
};

// A folder named outside the ANSI code page (Cyrillic, Japanese) opens: the
// tool takes its arguments as wide strings on Windows, works in UTF-8 and
// names the file in its messages as it is (UTF-8 to a file or a pipe).
TEST_F(Tool, OpensAFileUnderACyrillicFolder) {
  const std::string root = dir_.File(u8"Образ 画像");
  const std::string file =
      dir_.File(u8"Образ 画像/Public/Korvalent/Device_Drivers/USB8620/USB8620.reg");
  test::WriteFileBytes(file, test::ReadFileBytes(kSample));
  Result r = RunUnicode("--root \"" + root + "\" --driver USB8620A list");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "0: board 0, channels 0x0003 (differential pairs: 0), AO0 0 ~ 10V, AO1 -5 ~ 5V\n"
            "2: board 1, channels 0x0000 (differential pairs: none), AO0 -10 ~ 10V, AO1 0 ~ 10V\n");
  r = RunUnicode("--file \"" + file + "\" add --board-id 5");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "1\n");
  EXPECT_NE(test::ReadFileBytes(file).find("Template1]"), std::string::npos);
  // A message names the path in UTF-8.
  const std::string missing = dir_.File(u8"Образ 画像/нет.reg");
  r = RunUnicode("--file \"" + missing + "\" list");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err.rfind("zuv8620: " + missing + ": ", 0), 0u) << r.err;
}

TEST_F(Tool, EachCommandOnce) {
  Result r = Run("--root \"" + dir_.File("Image") + "\" --driver USB8620A list");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "0: board 0, channels 0x0003 (differential pairs: 0), AO0 0 ~ 10V, AO1 -5 ~ 5V\n"
            "2: board 1, channels 0x0000 (differential pairs: none), AO0 -10 ~ 10V, AO1 0 ~ 10V\n");

  r = OnFile("list --json");
  EXPECT_EQ(r.status, 0);
  ASSERT_TRUE(ValidJson(r.out)) << r.out;
  const nlohmann::json listed = nlohmann::json::parse(r.out)["templates"][1];
  EXPECT_EQ(listed["number"], 2) << r.out;
  EXPECT_EQ(listed["boardId"], 1) << r.out;

  r = OnFile("show 0 --json");
  EXPECT_TRUE(ValidJson(r.out)) << r.out;
  r = OnFile("show 2");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("ao0:                -10 ~ 10V (code 0)"), std::string::npos) << r.out;

  for (const auto& [args, value] :
       std::vector<std::pair<std::string, std::string>>{{"get 2 board-id", "1"},
                                                        {"get 0 channels", "0x0003"},
                                                        {"get 0 differential", "0"},
                                                        {"get 2 differential", "none"},
                                                        {"get 2 ao0", "-10 ~ 10V"},
                                                        {"get 0 ao1", "-5 ~ 5V"}}) {
    r = OnFile(args);
    EXPECT_EQ(r.status, 0) << args << r.err;
    EXPECT_EQ(r.out, value + "\n") << args;
  }

  r = OnFile("save");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(File(), test::ReadFileBytes(kSample));

  r = OnFile("add --board-id 9");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "1\n");
  r = OnFile("set 1 --differential 0,7 --ao0 \"0 ~ 5V\"");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(File().find(kPrefix + "1] \r\n\"SwitchID\"=dword:9\r\n\"ChanConfig\"=dword:c003\r\n"
                                   "\"AOSettings 0\"=\"     0     5     0\"\r\n"),
            std::string::npos);
  r = OnFile("remove 0");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(File().find(kPrefix + "0]"), std::string::npos);

  r = OnFile("check");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(ValidJson(OnFile("check --json").out));
}

TEST_F(Tool, RefusalsLeaveTheFileAlone) {
  struct Case {
    std::string args;
    std::string message;
  };
  const Case cases[] = {
      {"add --board-id 1", "SwitchID already used!"},
      {"set 0 --board-id 1", "SwitchID already used!"},
      {"add --board-id 16", "--board-id '16'"},
      {"set 0 --board-id x", "--board-id 'x'"},
      {"show 16", "template number '16'"},
      {"show 5", "template 5"},
      {"remove 5", "template 5"},
      {"set 1 --ao0 0~5", "template 1"},
      {"set 0 --ao1 0~20", "--ao1 '0~20'"},
      {"set 0 --differential 8", "--differential '8'"},
      {"set 0 --single-ended 1,x", "--single-ended '1,x'"},
      {"set 0", "nothing to change"},
      {"get 0 bogus",
       "zuv8620: get: unknown value 'bogus' (one of board-id, channels, "
       "differential, ao0, ao1)\nTry 'zuv8620 --help'"},
      {"get 0", "zuv8620: get: give the value's name"},
      {"get 5 ao0", "template 5"},
      {"save --exit-code", "zuv8620: option '--exit-code' goes with --dry-run\nTry"},
      {"--define a-b list", "(letters, digits and _)\nTry 'zuv8620 --help'"},
      {"show", "zuv8620: show: give the template number (0 to 15)\nTry 'zuv8620 --help'"},
      {"list --dry-run", "'--dry-run'"},
      {"frobnicate", "unknown command 'frobnicate'"},
      {"list -x", "zuv8620: unknown option '-x'\nTry 'zuv8620 --help' for more information.\n"},
      {"-1 show", "zuv8620: unknown option '-1'\n"},
  };
  const std::string before = File();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const Result r = OnFile(c.args);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(File(), before);
  }

  // Sixteen templates: no slot for another.
  for (int i = 0; i < 14; ++i) ASSERT_EQ(OnFile("add").status, 0);
  const std::string full = File();
  const Result r = OnFile("add");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "zuv8620: Support up to 16 Templates\n");
  EXPECT_EQ(File(), full);

  const std::string missing = dir_.File("nowhere/USB8620.reg");
  const Result gone = Run("--file \"" + missing + "\" list");
  EXPECT_EQ(gone.status, 2);
#ifdef _WIN32
  const uint32_t noFolder = 3;  // ERROR_PATH_NOT_FOUND
#else
  const uint32_t noFolder = 2;  // ENOENT
#endif
  EXPECT_EQ(gone.err, "zuv8620: " + missing + ": " + SystemErrorText(noFolder) + "\n");
}

// A link of another name edits the file it names (not the link) under that
// file's keys.
TEST_F(Tool, ALinkOfAnotherNameKeepsTheFilesKeys) {
  const std::string link = dir_.File("link.reg");
#ifdef _WIN32
  // Without the privilege, only where unprivileged links are allowed (the
  // second flag). wine 8 reports success and makes no link.
  const std::wstring from = std::filesystem::path(link).wstring();
  const std::wstring to = std::filesystem::path(path_).wstring();
  if (!(::CreateSymbolicLinkW(from.c_str(), to.c_str(), 0) ||
        ::CreateSymbolicLinkW(from.c_str(), to.c_str(), 2)) ||
      !test::FileExists(link)) {
    GTEST_SKIP() << "CreateSymbolicLinkW made no symbolic link here";
  }
#else
  ASSERT_EQ(symlink(path_.c_str(), link.c_str()), 0);
#endif
  const Result r = Run("--file \"" + link + "\" add");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(File().find(kPrefix + "1] \r\n\"SwitchID\"=dword:2\r\n"), std::string::npos);
  EXPECT_EQ(Run("--file \"" + link + "\" check").out,
            "encoding: 8-bit (ANSI)\nno problems found\n");
}

TEST_F(Tool, DryRunPrintsTheDiffAndLeavesTheFile) {
  const std::string before = File();
  // --exit-code: 1 when the save would change the file, as git diff's.
  for (const char* args : {"add --dry-run", "remove 0 --dry-run", "set 2 --ao0 0~5 --dry-run",
                           "set 2 --ao0 0~5 --dry-run --exit-code"}) {
    SCOPED_TRACE(args);
    const Result r = OnFile(args);
    EXPECT_EQ(r.status, std::strstr(args, "--exit-code") != nullptr ? 1 : 0) << r.err;
    EXPECT_EQ(r.out.rfind("--- " + path_ + "\t(as it is)\n+++ " + path_ + "\t(after save)\n", 0),
              0u)
        << r.out;
    EXPECT_NE(r.out.find("\n@@ -"), std::string::npos);
    EXPECT_EQ(File(), before);
  }
  EXPECT_EQ(OnFile("save --dry-run").out, "");  // the sample is already in saved form
  EXPECT_EQ(OnFile("save --dry-run --exit-code").status, 0);
  EXPECT_EQ(OnFile("set 2 --ao0 -10~10 --dry-run --exit-code").status, 0);
#ifndef _WIN32
  // The diff of a name with a blank, a quote and a tab applies with patch and
  // git apply, run where the name is relative.
  const std::string name = "my \"drv\"\t.reg";
  for (const char* apply : {"patch -s -p0", "git apply -p0"}) {
    SCOPED_TRACE(apply);
    test::WriteFileBytes(dir_.File(name), before);
    const std::string in = "cd \"" + dir_.Path() + "\" && ";
    ASSERT_EQ(Run("--file '" + name + "' --driver USB8620A set 2 --ao0 0~5 --dry-run >d.diff; " +
                      apply + " <d.diff",
                  in)
                  .status,
              0);
    EXPECT_EQ(Run("--file '" + name + "' --driver USB8620A set 2 --ao0 0~5 --dry-run", in).out, "");
  }
#endif
}

// A read-only driver file lists, shows, checks and exports as any other (the
// reads ask for reading only); an edit is refused before anything is written,
// saying why, and a dry run still shows it. Rows: the file's mode for another
// user, a read-only file system (a bind mount of the folder, where the
// machine allows one) and, on Windows, the read-only attribute.
TEST_F(Tool, ReadOnlyFilesReadButRefuseEdits) {
  struct Row {
    const char* name;
    std::string prefix;  // runs the tool in the row's conditions
    std::string reason;
  };
  std::vector<Row> rows;
  const std::string folder = std::filesystem::path(path_).parent_path().string();
#ifdef _WIN32
  rows.push_back({"read-only attribute", "",
                  "the file is read-only (its Read-only attribute is set: clear it in the "
                  "file's Properties, or with attrib -r, to save)"});
#else
  rows.push_back({"mode for another user", "setpriv --reuid=65534 --regid=65534 --clear-groups ",
                  "the file is read-only"});
  const std::string mount =
      "unshare -m sh -c 'mount --bind \"$1\" \"$1\" && "
      "mount -o remount,bind,ro \"$1\" \"$1\" && shift && exec \"$@\"' sh \"" + folder + "\" ";
  if (std::system((mount + "true 2>/dev/null").c_str()) == 0) {
    rows.push_back({"read-only file system", mount, "the file is read-only"});
  } else {
    std::printf("[ SKIPPED  ] read-only file system: no bind mount here\n");
  }
#endif
  const std::string expected = Run("--file \"" + path_ + "\" export").out;
  const std::string before = File();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
#ifdef _WIN32
    ASSERT_TRUE(::SetFileAttributesA(path_.c_str(), FILE_ATTRIBUTE_READONLY));
#else
    ::chmod(path_.c_str(), 0444);
#endif
    auto onFile = [&](const std::string& args) {
      const std::string out = dir_.File("out.txt"), err = dir_.File("err.txt");
      const std::string command = row.prefix + "\"" ZUV8620_TOOL "\" --file \"" + path_ +
                                  "\" " + args + " >\"" + out + "\" 2>\"" + err + "\"";
      std::string line = command;
#ifdef _WIN32
      line = "\"" + command + "\"";
#endif
      int status = std::system(line.c_str());
#ifndef _WIN32
      status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
      return Result{status, test::ReadFileBytes(out), test::ReadFileBytes(err)};
    };
    for (const char* args : {"list", "show 0", "check", "list --json", "add --dry-run"}) {
      const Result r = onFile(args);
      EXPECT_EQ(r.status, 0) << args << ": " << r.err;
    }
    Result r = onFile("export");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, expected);
    for (const char* args : {"add", "remove 0", "set 0 --ao0 0~5"}) {
      r = onFile(args);
      EXPECT_EQ(r.status, 2) << args;
      EXPECT_EQ(r.err, "zuv8620: " + path_ + ": " + row.reason + "\n") << args;
    }
    EXPECT_EQ(File(), before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
#ifdef _WIN32
    ::SetFileAttributesA(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
#else
    ::chmod(path_.c_str(), 0644);
#endif
  }
}

// Many processes at once on one file: the lock lets one load-edit-save run at
// a time, so no edit is lost and none is reported done when it was not; a
// lock held too long ends in a failure naming the file.
TEST_F(Tool, ProcessesAtOnceKeepEveryEdit) {
  auto runAll = [&](int count, const std::function<std::string(int)>& args) {
    std::vector<int> status(count, -1);
#ifdef _WIN32
    std::vector<intptr_t> children;
    for (int i = 0; i < count; ++i) {
      const std::string name = dir_.File("run" + std::to_string(i));
      const std::string line = "\"\"" ZUV8620_TOOL "\" --file \"" + path_ + "\" " + args(i) +
                               " >\"" + name + ".out\" 2>\"" + name + ".err\"\"";
      children.push_back(_spawnlp(_P_NOWAIT, "cmd.exe", "cmd.exe", "/c", line.c_str(), nullptr));
    }
    for (int i = 0; i < count; ++i) _cwait(&status[i], children[i], 0);
#else
    std::string script;
    for (int i = 0; i < count; ++i) {
      const std::string name = dir_.File("run" + std::to_string(i));
      script += "(\"" ZUV8620_TOOL "\" --file \"" + path_ + "\" " + args(i) + " >\"" + name +
                ".out\" 2>\"" + name + ".err\"; echo $? >\"" + name + ".rc\") & ";
    }
    EXPECT_EQ(std::system((script + "wait").c_str()), 0);
    for (int i = 0; i < count; ++i) {
      status[i] =
          std::atoi(test::ReadFileBytes(dir_.File("run" + std::to_string(i)) + ".rc").c_str());
    }
#endif
    std::vector<Result> results;
    for (int i = 0; i < count; ++i) {
      const std::string name = dir_.File("run" + std::to_string(i));
      results.push_back(
          {status[i], test::ReadFileBytes(name + ".out"), test::ReadFileBytes(name + ".err")});
    }
    return results;
  };
  // A working file that a killed save left: the next save removes it.
  const std::string folder = std::filesystem::path(path_).parent_path().string();
#ifdef _WIN32
  const std::string leftover = folder + "\\USB8620.reg.saving-123-4";
#else
  const std::string leftover = folder + "/.USB8620.reg.saving-000000";
#endif
  test::WriteFileBytes(leftover, "half a file");
  // The sample holds 2 templates: 14 adds find a slot, each its own.
  std::set<std::string> slots;
  int refused = 0;
  for (const Result& r : runAll(24, [](int) { return "add"; })) {
    if (r.status == 0) {
      EXPECT_TRUE(slots.insert(r.out).second) << "slot printed twice: " << r.out;
    } else {
      EXPECT_EQ(r.status, 2);
      EXPECT_EQ(r.err, "zuv8620: Support up to 16 Templates\n");
      ++refused;
    }
  }
  EXPECT_EQ(slots.size(), 14u);
  EXPECT_EQ(refused, 10);
  EXPECT_FALSE(test::FileExists(leftover));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
  Result list = OnFile("list");
  EXPECT_EQ(std::count(list.out.begin(), list.out.end(), '\n'), 16) << list.out;

  for (const Result& r :
       runAll(10, [](int i) { return "set " + std::to_string(i) + " --ao1 0~5"; })) {
    EXPECT_EQ(r.status, 0) << r.err;
  }
  list = OnFile("list");
  EXPECT_EQ(std::count(list.out.begin(), list.out.end(), '\n'), 16) << list.out;
  std::istringstream lines(list.out);
  for (std::string line; std::getline(lines, line);) {
    const bool edited = line.size() > 10 && line.compare(line.size() - 10, 10, "AO1 0 ~ 5V") == 0;
    EXPECT_EQ(edited, std::stoi(line) < 10) << line;
  }

  // Readers at once never refuse one another, nor a dry run among them (the
  // table is full: it is refused for that alone).
  const std::vector<Result> readers =
      runAll(12, [](int i) { return i % 4 == 3 ? "add --dry-run" : "list"; });
  for (size_t i = 0; i < readers.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(readers[i].status, i % 4 == 3 ? 2 : 0);
    EXPECT_EQ(readers[i].out, i % 4 == 3 ? "" : list.out);
    EXPECT_EQ(readers[i].err, i % 4 == 3 ? "zuv8620: Support up to 16 Templates\n" : "");
  }

  // Another program holds the lock: the tool waits (here 0.3 s) and gives up.
  const std::string before = File();
#ifdef _WIN32
  ASSERT_EQ(_putenv_s("ZUV8620_LOCK_WAIT_MS", "300"), 0);
#else
  ASSERT_EQ(::setenv("ZUV8620_LOCK_WAIT_MS", "300", 1), 0);
#endif
  {
    auto lock = NativeFileSystem().Lock(path_, LockMode::kExclusive);
    ASSERT_TRUE(lock.ok()) << ErrorText(lock.status());
    for (const char* args : {"add", "list"}) {
      const Result r = OnFile(args);
      EXPECT_EQ(r.status, 2) << args;
      EXPECT_EQ(r.err,
                "zuv8620: " + path_ + ": another program holds the file locked (waited 0.3 s)\n");
    }
  }
  EXPECT_EQ(File(), before);
  EXPECT_EQ(OnFile("add --dry-run").err, "zuv8620: Support up to 16 Templates\n");
  // A wait that is not a number is refused with what it holds.
#ifdef _WIN32
  ASSERT_EQ(_putenv_s("ZUV8620_LOCK_WAIT_MS", "2s"), 0);
#else
  ASSERT_EQ(::setenv("ZUV8620_LOCK_WAIT_MS", "2s", 1), 0);
#endif
  const Result malformed = OnFile("list");
  EXPECT_EQ(malformed.status, 2);
  EXPECT_EQ(malformed.err, "zuv8620: " + path_ +
                               ": ZUV8620_LOCK_WAIT_MS is \"2s\", not a number of milliseconds "
                               "from 0 to 3600000\n");
#ifdef _WIN32
  _putenv_s("ZUV8620_LOCK_WAIT_MS", "");
#else
  ::unsetenv("ZUV8620_LOCK_WAIT_MS");
#endif
}

// A file's templates carried to another file through export and apply; a
// second apply changes no byte.
TEST_F(Tool, ExportApplyAcrossTwoFiles) {
  ASSERT_EQ(OnFile("add --board-id 9").status, 0);
  ASSERT_EQ(OnFile("set 1 --differential 0,7 --ao0 0~5").status, 0);
  ASSERT_EQ(OnFile("remove 0").status, 0);
  // Values the tool cannot set, written in the form a save appends them in.
  test::WriteFileBytes(path_, File() + " \r\n" + kPrefix +
                                  "5] \r\n\"SwitchID\"=dword:d\r\n\"ChanConfig\"=dword:10004\r\n"
                                  "\"AOSettings 0\"=\"     3     7     0\"\r\n"
                                  "\"AOSettings 1\"=\"     0    10     0\"\r\n");
  const std::string wanted = File();
  ASSERT_EQ(OnFile("save").status, 0);
  EXPECT_EQ(File(), wanted);  // a save without an edit writes nothing
  const std::string document = dir_.File("templates.json");
  const Result exported = OnFile("export");
  ASSERT_EQ(exported.status, 0) << exported.err;
  test::WriteFileBytes(document, exported.out);

  const std::string other = dir_.File("other/USB8620.reg");
  test::WriteFileBytes(other, test::ReadFileBytes(kSample));
  const std::string onOther = "--file \"" + other + "\" apply ";
  Result r = Run(onOther + "\"" + document + "\" --dry-run");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("+\"SwitchID\"=dword:9\r\n"), std::string::npos) << r.out;
  EXPECT_EQ(test::ReadFileBytes(other), test::ReadFileBytes(kSample));
  r = Run(onOther + "\"" + document + "\"");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(test::ReadFileBytes(other), wanted);

  r = Run(onOther + "- < \"" + document + "\"");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(test::ReadFileBytes(other), wanted);
  EXPECT_EQ(Run(onOther + "\"" + document + "\" --dry-run").out, "");
}

// A driver file is a regular file; a document is one of at most 16 MiB: a
// file, a pipe or a device by name (/dev/stdin, a FIFO) read to its end, or
// standard input, a regular file or a pipe. A folder is refused at once and
// never read as an empty file; a larger document is refused before it is
// parsed, and nothing is read further than the limit.
TEST_F(Tool, ApplyReadsOnlyARegularFileOrStandardInputOf16MiB) {
  const std::string large = dir_.File("large.json");
  test::WriteFileBytes(large, std::string((16u << 20) + 1, ' '));
  const std::string document = dir_.File("templates.json");
  test::WriteFileBytes(document, OnFile("export").out);
  const std::string file = "--file \"" + path_ + "\" ";
  const std::string folder = "\"" + dir_.File("Image") + "\"";
  const std::string notRegular =
      ": not a regular file (give a document file, or - for standard "
      "input)\n";
  struct Row {
    std::string args;
    std::string prefix;  // before the tool on the shell's line
    int status;
    std::string message;  // in the error output; empty: none
  };
  std::vector<Row> rows = {
      {file + "list", "", 0, ""},
      {file + "apply \"" + document + "\"", "", 0, ""},
      {file + "apply - < \"" + document + "\"", "", 0, ""},
      {"--file " + folder + " list", "", 2, ": not a regular file (a folder)\n"},
      {file + "apply " + folder, "", 2, notRegular},
      {file + "apply \"" + large + "\"", "", 2,
       ": a document is at most 16 MiB (16777216 bytes), this one 16777217 bytes\n"},
      {file + "apply - < \"" + large + "\"", "", 2,
       "standard input: a document is at most 16 MiB (16777216 bytes), this one is larger\n"},
  };
#ifndef _WIN32
  const std::string fifo = dir_.File("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string pipeOf = "cat \"" + document + "\" | ";
  const std::vector<Row> posix = {
      {file + "apply - < " + folder, "", 2,
       "standard input: not a regular file or a pipe (a folder)\n"},
      {"--file \"" + fifo + "\" list", "", 2, ": not a regular file (a FIFO or pipe)\n"},
      {"--file \"" + fifo + "\" add", "", 2, ": not a regular file (a FIFO or pipe)\n"},
      {file + "apply \"" + fifo + "\"", "(cat \"" + document + "\" >\"" + fifo + "\" &); ", 0, ""},
      {file + "apply /dev/stdin", pipeOf, 0, ""},
      {file + "apply /dev/stdin <\"" + document + "\"", "", 0, ""},
      {"--file /dev/null check", "", 2, "/dev/null: not a regular file (a character device)\n"},
      {"--file /dev/null save", "", 2, "/dev/null: not a regular file (a character device)\n"},
      {"--file /dev/stdin list", "cat \"" + path_ + "\" | ", 2,
       "/dev/stdin: not a regular file (a FIFO or pipe)\n"},
      {file + "apply /dev/zero", "", 2,
       "zuv8620: /dev/zero: a document is at most 16 MiB (16777216 bytes), this one is larger\n"},
      {file + "apply - < /dev/zero", "", 2,
       "standard input: not a regular file or a pipe (a terminal or another device)\n"},
      {file + "apply -", pipeOf, 0, ""},
      {file + "apply -", "cat /dev/zero | ", 2, "standard input: a document is at most 16 MiB"},
  };
  rows.insert(rows.end(), posix.begin(), posix.end());
#endif
  const std::string before = File();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.prefix + row.args);
    const Result r = Run(row.args, row.prefix);
    EXPECT_EQ(r.status, row.status) << r.err;
    if (row.message.empty()) {
      EXPECT_EQ(r.err, "");
    } else {
      EXPECT_NE(r.err.find(row.message), std::string::npos) << r.err;
    }
    EXPECT_EQ(File(), before);  // the document is the file's own export
  }
}

#ifndef _WIN32
// Every example of zuv8620(1) runs as written, one after another, in a
// folder holding the sample as USB8620.reg and as an image under Image (the
// editor is one that saves nothing): each command succeeds, and the last
// dry run of the document applied finds no change.
TEST_F(Tool, TheManualsExamplesDoWhatTheySay) {
  if (std::system("command -v jq >/dev/null && command -v patch >/dev/null") != 0) {
    GTEST_SKIP() << "no jq or patch";
  }
  const std::string manual = test::ReadFileBytes(ZUV_SOURCE_DIR "/cli/zuv8620.h2m.in");
  const size_t start = manual.find("[EXAMPLES]");
  ASSERT_NE(start, std::string::npos);
  const std::string examples = manual.substr(start, manual.find("\n[", start) - start);
  test::WriteFileBytes(dir_.File("USB8620.reg"), File());
  const std::string tool = std::filesystem::path(ZUV8620_TOOL).parent_path().string();
  std::string script = "set -e\ncd \"" + dir_.Path() + "\"\nPATH=\"" + tool +
                       "\":$PATH\nunset VISUAL\nEDITOR=true\nexport EDITOR\n";
  size_t blocks = 0;
  for (size_t at = examples.find(".RS\n"); at != std::string::npos;
       at = examples.find(".RS\n", at)) {
    const size_t end = examples.find(".RE\n", at);
    std::string block = examples.substr(at + 4, end - at - 4);
    for (size_t dash = block.find("\\-"); dash != std::string::npos; dash = block.find("\\-")) {
      block.erase(dash, 1);
    }
    script += block;
    at = end;
    ++blocks;
  }
  EXPECT_GE(blocks, 6u);
  test::WriteFileBytes(dir_.File("examples.sh"), script);
  const Result r = Run("--version", "sh -x \"" + dir_.File("examples.sh") + "\" && ");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Run("--file \"" + dir_.File("USB8620.reg") + "\" get 0 ao0").out, "-5 ~ 5V\n");
}

// edit applies what the editor saved when it exits with status 0; a refused
// document, with no terminal to ask at, is kept in the private file named.
TEST_F(Tool, EditAppliesWhatTheEditorSaved) {
  struct Row {
    std::string editor;  // the environment's part of the line
    int status;
    std::string message;  // the start of the error output
    std::string ao0;      // template 2's after it
    std::string kept;     // in the document kept; empty: none is kept
  };
  const Row rows[] = {
      {"EDITOR=true", 0, "", "-10 ~ 10V", ""},
      {"EDITOR=false", 2, "zuv8620: edit: the editor exited with status 1; nothing was changed\n",
       "-10 ~ 10V", ""},
      {"EDITOR=false VISUAL='sed -i \"s/-10 ~ 10V/0 ~ 5V/\"'", 0, "", "0 ~ 5V", ""},
      // The document's file is new and only its owner's.
      {"EDITOR='f() { test \"$(stat -c %a \"$1\")\" = 600; }; f'", 0, "", "-10 ~ 10V", ""},
      {"EDITOR=\"sed -i s/-10/-12/\"", 2, "zuv8620: ", "-10 ~ 10V", "-12 ~ 10V"},
      // Another program's change made while the editor is open is kept.
      {"EDITOR='f() { \"" ZUV8620_TOOL "\" --file \"" + path_ +
           "\" set 2 --ao0 0~10 && sed -i \"s/-10 ~ 10V/0 ~ 5V/\" \"$1\"; }; f'",
       2, "zuv8620: " + path_ + ": another program changed the file's templates", "0 ~ 10V",
       "0 ~ 5V"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.editor);
    test::WriteFileBytes(path_, test::ReadFileBytes(kSample));
    const std::string temporary = dir_.File("tmp");
    std::filesystem::create_directories(temporary);
    const Result r = Run("--file \"" + path_ + "\" edit </dev/null",
                         "TMPDIR=\"" + temporary + "\" " + row.editor + " ");
    EXPECT_EQ(r.status, row.status) << r.err;
    EXPECT_EQ(r.err.rfind(row.message, 0), 0u) << r.err;
    EXPECT_EQ(OnFile("get 2 ao0").out, row.ao0 + "\n");
    // Only a refused document stays, named in the message.
    size_t kept = 0;
    for (const auto& entry : std::filesystem::directory_iterator(temporary)) {
      ++kept;
      EXPECT_NE(r.err.find("the edited document is kept in " + entry.path().string() + "\n"),
                std::string::npos)
          << r.err;
      EXPECT_NE(test::ReadFileBytes(entry.path().string()).find(row.kept), std::string::npos);
      std::filesystem::remove(entry.path());
    }
    EXPECT_EQ(kept, row.kept.empty() ? 0u : 1u);
  }
}

// Output that does not reach standard output (a full disk, a descriptor
// closed, a pipe whose reader left while SIGPIPE is ignored) ends in a
// message and exit status 2, never in 0 with the output cut.
TEST_F(Tool, OutputThatDoesNotArriveIsAFailure) {
  enum class Output { kFull, kClosed, kBrokenPipe };
  struct Row {
    const char* args;
    Output output;
    int status;
    const char* message;  // after "zuv8620: "; empty: none
  };
  const Row rows[] = {
      {"export", Output::kFull, 2, "standard output: No space left on device\n"},
      {"list", Output::kFull, 2, "standard output: No space left on device\n"},
      {"check", Output::kFull, 2, "standard output: No space left on device\n"},
      {"--help", Output::kFull, 2, "standard output: No space left on device\n"},
      {"export", Output::kClosed, 2, "standard output: Bad file descriptor\n"},
      {"show 0", Output::kClosed, 2, "standard output: Bad file descriptor\n"},
      {"save", Output::kClosed, 0, ""},  // writes nothing: a closed output is no failure
      {"remove 0 --dry-run", Output::kBrokenPipe, 2, "standard output: Broken pipe\n"},
      {"export", Output::kBrokenPipe, 2, "standard output: Broken pipe\n"},
  };
  const std::string before = File();
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.args) + " " + std::to_string(static_cast<int>(row.output)));
    const std::string err = dir_.File("err.txt");
    std::vector<std::string> words = {ZUV8620_TOOL, "--file", path_};
    std::istringstream split(row.args);
    for (std::string word; split >> word;) words.push_back(word);
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    int reader[2];
    ASSERT_EQ(::pipe(reader), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      const int errFd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(errFd, 2);
      if (row.output == Output::kFull) ::dup2(::open("/dev/full", O_WRONLY), 1);
      if (row.output == Output::kClosed) ::close(1);
      if (row.output == Output::kBrokenPipe) {
        std::signal(SIGPIPE, SIG_IGN);
        ::close(reader[0]);
        ::dup2(reader[1], 1);
      }
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    ::close(reader[0]);
    ::close(reader[1]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), row.status);
    EXPECT_EQ(test::ReadFileBytes(err), *row.message ? "zuv8620: " + std::string(row.message) : "");
    EXPECT_EQ(File(), before);
  }
}
#endif

// The driver's keys come from the file, not from the way it is named: a
// relative path or a link has the keys of the file's absolute path, and with
// --driver the name decides them, whatever folders lie above the root. A
// --driver that names another folder is refused.
TEST_F(Tool, KeysComeFromTheFileNotTheWayItIsNamed) {
  const std::string folder = std::filesystem::path(path_).parent_path().string();
  test::WriteFileBytes(folder + "/backup.reg", File());
  const std::string above = dir_.File("Device_Drivers/old/Image");
  test::WriteFileBytes(above + "/Public/Korvalent/Device_Drivers/USB8620/USB8620.reg", File());
#ifdef _WIN32
  const std::string in = "cd /d ";
#else
  const std::string in = "cd ";
#endif
  struct Row {
    const char* name;
    std::string prefix;
    std::string args;     // before the command
    std::string message;  // empty: the edit and check succeed
  };
  std::vector<Row> rows = {
      {"relative, inside the driver's folder", in + "\"" + folder + "\" && ", "--file backup.reg",
       ""},
      {"relative with ..", in + "\"" + folder + "/../..\" && ",
       "--file Device_Drivers/USB8620/../USB8620/backup.reg", ""},
      {"Device_Drivers above the root", "", "--root \"" + above + "\" --driver USB8620A", ""},
      {"--driver with a separator", "", "--root \"" + dir_.File("Image") + "\" --driver ../x",
       "zuv8620: --driver '../x': a driver's name, not a path (no / or \\, not . or ..)\n"},
      {"--driver ..", "", "--root \"" + dir_.File("Image") + "\" --driver ..",
       "zuv8620: --driver '..': a driver's name, not a path"},
      {"--driver . beside --file", "", "--file \"" + path_ + "\" --driver .",
       "zuv8620: --driver '.': a driver's name, not a path"},
      {"--driver with a backslash", "", "--file \"" + path_ + "\" --driver \"USB\\8620\"",
       "zuv8620: --driver 'USB\\8620': a driver's name, not a path"},
      // Read as a file without templates, its export would empty the driver's.
      {"a renamed copy outside the driver's folder", "",
       "--file \"" + dir_.File("backup.reg") + "\"",
       "zuv8620: " + dir_.File("backup.reg") +
           ": line 15: template 0's section is under the key [HKEY_LOCAL_MACHINE"},
  };
  test::WriteFileBytes(dir_.File("backup.reg"), File());
#ifndef _WIN32
  const std::string links = dir_.File("links");
  std::filesystem::create_directories(links);
  ASSERT_EQ(::symlink((folder + "/backup.reg").c_str(), (links + "/other.reg").c_str()), 0);
  rows.push_back({"relative symbolic link", in + "\"" + links + "\" && ", "--file other.reg", ""});
#endif
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Result r = Run(row.args + " add", row.prefix);
    if (!row.message.empty()) {
      for (const char* command : {"add", "list", "show 0", "export"}) {
        SCOPED_TRACE(command);
        r = Run(row.args + " " + command, row.prefix);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.rfind(row.message, 0), 0u) << r.err;
      }
      continue;
    }
    EXPECT_EQ(r.status, 0) << r.err;
    r = Run(row.args + " check", row.prefix);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "encoding: 8-bit (ANSI)\nno problems found\n");
  }
}

// check --image names each other .reg file of the image that sets or deletes
// the driver's template keys, follows no link and says where a limit stopped
// it. Each row is an image of its own beside the sample driver file.
TEST_F(Tool, CheckImageNamesTheImagesOtherFiles) {
  const std::string key = kPrefix.substr(1);  // without "["
  const std::string parent = key.substr(0, key.rfind('\\'));
#ifdef _WIN32
  const std::string sep = "\\";  // names shown as the system writes them
#else
  const std::string sep = "/";
#endif
  std::string deep = "d";
  for (int i = 1; i < 25; ++i) deep += sep + "d";
  struct Row {
    const char* name;
    std::function<void(const std::string&)> make;  // given the image's root
    int status;
    std::string out;  // after the encoding's line
  };
  std::vector<Row> rows = {
      {"another file sets a template key, in UTF-16",
       [&](const std::string& root) {
         std::string bytes;
         ASSERT_TRUE(EncodeText(TextEncoding::kUtf16Le,
                                "; platform\r\n" + kPrefix + "0]\r\n\"SwitchID\"=dword:3\r\n",
                                &bytes));
         test::WriteFileBytes(root + "/Platform/FILES/platform.reg", "\xFF\xFE" + bytes);
       },
       1,
       "image: Platform" + sep + "FILES" + sep + "platform.reg: line 2: sets [" + key +
           "0], template 0's key\n"
           "image: 1 other .reg file of the image sets or deletes this driver's keys: read in the "
           "build's merge order, the device reads these from another file:\n"
           "image: Platform" +
           sep + "FILES" + sep +
           "platform.reg: line 3: the device reads "
           "template 0's \"SwitchID\" dword:00000003 from here: an edit in the driver file does "
           "not reach the device\n"},
      {"project.reg sets a value through a macro, in one build; common.reg is read first",
       [&](const std::string& root) {
         test::WriteFileBytes(root + "/common.reg", kPrefix + "0]\r\n\"SwitchID\"=dword:7\r\n");
         test::WriteFileBytes(root + "/project.reg", "#define D " + parent +
                                                         "\r\nIF BSP_X\r\n[$(D)\\Template0]\r\n"
                                                         "\"ChanConfig\"=dword:f\r\nENDIF\r\n");
       },
       1,
       "image: common.reg: line 1: sets [" + key +
           "0], template 0's key\n"
           "image: 1 other .reg file of the image sets or deletes this driver's keys: read in the "
           "build's merge order, the device reads these from another file:\n"
           "image: project.reg: line 4: the device reads template 0's \"ChanConfig\" "
           "dword:0000000f "
           "from here (with BSP_X): an edit in the driver file does not reach the device\n"},
      {"another file deletes the driver's key",
       [&](const std::string& root) {
         test::WriteFileBytes(root + "/project.REG",
                              "\"x\"=\"" + kPrefix + "1]\"\n  [ -" + parent + " ]\n");
       },
       1,
       "image: project.REG: line 2: deletes [" + parent +
           "], a key above the templates, and with it every template\n"},
      {"a folder too deep",
       [&](const std::string& root) {
         std::string folder = root;
         for (int i = 0; i < 25; ++i) folder += "/d";
         test::WriteFileBytes(folder + "/deep.reg", kPrefix + "2]\n");
       },
       1, "image: folder " + deep + " not read: deeper than 24 folders below the root\n"},
  };
#ifndef _WIN32
  rows.push_back(
      {"links are not followed",
       [&](const std::string& root) {
         const std::string outside = dir_.File("outside");
         test::WriteFileBytes(outside + "/other.reg", kPrefix + "3]\n");
         ASSERT_EQ(::symlink(outside.c_str(), (root + "/linked").c_str()), 0);
         ASSERT_EQ(::symlink((outside + "/other.reg").c_str(), (root + "/link.reg").c_str()), 0);
       },
       0, "no problems found\n"});
#endif
  for (size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(rows[i].name);
    const std::string root = dir_.File("image" + std::to_string(i));
    test::WriteFileBytes(root + "/Public/Korvalent/Device_Drivers/USB8620/USB8620.reg", File());
    rows[i].make(root);
    const Result r = Run("--root \"" + root + "\" --driver USB8620 check --image");
    EXPECT_EQ(r.status, rows[i].status) << r.err;
    EXPECT_EQ(r.out.substr(r.out.find('\n') + 1).rfind(rows[i].out, 0), 0u) << r.out;
  }
  // --file in the image finds its root; --file elsewhere needs --root.
  EXPECT_EQ(
      Run("--file \"" + dir_.File("image0/Public/Korvalent/Device_Drivers/USB8620/USB8620.reg") +
          "\" check --image")
          .status,
      1);
  EXPECT_EQ(OnFile("--root \"" + dir_.File("image0") + "\" check --image").status, 1);
  test::WriteFileBytes(dir_.File("loose.reg"), File());
  EXPECT_EQ(Run("--file \"" + dir_.File("loose.reg") + "\" check --image").err,
            "zuv8620: check --image: " + dir_.File("loose.reg") +
                " lies in no image tree (ROOT/Public/Korvalent/Device_Drivers/...); name the "
                "image's root with --root DIR\n");
}

#ifndef _WIN32
// The bash completion offers the commands, each command's own options and
// the values an option or operand takes.
TEST_F(Tool, BashCompletesCommandsAndOptions) {
  if (std::system("bash -c true") != 0) GTEST_SKIP() << "no bash";
  const std::pair<const char*, const char*> rows[] = {
      {"zuv8620 --file x.reg s", "save set show"},
      {"zuv8620 --file x.reg set 0 --d", "--define --differential --driver --dry-run"},
      {"zuv8620 --file x.reg list --",
       "-- --config --define --driver --environment --file --help --json --root --undefine "
       "--version"},
      {"zuv8620 --file x.reg check --i", "--image"},
      {"zuv8620 --root . --driver USB8620A set 1", "1 10 11 12 13 14 15"},
      {"zuv8620 --file x.reg set 0 --ao1 -", "-10~10V -5~5V"},
      // "--ao1=" with nothing after it, as bash splits it at "=".
      {"zuv8620 --file x.reg set 0 --ao1 =", "-10~10V -5~5V 0~10V 0~5V"},
      {"zuv8620 --file x.reg add --e", "--environment --exit-code"},
      {"zuv8620 --file x.reg get 3 ", "ao0 ao1 board-id channels differential"},
      {"zuv8620 e", "edit export"},
      {"zuv8620 --file x.reg set 0 --single-ended a", "all"},
      {"zuv8620 help ex", "export"},
      {"zuv8620 --file x.reg export ", ""},
      {"zuv8620 --file x.reg apply -- --", ""},
      // Run in the test's folder: a name with a blank is one reply; the
      // numbers are the file's when the line names it.
      {"zuv8620 --file my", "my drv.reg"},
      {"zuv8620 --file=my", "--file=my drv.reg"},
      {"zuv8620 --root = I", "Image"},
      {"zuv8620 --driver USB8620A --file=Image/Public/Korvalent/Device_Drivers/USB8620/USB8620.reg "
       "show ",
       "0 2"},
      {"zuv8620 --file nowhere.reg remove 1", "1 10 11 12 13 14 15"},
  };
  test::WriteFileBytes(dir_.File("my drv.reg"), File());
  for (const auto& [line, expected] : rows) {
    SCOPED_TRACE(line);
    const std::string script = dir_.File("complete.sh");
    test::WriteFileBytes(
        script, std::string("source \"") + ZUV_SOURCE_DIR +
                    "/cli/completion/zuv8620.bash\"\n"
                    "cd \"" +
                    dir_.Path() +
                    "\"\n"
                    "COMP_LINE='" +
                    line +
                    "'\n"
                    "read -ra COMP_WORDS <<<\"$COMP_LINE\"\n"
                    "[[ $COMP_LINE == *' ' ]] && COMP_WORDS+=('')\n"
                    "COMP_CWORD=$((${#COMP_WORDS[@]} - 1))\n"
                    "_zuv8620 \"" ZUV8620_TOOL
                    "\"\n"
                    "printf '%s\\n' \"${COMPREPLY[@]}\" | LC_ALL=C sort | xargs -d '\\n'\n");
    const std::string out = dir_.File("out.txt");
    EXPECT_EQ(std::system(("bash \"" + script + "\" >\"" + out + "\"").c_str()), 0);
    EXPECT_EQ(test::ReadFileBytes(out), std::string(expected) + "\n");
  }
  // The zsh script loads as zsh's completion system loads it.
  if (std::system("zsh -fc true") == 0) {
    EXPECT_EQ(std::system("zsh -fc 'fpath=(\"" ZUV_SOURCE_DIR "/cli/completion\" $fpath); "
                          "autoload -Uz compinit && compinit -u -D && autoload -Uz +X _zuv8620 "
                          "&& (( $+functions[_zuv8620] ))'"),
              0);
    // A path as typed, with backslashes or quotes, reaches the tool as the
    // shell passes it (opt_args escapes its colons and backslashes once more).
    const std::pair<const char*, const char*> typed[] = {
        {R"(my\\ \\\"drv\\\".reg)", R"(my "drv".reg)"},
        {R"('it'\\''s.reg')", "it's.reg"},
    };
    for (const auto& [value, word] : typed) {
      test::WriteFileBytes(dir_.File("value.txt"), value);
      const std::string script = dir_.File("word.zsh");
      test::WriteFileBytes(script, std::string("source \"") + ZUV_SOURCE_DIR +
                                       "/cli/completion/_zuv8620\" 2>/dev/null\n"
                                       "_zuv8620_word \"$(<\"" +
                                       dir_.File("value.txt") + "\")\"; print -rn -- $REPLY\n");
      const std::string out = dir_.File("out.txt");
      std::system(("zsh -f \"" + script + "\" >\"" + out + "\"").c_str());
      EXPECT_EQ(test::ReadFileBytes(out), word) << value;
    }
  }
}
#endif

TEST_F(Tool, HelpForTheToolAndEachCommand) {
  for (const char* args :
       {"--help", "help", "list --help", "show --help", "add --help", "remove --help", "set --help",
        "save --help", "check --help", "export --help", "apply --help", "help set", "get --help",
        "edit --help"}) {
    SCOPED_TRACE(args);
    const Result r = Run(args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("Usage: zuv8620", 0), 0u) << r.out;
  }
  const Result bare = Run("");
  EXPECT_EQ(bare.status, 2);
  EXPECT_EQ(bare.err, "zuv8620: no command given\nTry 'zuv8620 --help' for more information.\n");
  // --help and --version anywhere on the line, before anything wrong on it;
  // after "--" every word is an operand.
  const std::string file = "--file \"" + path_ + "\" ";
  const std::pair<std::string, std::string> anywhere[] = {
      {file + "list --version", "zuv8620 " ZUV_VERSION "\n"},
      {"list --version --help", "zuv8620 " ZUV_VERSION "\n"},
      {"--bogus list --help", "Usage: zuv8620 FILE list"},
      {"set 0 --board-id=1 --json=2 -h", "Usage: zuv8620 FILE set"},
  };
  for (const auto& [args, out] : anywhere) {
    SCOPED_TRACE(args);
    const Result r = Run(args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind(out, 0), 0u) << r.out;
  }
  test::WriteFileBytes(dir_.File("--doc.json"), OnFile("export").out);
#ifdef _WIN32
  const std::string in = "cd /d \"" + dir_.Path() + "\" && ";
#else
  const std::string in = "cd \"" + dir_.Path() + "\" && ";
#endif
  EXPECT_EQ(Run(file + "apply -- --doc.json", in).status, 0);
  EXPECT_EQ(Run(file + "-- apply --doc.json", in).status, 0);
  const std::string tryHelp = "Try 'zuv8620 --help' for more information.\n";
  EXPECT_EQ(Run(file + "apply --doc.json", in).err,
            "zuv8620: unknown option '--doc.json'\n" + tryHelp);
  EXPECT_EQ(Run(file + "apply -- - --help").err,
            "zuv8620: apply: unexpected argument '--help'\n" + tryHelp);
  // The manual page is made from --help and --version: both must exit 0.
  EXPECT_NE(Run("--help").out.find("  --version "), std::string::npos);
  const Result version = Run("--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "zuv8620 " ZUV_VERSION "\n");
}

}  // namespace
}  // namespace zuv
