#include "cli/cli.h"

#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <ostream>
#include <set>
#include <sstream>

#include "cli/unified_diff.h"
#include "regfile/memory_file.h"
#include "regfile/reg_file.h"
#include "regfile/text_encoding.h"
#include "templates/device_template.h"
#include "templates/driver_path.h"
#include "templates/template_file.h"

namespace zuv::cli {

namespace {

#ifdef _WIN32
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

constexpr const char* kToolName = "zuv8620";
// The editor's own refusal texts.
constexpr const char* kNoFreeSlot = "Support up to 16 Templates";
constexpr const char* kSwitchIdUsed = "SwitchID already used!";

// ---------------------------------------------------------------- help texts

constexpr const char* kToolHelp =
    "Usage: zuv8620 (--file PATH | --root DIR --driver NAME) COMMAND [ARGUMENTS]\n"
    "\n"
    "Edits the USB-8620A device setting templates kept in a driver's registry\n"
    "text file, with the same result as the template editor and its Save.\n"
    "\n"
    "Commands:\n"
    "  list             the templates, one a line (--json)\n"
    "  show N           template N (--json)\n"
    "  add              adds a template and prints its number\n"
    "  remove N         removes template N\n"
    "  set N            changes template N\n"
    "  save             loads and saves with no edit\n"
    "  check            reports problems of the file; reads only (--json)\n"
    "  help [COMMAND]   this text, or the text of a command\n"
    "\n"
    "The driver file:\n"
    "  --file PATH              the file itself\n"
    "  --root DIR --driver NAME DIR/Public/Korvalent/Device_Drivers/D/D.reg,\n"
    "                           D being the first 7 characters of NAME\n"
    "\n"
    "  --version                prints the tool's version\n"
    "\n"
    "Commands that change the file take --dry-run: the file stays as it is and\n"
    "the change a save would make is printed as a unified diff.\n"
    "\n"
    "Exit status: 0 done; 1 check found problems; 2 nothing done (bad\n"
    "arguments, an edit refused, a file that cannot be used).\n"
    "Run 'zuv8620 COMMAND --help' for the options of a command.\n";

struct CommandInfo {
  const char* name;
  bool takesNumber;  // one template number after the command
  std::set<std::string> options;
  const char* help;
};

const std::vector<CommandInfo>& Commands() {
  static const std::vector<CommandInfo> commands = {
      {"list", false, {"json"},
       "Usage: zuv8620 FILE list [--json]\n"
       "\n"
       "Lists the templates of the file, one a line: its number, its board id,\n"
       "the channel mask in hex with the differential pairs, and the range of\n"
       "each analog output. --json prints the same as one JSON object.\n"},
      {"show", true, {"json"},
       "Usage: zuv8620 FILE show N [--json]\n"
       "\n"
       "Shows template N (0 to 15): board id, channel mask, differential and\n"
       "single-ended pairs, and each analog output's range and code.\n"},
      {"add", false, {"board-id", "dry-run"},
       "Usage: zuv8620 FILE add [--board-id ID] [--dry-run]\n"
       "\n"
       "Adds a template in the first free slot, as the editor's Add does, saves,\n"
       "and prints the new template's number. Its board id is the slot's own,\n"
       "or the lowest one no template uses; --board-id ID (0 to 15) chooses it,\n"
       "unless another template has it (\"SwitchID already used!\").\n"
       "With 16 templates the file is left alone (\"Support up to 16 Templates\").\n"},
      {"remove", true, {"dry-run"},
       "Usage: zuv8620 FILE remove N [--dry-run]\n"
       "\n"
       "Removes template N (0 to 15) and saves: its section leaves the file.\n"},
      {"set", true, {"board-id", "differential", "single-ended", "ao0", "ao1", "dry-run"},
       "Usage: zuv8620 FILE set N [OPTIONS] [--dry-run]\n"
       "\n"
       "Changes template N (0 to 15) and saves.\n"
       "  --board-id ID          board id 0 to 15, refused when another template\n"
       "                         has it (\"SwitchID already used!\")\n"
       "  --differential PAIRS   makes these channel pairs differential\n"
       "  --single-ended PAIRS   makes these channel pairs single-ended\n"
       "  --ao0 RANGE            range of analog output 0\n"
       "  --ao1 RANGE            range of analog output 1\n"
       "\n"
       "PAIRS: pair numbers 0 to 7 separated by commas (pair k is channels 2k\n"
       "and 2k+1; only their two bits change), or \"all\", which sets the whole\n"
       "mask to 0xFFFF (differential) or 0 (single-ended). An \"all\" is applied\n"
       "before the pairs of the other option.\n"
       "RANGE: \"0 ~ 5V\", \"0 ~ 10V\", \"-5 ~ 5V\" or \"-10 ~ 10V\", also without\n"
       "blanks or the V (\"-5~5\"). The output's code stays as it is.\n"},
      {"save", false, {"dry-run"},
       "Usage: zuv8620 FILE save [--dry-run]\n"
       "\n"
       "Loads the templates and saves them with no edit, as pressing Save in the\n"
       "editor without a change does: sections without a \"SwitchID\" leave the\n"
       "file and every template's values are written in their standard form.\n"},
      {"check", false, {"json"},
       "Usage: zuv8620 FILE check [--json]\n"
       "\n"
       "Reads the file, names its encoding (8-bit, UTF-8 with a mark, UTF-16 LE\n"
       "or BE), and reports UTF-16 text that does not decode and NUL bytes, then,\n"
       "with the template's number: board ids used\n"
       "twice or above 15, template sections without \"SwitchID\" (the next save\n"
       "removes them), values of the wrong type, analog-output texts that do not\n"
       "parse or match no range, and channel masks whose pairs have two unequal\n"
       "bits or that have bits above 15. Exit status 1 when it found any.\n"},
      {"help", false, {}, "Usage: zuv8620 help [COMMAND]\n"},
  };
  return commands;
}

const CommandInfo* FindCommand(std::string_view name) {
  for (const CommandInfo& command : Commands()) {
    if (name == command.name) return &command;
  }
  return nullptr;
}

// ---------------------------------------------------------------- arguments

const std::set<std::string> kValueOptions = {"file",         "root", "driver", "board-id",
                                             "differential", "single-ended", "ao0", "ao1"};
const std::set<std::string> kFlagOptions = {"json", "dry-run", "help"};
const std::set<std::string> kFileOptions = {"file", "root", "driver"};

struct Arguments {
  std::string command;
  std::vector<std::string> positional;
  std::map<std::string, std::string> values;
  std::set<std::string> flags;

  const std::string* Value(const std::string& name) const {
    auto found = values.find(name);
    return found == values.end() ? nullptr : &found->second;
  }
  bool Flag(const std::string& name) const { return flags.count(name) != 0; }
};

// A refusal or bad argument: the message goes to the error stream and the
// tool ends with kExitFailed.
struct Failure {
  std::string message;
};

Arguments ParseArguments(const std::vector<std::string>& args) {
  Arguments parsed;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "-h") {
      parsed.flags.insert("help");
    } else if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
      std::string name = arg.substr(2);
      std::optional<std::string> value;
      const size_t equals = name.find('=');
      if (equals != std::string::npos) {
        value = name.substr(equals + 1);
        name.erase(equals);
      }
      if (kFlagOptions.count(name) != 0) {
        if (value) throw Failure{"option '--" + name + "' takes no value"};
        parsed.flags.insert(name);
      } else if (kValueOptions.count(name) != 0) {
        if (!value) {
          if (i + 1 == args.size()) throw Failure{"option '--" + name + "' needs a value"};
          value = args[++i];
        }
        if (parsed.values.count(name) != 0) {
          throw Failure{"option '--" + name + "' is given twice"};
        }
        parsed.values[name] = *value;
      } else {
        throw Failure{"unknown option '" + arg + "'"};
      }
    } else if (parsed.command.empty()) {
      parsed.command = arg;
    } else {
      parsed.positional.push_back(arg);
    }
  }
  return parsed;
}

bool IsDecimal(std::string_view text) {
  if (text.empty() || text.size() > 9) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

uint32_t ParseTemplateNumber(const std::string& text) {
  if (!IsDecimal(text) || std::stoul(text) >= kTemplateCount) {
    throw Failure{"template number '" + text + "': a template number is 0 to 15"};
  }
  return static_cast<uint32_t>(std::stoul(text));
}

uint32_t ParseBoardId(const std::string& text) {
  if (!IsDecimal(text) || std::stoul(text) > 15) {
    throw Failure{"--board-id '" + text + "': a board id is 0 to 15"};
  }
  return static_cast<uint32_t>(std::stoul(text));
}

std::string DriverFilePath(const Arguments& args) {
  const std::string* file = args.Value("file");
  const std::string* root = args.Value("root");
  const std::string* driver = args.Value("driver");
  if (file != nullptr) {
    if (root != nullptr || driver != nullptr) {
      throw Failure{"give either --file or --root with --driver, not both"};
    }
    if (file->empty()) throw Failure{"--file: the path is empty"};
    return *file;
  }
  if (root == nullptr || driver == nullptr) {
    throw Failure{"which driver file? give --file PATH, or --root DIR and --driver NAME"};
  }
  if (driver->empty()) throw Failure{"--driver: the name is empty"};
  std::string base = *root;
  if (!base.empty() && base.back() != '/' && base.back() != '\\') base += kPathSeparator;
  return ComposeDriverFilePath(base, *driver, kPathSeparator);
}

// ---------------------------------------------------------------- the file

const DeviceTemplate& UsedTemplate(const TemplateTable& table, uint32_t n) {
  if (table[n].Used == 0) {
    throw Failure{"template " + std::to_string(n) + ": there is no such template in the file"};
  }
  return table[n];
}

// ---------------------------------------------------------------- describing

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(value));
  return text;
}

// Pairs whose two bits are both `set` (both 1 for set, both 0 for !set).
std::vector<int> PairsWhere(uint32_t mask, bool set) {
  std::vector<int> pairs;
  for (int k = 0; k < kChannelPairCount; ++k) {
    const uint32_t bits = mask & PairBits(k);
    if (set ? bits == PairBits(k) : bits == 0) pairs.push_back(k);
  }
  return pairs;
}

std::vector<int> MixedPairs(uint32_t mask) {
  std::vector<int> pairs;
  for (int k = 0; k < kChannelPairCount; ++k) {
    const uint32_t bits = mask & PairBits(k);
    if (bits != 0 && bits != PairBits(k)) pairs.push_back(k);
  }
  return pairs;
}

std::string JoinPairs(const std::vector<int>& pairs) {
  if (pairs.empty()) return "none";
  std::string text;
  for (int k : pairs) text += (text.empty() ? "" : ",") + std::to_string(k);
  return text;
}

std::string Volts(float value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", static_cast<double>(value));
  return text;
}

std::string RangeText(const AoSetting& setting) {
  const int range = FindAoRange(setting);
  if (range >= 0) return AoRangeTable[range].Label;
  return "no listed range (" + Volts(setting.RefLow) + " ~ " + Volts(setting.RefHigh) + "V)";
}

std::string JsonString(std::string_view text) {
  std::string json = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      json += '\\';
      json += static_cast<char>(c);
    } else if (c < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      json += escape;
    } else {
      json += static_cast<char>(c);
    }
  }
  return json + "\"";
}

std::string JsonNumber(float value) {
  if (!std::isfinite(value)) return "null";
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
  return text;
}

std::string JsonPairs(const std::vector<int>& pairs) {
  std::string json = "[";
  for (size_t i = 0; i < pairs.size(); ++i) json += (i ? "," : "") + std::to_string(pairs[i]);
  return json + "]";
}

std::string TemplateJson(const DeviceTemplate& slot, uint32_t n) {
  std::string json = "{\"number\": " + std::to_string(n) +
                     ", \"boardId\": " + std::to_string(slot.SwitchID) +
                     ", \"chanConfig\": " + std::to_string(slot.ChanConfig) +
                     ", \"chanConfigHex\": " + JsonString(Hex(slot.ChanConfig)) +
                     ", \"differentialPairs\": " + JsonPairs(PairsWhere(slot.ChanConfig, true)) +
                     ", \"ao\": [";
  for (int i = 0; i < 2; ++i) {
    const AoSetting& ao = slot.AOSettings[i];
    const int range = FindAoRange(ao);
    json += std::string(i ? ", " : "") + "{\"range\": " +
            (range >= 0 ? JsonString(AoRangeTable[range].Label) : std::string("null")) +
            ", \"code\": " + std::to_string(ao.Code) + ", \"refHigh\": " + JsonNumber(ao.RefHigh) +
            ", \"refLow\": " + JsonNumber(ao.RefLow) + "}";
  }
  return json + "]}";
}

std::string ListLine(const DeviceTemplate& slot, uint32_t n) {
  return std::to_string(n) + ": board " + std::to_string(slot.SwitchID) + ", channels " +
         Hex(slot.ChanConfig) + " (differential pairs: " +
         JoinPairs(PairsWhere(slot.ChanConfig, true)) + "), AO0 " +
         RangeText(slot.AOSettings[0]) + ", AO1 " + RangeText(slot.AOSettings[1]);
}

std::string ShowText(const DeviceTemplate& slot, uint32_t n) {
  std::ostringstream text;
  text << "template " << n << "\n"
       << "board id:           " << slot.SwitchID << "\n"
       << "channels:           " << Hex(slot.ChanConfig) << "\n"
       << "differential pairs: " << JoinPairs(PairsWhere(slot.ChanConfig, true)) << "\n"
       << "single-ended pairs: " << JoinPairs(PairsWhere(slot.ChanConfig, false)) << "\n";
  const std::vector<int> mixed = MixedPairs(slot.ChanConfig);
  if (!mixed.empty()) text << "pairs half set:     " << JoinPairs(mixed) << "\n";
  for (int i = 0; i < 2; ++i) {
    text << "ao" << i << ":                " << RangeText(slot.AOSettings[i]) << " (code "
         << slot.AOSettings[i].Code << ")\n";
  }
  return text.str();
}

// ---------------------------------------------------------------- commands

struct Context {
  const Arguments& args;
  std::string path;
  std::ostream& out;
  FileSystem& fileSystem;
};

// The table from one read of the file; a file that cannot be read (or whose
// lock another program holds too long) is a failure naming it.
void LoadTable(Context& context, TemplateTable& table) {
  const uint32_t error = LoadTemplateTableReporting(table, context.path, context.fileSystem);
  if (error != 0) throw Failure{context.path + ": " + DriverFileErrorText(error)};
}

int List(Context& context) {
  TemplateTable table;
  LoadTable(context, table);
  if (context.args.Flag("json")) {
    std::string json = "{\"file\": " + JsonString(context.path) + ", \"templates\": [";
    bool first = true;
    for (uint32_t n = 0; n < kTemplateCount; ++n) {
      if (table[n].Used == 0) continue;
      json += (first ? "" : ", ") + TemplateJson(table[n], n);
      first = false;
    }
    context.out << json << "]}\n";
  } else {
    for (uint32_t n = 0; n < kTemplateCount; ++n) {
      if (table[n].Used != 0) context.out << ListLine(table[n], n) << "\n";
    }
  }
  return kExitOk;
}

int Show(Context& context, uint32_t n) {
  TemplateTable table;
  LoadTable(context, table);
  const DeviceTemplate& slot = UsedTemplate(table, n);
  if (context.args.Flag("json")) {
    context.out << TemplateJson(slot, n) << "\n";
  } else {
    context.out << ShowText(slot, n);
  }
  return kExitOk;
}

// Loads the table, lets `edit` change it (or throw a Failure, which leaves the
// file alone), and saves it, all under the file's lock (UpdateTemplateTable),
// so that no other program's edit falls between the load and the save. With
// --dry-run nothing is written and the difference is printed instead. `edit`
// returns what to print after a real save.
int Change(Context& context, const std::function<std::string(TemplateTable&)>& edit) {
  const bool dryRun = context.args.Flag("dry-run");
  std::string report;
  const UpdateResult result = UpdateTemplateTable(
      context.path, [&](TemplateTable& table) { report = edit(table); }, dryRun,
      context.fileSystem);
  if (!result.save.ok) throw Failure{result.save.message};

  if (dryRun) {
    // The diff is of the text, also for a UTF-16 file.
    context.out << UnifiedDiff(DecodeText(result.before).text, DecodeText(result.after).text,
                               context.path, context.path + " (after save)");
  } else {
    context.out << report;
  }
  return kExitOk;
}

// The Device page's rule: an identifier that another used template has is
// refused; the template's own is fine.
void SetBoardId(TemplateTable& table, uint32_t n, uint32_t boardId) {
  if (boardId != table[n].SwitchID && table.IsSwitchIdUsed(boardId)) {
    throw Failure{kSwitchIdUsed};
  }
  table[n].SwitchID = boardId;
}

int Add(Context& context) {
  std::optional<uint32_t> boardId;
  if (const std::string* text = context.args.Value("board-id")) boardId = ParseBoardId(*text);
  return Change(context, [&](TemplateTable& table) {
    uint32_t n = 0;
    if (!table.AllocateTemplate(&n)) throw Failure{kNoFreeSlot};
    if (boardId) SetBoardId(table, n, *boardId);
    return std::to_string(n) + "\n";
  });
}

int Remove(Context& context, uint32_t n) {
  return Change(context, [&](TemplateTable& table) {
    UsedTemplate(table, n);
    table[n].Used = 0;
    return std::string();
  });
}

int Set(Context& context, uint32_t n) {
  const Arguments& args = context.args;
  std::optional<uint32_t> boardId;
  std::optional<PairSelection> pairs[2];  // [0] differential, [1] single-ended
  std::optional<int> ranges[2];
  if (const std::string* text = args.Value("board-id")) boardId = ParseBoardId(*text);
  const char* pairOptions[2] = {"differential", "single-ended"};
  for (int i = 0; i < 2; ++i) {
    if (const std::string* text = args.Value(pairOptions[i])) {
      pairs[i] = ParsePairList(*text);
      if (!pairs[i]) {
        throw Failure{std::string("--") + pairOptions[i] + " '" + *text +
                      "': give pair numbers 0 to 7 separated by commas, or all"};
      }
    }
  }
  if (pairs[0] && pairs[1]) {
    if (pairs[0]->all && pairs[1]->all) {
      throw Failure{"--differential all and --single-ended all contradict each other"};
    }
    if ((pairs[0]->bits & pairs[1]->bits) != 0 && !pairs[0]->all && !pairs[1]->all) {
      throw Failure{"--differential and --single-ended name the same pair"};
    }
  }
  for (int i = 0; i < 2; ++i) {
    const std::string option = "ao" + std::to_string(i);
    if (const std::string* text = args.Value(option)) {
      ranges[i] = ParseAoRangeLabel(*text);
      if (!ranges[i]) {
        throw Failure{"--" + option + " '" + *text +
                      "': the range is one of \"0 ~ 5V\", \"0 ~ 10V\", \"-5 ~ 5V\", \"-10 ~ 10V\""};
      }
    }
  }
  if (!boardId && !pairs[0] && !pairs[1] && !ranges[0] && !ranges[1]) {
    throw Failure{"set: nothing to change (see 'zuv8620 set --help')"};
  }

  return Change(context, [&](TemplateTable& table) {
    UsedTemplate(table, n);
    DeviceTemplate& slot = table[n];
    if (boardId) SetBoardId(table, n, *boardId);
    // Set All first, as the whole word; then single pairs, two bits each.
    for (int i = 0; i < 2; ++i) {
      if (pairs[i] && pairs[i]->all) slot.ChanConfig = i == 0 ? kAllDifferential : 0;
    }
    for (int i = 0; i < 2; ++i) {
      if (!pairs[i] || pairs[i]->all) continue;
      if (i == 0) {
        slot.ChanConfig |= pairs[i]->bits;
      } else {
        slot.ChanConfig &= ~pairs[i]->bits;
      }
    }
    for (int i = 0; i < 2; ++i) {
      if (!ranges[i]) continue;
      slot.AOSettings[i].RefHigh = AoRangeTable[*ranges[i]].RefHigh;
      slot.AOSettings[i].RefLow = AoRangeTable[*ranges[i]].RefLow;
    }
    return std::string();
  });
}

int Save(Context& context) {
  return Change(context, [](TemplateTable&) { return std::string(); });
}

// ---------------------------------------------------------------- check

struct Problem {
  uint32_t n;
  std::string text;
};

void CheckAoText(const char* name, uint32_t n, RegFile& reg, std::vector<Problem>& problems) {
  uint32_t type = 0;
  uint32_t size = 0;
  char text[kAoTextMaxLength + 1] = {};
  reg.QueryValue(n, name, &type, text, &size, kAoTextMaxLength);
  if (type == 0) return;  // absent: the output keeps the default range
  const std::string quoted = std::string("\"") + name + "\"";
  if (type != kRegSz) {
    problems.push_back({n, quoted + " is not a string; it is taken as missing"});
    return;
  }
  AoSetting setting = kDefaultAoSetting;
  if (ParseAoSettingFields(text, &setting) < 3) {
    problems.push_back({n, quoted + " text \"" + text + "\" is not three numbers"});
  } else if (FindAoRange(setting) < 0) {
    problems.push_back({n, quoted + " text \"" + text + "\" (" + Volts(setting.RefLow) +
                               " ~ " + Volts(setting.RefHigh) + "V) matches no range"});
  }
}

// A problem of the whole file rather than of one template.
constexpr uint32_t kWholeFile = kTemplateCount;

int Check(Context& context) {
  DecodedText text;
  const uint32_t readError = ReadDriverText(context.path, context.fileSystem, &text);
  if (readError != 0) throw Failure{context.path + ": " + DriverFileErrorText(readError)};

  std::vector<Problem> problems;
  if (!text.valid) {
    problems.push_back({kWholeFile, "byte offset " + std::to_string(text.faultOffset) + ": " +
                                        text.fault + "; no change is written to this file"});
  }
  const size_t nul = text.encoding == TextEncoding::kAnsi || text.encoding == TextEncoding::kUtf8Bom
                         ? FindNul(text.text)
                         : std::string::npos;
  if (nul != std::string::npos) {
    problems.push_back({kWholeFile, "byte offset " + std::to_string(nul) +
                                        " holds a NUL byte, which other readers may take as "
                                        "the end of the file"});
  }
  MemoryFileSystem copy;
  copy.SetFile(context.path, text.text);
  RegFile reg(copy);
  if (reg.Open(context.path.c_str()) != 0) throw Failure{context.path + ": cannot be read"};

  std::map<uint32_t, uint32_t> firstWithId;  // board id -> first template that has it
  try {
    for (uint32_t n = 0; n < kTemplateCount; ++n) {
      uint32_t start = 0, end = 0;
      reg.FindTemplateSection(n, &start, &end);
      if (start == end) continue;

      uint32_t type = 0, size = 0, switchId = 0;
      reg.QueryValue(n, "SwitchID", &type, &switchId, &size, sizeof switchId);
      if (type != kRegDword) {
        problems.push_back({n, type == 0 ? "the section has no \"SwitchID\"; the next save removes it"
                                         : "\"SwitchID\" is not a double word; the section is "
                                           "not loaded and the next save removes it"});
        continue;
      }
      if (switchId > 15) {
        problems.push_back({n, "board id " + std::to_string(switchId) + " is above 15"});
      }
      auto first = firstWithId.emplace(switchId, n);
      if (!first.second) {
        problems.push_back({n, "board id " + std::to_string(switchId) +
                                   " is also the board id of template " +
                                   std::to_string(first.first->second)});
      }

      type = 0;
      uint32_t mask = 0;
      reg.QueryValue(n, "ChanConfig", &type, &mask, &size, sizeof mask);
      if (type != 0 && type != kRegDword) {
        problems.push_back({n, "\"ChanConfig\" is not a double word; it is taken as missing"});
      } else if (type == kRegDword) {
        const std::vector<int> mixed = MixedPairs(mask);
        if (!mixed.empty()) {
          problems.push_back({n, "channel mask " + Hex(mask) + ": pairs " + JoinPairs(mixed) +
                                     " have two unequal bits"});
        }
        if ((mask & ~kAllDifferential) != 0) {
          problems.push_back({n, "channel mask " + Hex(mask) + " has bits above 15"});
        }
      }
      CheckAoText("AOSettings 0", n, reg, problems);
      CheckAoText("AOSettings 1", n, reg, problems);
    }
  } catch (const FileError& error) {
    reg.Close();
    throw Failure{context.path + ": " + SystemErrorText(error.SystemError())};
  }
  reg.Close();

  const std::string encoding = TextEncodingName(text.encoding);
  if (context.args.Flag("json")) {
    std::string json = "{\"file\": " + JsonString(context.path) +
                       ", \"encoding\": " + JsonString(encoding) + ", \"problems\": [";
    for (size_t i = 0; i < problems.size(); ++i) {
      const uint32_t n = problems[i].n;
      json += std::string(i ? ", " : "") + "{\"template\": " +
              (n == kWholeFile ? std::string("null") : std::to_string(n)) +
              ", \"problem\": " + JsonString(problems[i].text) + "}";
    }
    context.out << json << "]}\n";
  } else {
    context.out << "encoding: " << encoding << "\n";
    if (problems.empty()) context.out << "no problems found\n";
    for (const Problem& problem : problems) {
      if (problem.n == kWholeFile) {
        context.out << "file: " << problem.text << "\n";
      } else {
        context.out << "template " << problem.n << ": " << problem.text << "\n";
      }
    }
  }
  return problems.empty() ? kExitOk : kExitProblems;
}

int Dispatch(const Arguments& args, std::ostream& out, FileSystem& fileSystem) {
  if (args.command.empty() || args.command == "help") {
    if (!args.positional.empty()) {
      const CommandInfo* command = FindCommand(args.positional[0]);
      if (command == nullptr) throw Failure{"unknown command '" + args.positional[0] + "'"};
      out << command->help;
    } else {
      out << kToolHelp;
    }
    return kExitOk;
  }
  const CommandInfo* command = FindCommand(args.command);
  if (command == nullptr) throw Failure{"unknown command '" + args.command + "'"};
  if (args.Flag("help")) {
    out << command->help;
    return kExitOk;
  }
  for (const std::string& flag : args.flags) {
    if (command->options.count(flag) == 0) {
      throw Failure{"option '--" + flag + "' does not apply to '" + command->name + "'"};
    }
  }
  for (const auto& value : args.values) {
    if (kFileOptions.count(value.first) == 0 && command->options.count(value.first) == 0) {
      throw Failure{"option '--" + value.first + "' does not apply to '" + command->name + "'"};
    }
  }
  const size_t wanted = command->takesNumber ? 1 : 0;
  if (args.positional.size() < wanted) {
    throw Failure{std::string(command->name) + ": give the template number (0 to 15)"};
  }
  if (args.positional.size() > wanted) {
    throw Failure{std::string(command->name) + ": unexpected argument '" +
                  args.positional[wanted] + "'"};
  }
  const uint32_t n = command->takesNumber ? ParseTemplateNumber(args.positional[0]) : 0;
  Context context{args, DriverFilePath(args), out, fileSystem};

  const std::string name = command->name;
  if (name == "list") return List(context);
  if (name == "show") return Show(context, n);
  if (name == "add") return Add(context);
  if (name == "remove") return Remove(context, n);
  if (name == "set") return Set(context, n);
  if (name == "save") return Save(context);
  return Check(context);
}

}  // namespace

std::optional<int> ParseAoRangeLabel(std::string_view text) {
  auto normal = [](std::string_view label) {
    std::string compact;
    for (char c : label) {
      if (c != ' ' && c != '\t') compact += c;
    }
    if (!compact.empty() && (compact.back() == 'V' || compact.back() == 'v')) compact.pop_back();
    return compact;
  };
  const std::string wanted = normal(text);
  if (wanted.empty()) return std::nullopt;
  for (int i = 0; i < kAoRangeCount; ++i) {
    if (normal(AoRangeTable[i].Label) == wanted) return i;
  }
  return std::nullopt;
}

std::optional<PairSelection> ParsePairList(std::string_view text) {
  PairSelection selection;
  if (text == "all") {
    selection.all = true;
    return selection;
  }
  size_t start = 0;
  while (true) {
    const size_t comma = text.find(',', start);
    std::string_view item = text.substr(start, comma == std::string_view::npos ? text.npos
                                                                               : comma - start);
    while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
    while (!item.empty() && item.back() == ' ') item.remove_suffix(1);
    if (item.size() != 1 || item[0] < '0' || item[0] > '7') return std::nullopt;
    selection.bits |= PairBits(item[0] - '0');
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return selection;
}

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
        FileSystem& fileSystem) {
  try {
    const Arguments parsed = ParseArguments(args);
    if (parsed.command.empty() && !parsed.Flag("help")) {
      err << kToolName << ": no command given\n" << kToolHelp;
      return kExitFailed;
    }
    return Dispatch(parsed, out, fileSystem);
  } catch (const Failure& failure) {
    err << kToolName << ": " << failure.message << "\n";
    return kExitFailed;
  }
}

}  // namespace zuv::cli
