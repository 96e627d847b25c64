#include "cli/arguments.h"

#include <optional>
#include <string_view>

#include "cli/cli.h"
#include "templates/device_template.h"
#include "templates/driver_path.h"
#include "templates/template_rules.h"

namespace zuv::cli {

namespace {

#ifdef _WIN32
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

const std::set<std::string> kValueOptions = {"file",         "root", "driver", "board-id",
                                             "differential", "single-ended", "ao0", "ao1"};
const std::set<std::string> kFlagOptions = {"json", "dry-run", "help"};

bool IsDecimal(std::string_view text) {
  if (text.empty() || text.size() > 9) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

}  // namespace

const std::set<std::string> kFileOptions = {"file", "root", "driver"};

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

uint32_t ParseTemplateNumber(const std::string& text) {
  if (!IsDecimal(text) || std::stoul(text) >= kTemplateCount) {
    throw Failure{"template number '" + text + "': " + RefusalText(Refusal::kNumberOutOfRange)};
  }
  return static_cast<uint32_t>(std::stoul(text));
}

uint32_t ParseBoardId(const std::string& text) {
  if (!IsDecimal(text) || std::stoul(text) >= kBoardIdCount) {
    throw Failure{"--board-id '" + text + "': " + RefusalText(Refusal::kBoardIdOutOfRange)};
  }
  return static_cast<uint32_t>(std::stoul(text));
}

std::string DriverFilePath(const Arguments& args) {
  const std::string* file = args.Value("file");
  const std::string* root = args.Value("root");
  const std::string* driver = args.Value("driver");
  if (file != nullptr) {
    if (root != nullptr) throw Failure{"give either --file or --root with --driver, not both"};
    if (file->empty()) throw Failure{"--file: the path is empty"};
    if (driver != nullptr && driver->empty()) throw Failure{"--driver: the name is empty"};
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

std::string DriverNameForFile(const Arguments& args) {
  const std::string* driver = args.Value("driver");
  return args.Value("file") != nullptr && driver != nullptr ? *driver : std::string();
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

}  // namespace zuv::cli
