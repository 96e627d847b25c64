#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/cli.h"
#include "fileio/memory_file.h"
#include "fuzz/checks.h"
#include "templates/template_document.h"

namespace zuv::fuzz {

namespace {

const char kPath[] = "/img/Public/Korvalent/Device_Drivers/USB8620/USB8620.reg";
const std::string kUsb =
    "[HKEY_LOCAL_MACHINE\\Drivers\\USB\\ClientDrivers\\VOD8620_Uzore\\Template";

// Templates 0, 2 and 5 (board id 20, which only template 5 may keep), a
// channel mask that is not whole pairs, an output of no range, and other keys
// before and after.
const std::string kDriverFile =
    "[HKEY_LOCAL_MACHINE\\Drivers\\USB\\LoadClients\\Default]\r\n\"Dll\"=\"usb8620.dll\"\r\n"
    "\r\n" + kUsb + "0]\r\n\"SwitchID\"=dword:0\r\n\"ChanConfig\"=dword:3\r\n"
    "\"AOSettings 0\"=\"     0    10     0\"\r\n\"AOSettings 1\"=\"     0     5    -5\"\r\n"
    " \r\n" + kUsb + "2]\r\n\"SwitchID\"=dword:1\r\n\"ChanConfig\"=dword:10004\r\n"
    "\"AOSettings 0\"=\"     3     7     0\"\r\n\"AOSettings 1\"=\"     0    10   -10\"\r\n"
    " \r\n" + kUsb + "5]\r\n\"SwitchID\"=dword:14\r\n\"ChanConfig\"=dword:0\r\n"
    "\"AOSettings 0\"=\"     0     5     0\"\r\n\"AOSettings 1\"=\"     2     5    -5\"\r\n"
    "\r\n[HKEY_LOCAL_MACHINE\\Drivers\\Other]\r\n\"Order\"=dword:1a\r\n";

// The tool's exit status, output and messages for one run on `files`.
struct Outcome {
  int status;
  std::string out, err;
};

Outcome Tool(MemoryFileSystem& files, const char* command, const std::string& input = "") {
  std::istringstream in(input);
  std::ostringstream out, err;
  const int status = cli::Run({"--file", kPath, command, "-"}, out, err, in, files);
  return {status, out.str(), err.str()};
}

// A refusal's message: one line, valid UTF-8, short (a value is quoted with
// at most kQuoteLimit bytes, each shown as up to four characters when it is a
// control byte the terminal gets escaped).
std::string CheckMessage(const std::string& err) {
  if (err.empty() || err.back() != '\n' || err.find('\n') != err.size() - 1) {
    return "the refusal is not one line: " + err;
  }
  if (err.size() > 600) return "the refusal's message has " + std::to_string(err.size()) + " bytes";
  if (TextToUtf8(err) != err) return "the refusal's message is not UTF-8: " + err;
  return {};
}

}  // namespace

std::string CheckDocument(const uint8_t* data, size_t size) {
  const std::string document(reinterpret_cast<const char*>(data), size);
  MemoryFileSystem files;
  files.SetFile(kPath, kDriverFile);
  const Outcome applied = Tool(files, "apply", document);
  const std::string after = *files.GetFile(kPath);
  if (applied.status == cli::kExitFailed) {
    if (after != kDriverFile) return "a refused apply changed the file: " + applied.err;
    return CheckMessage(applied.err);
  }
  if (applied.status != cli::kExitOk) {
    return "apply ended with " + std::to_string(applied.status) + ": " + applied.err;
  }
  // Applying the document again, or the file's export, changes no byte.
  const Outcome again = Tool(files, "apply", document);
  if (again.status != cli::kExitOk || *files.GetFile(kPath) != after) {
    return "the document applied again changed the file: " + again.err;
  }
  std::istringstream none;
  std::ostringstream exported, err;
  if (cli::Run({"--file", kPath, "export"}, exported, err, none, files) != cli::kExitOk) {
    return "export failed: " + err.str();
  }
  const Outcome reapplied = Tool(files, "apply", exported.str());
  if (reapplied.status != cli::kExitOk) {
    return "the export is refused: " + reapplied.err + exported.str();
  }
  if (*files.GetFile(kPath) != after) return "the export applied again changed the file";
  return {};
}

Seeds DocumentSeeds() {
  auto document = [](const std::string& templates) {
    return "{\"format\": \"zuv8620-templates\", \"version\": 1, \"templates\": [" + templates +
           "]}";
  };
  const std::string plain = R"({"boardId": 7, "ao0": "0 ~ 5V", "ao1": "-10 ~ 10V"})";
  Seeds seeds = {
      {"empty", document("")},
      {"defaults", document(plain)},
      {"every-form",
       document(R"({"number": 0, "boardId": 0, "differentialPairs": [0, 7], "ao0": "0 ~ 10V",)"
                R"( "ao1": {"range": "-5 ~ 5V", "code": 2}},)"
                R"({"number": 5, "boardId": 20, "channelMask": 65540,)"
                R"( "ao0": {"refHigh": 7, "refLow": 0, "code": 3}, "ao1": "0 ~ 5V"},)" +
                plain)},
      {"board-id-twice", document(plain + "," + plain)},
      {"field-twice",
       document(R"({"boardId": 3, "boardId": 4, "ao0": "0 ~ 5V", "ao1": "0 ~ 5V"})")},
      {"number-out-of-range", document(R"({"boardId": 1e400, "ao0": "0 ~ 5V", "ao1": "0 ~ 5V"})")},
      {"nul-after", document("") + std::string("\0{}", 3)},
      {"deep", "{\"format\": " + std::string(70, '[') + std::string(70, ']') + "}"},
  };
  std::string seventeen;
  for (int i = 0; i < 17; ++i) {
    seventeen += (i ? ",{\"boardId\": " : "{\"boardId\": ") + std::to_string(i) +
                 ", \"ao0\": \"0 ~ 5V\", \"ao1\": \"0 ~ 5V\"}";
  }
  seeds.emplace_back("seventeen", document(seventeen));
  // The documents the published schema gives as examples.
  std::ifstream schemaFile(ZUV_DOCUMENT_SCHEMA, std::ios::binary);
  const std::string schema{std::istreambuf_iterator<char>(schemaFile),
                           std::istreambuf_iterator<char>()};
  const auto parsed = nlohmann::ordered_json::parse(schema, nullptr, false);
  if (parsed.is_object() && parsed.contains("examples")) {
    for (size_t i = 0; i < parsed["examples"].size(); ++i) {
      seeds.emplace_back("schema-example-" + std::to_string(i), parsed["examples"][i].dump(2));
    }
  }
  return seeds;
}

}  // namespace zuv::fuzz
