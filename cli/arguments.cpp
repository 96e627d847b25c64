#include "cli/arguments.h"

#include <memory>
#include <optional>
#include <string_view>

#include "templates/build_environment.h"
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
const std::set<std::string> kFlagOptions = {"json",  "dry-run", "exit-code",
                                            "image", "help",    "version"};
// The build's options: each may be given again, the later winning.
const std::set<std::string> kBuildValueOptions = {"define", "undefine", "config"};

bool IsDecimal(std::string_view text) {
  if (text.empty() || text.size() > 9) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

}  // namespace

const std::set<std::string> kFileOptions = {"file",     "root",   "driver",     "define",
                                            "undefine", "config", "environment"};

Arguments ParseArguments(const std::vector<std::string>& args) {
  Arguments parsed;
  std::optional<Failure> failure;  // the first; thrown unless --help or --version comes
  bool options = true;
  auto word = [&](const std::string& arg) {
    if (parsed.command.empty()) {
      parsed.command = arg;
    } else {
      parsed.positional.push_back(arg);
    }
  };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!options) {
      word(arg);
    } else if (arg == "--") {
      options = false;
    } else if (arg == "-h") {
      parsed.flags.insert("help");
      if (parsed.first.empty()) parsed.first = "help";
    } else if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
      std::string name = arg.substr(2);
      std::optional<std::string> value;
      const size_t equals = name.find('=');
      if (equals != std::string::npos) {
        value = name.substr(equals + 1);
        name.erase(equals);
      }
      if (name == "environment" || kBuildValueOptions.count(name) != 0) {
        if (name == "environment" && value) {
          if (!failure) failure = Failure{"option '--environment' takes no value"};
          continue;
        }
        if (name != "environment" && !value) {
          if (i + 1 == args.size()) {
            if (!failure) failure = Failure{"option '--" + name + "' needs a value"};
            continue;
          }
          value = args[++i];
        }
        parsed.build.emplace_back(name, value.value_or(std::string()));
      } else if (kFlagOptions.count(name) != 0) {
        if (value) {
          if (!failure) failure = Failure{"option '--" + name + "' takes no value"};
          continue;
        }
        parsed.flags.insert(name);
        if (parsed.first.empty() && (name == "help" || name == "version")) parsed.first = name;
      } else if (kValueOptions.count(name) != 0) {
        if (!value) {
          if (i + 1 == args.size()) {
            if (!failure) failure = Failure{"option '--" + name + "' needs a value"};
            continue;
          }
          value = args[++i];
        }
        if (parsed.values.count(name) != 0) {
          if (!failure) failure = Failure{"option '--" + name + "' is given twice"};
          continue;
        }
        parsed.values[name] = *value;
      } else if (!failure) {
        failure = Failure{"unknown option '" + arg + "'"};
      }
    } else if (arg.size() > 1 && arg[0] == '-') {
      // "-" alone is standard input; any other word with a dash is an option.
      if (!failure) failure = Failure{"unknown option '" + arg + "'"};
    } else {
      word(arg);
    }
  }
  if (failure && parsed.first.empty()) {
    failure->usage = true;
    throw *failure;
  }
  return parsed;
}

uint32_t ParseTemplateNumber(const std::string& text) {
  if (!IsDecimal(text) || std::stoul(text) >= kTemplateCount) {
    throw Failure{"template number '" + text + "': " + RefusalText(Rule::kNumberOutOfRange)};
  }
  return static_cast<uint32_t>(std::stoul(text));
}

uint32_t ParseBoardId(const std::string& text) {
  if (!IsDecimal(text) || std::stoul(text) >= kBoardIdCount) {
    throw Failure{"--board-id '" + text + "': " + RefusalText(Rule::kBoardIdOutOfRange), true};
  }
  return static_cast<uint32_t>(std::stoul(text));
}

namespace {

// A driver's name becomes a folder and a file name in the image tree, and
// the driver keys: it may name no other folder.
void CheckDriverName(const std::string& name) {
  if (name.empty()) throw Failure{"--driver: the name is empty", true};
  const std::string folder = name.substr(0, 7);
  if (name.find_first_of("/\\") != std::string::npos || folder == "." || folder == "..") {
    throw Failure{"--driver '" + name + "': a driver's name, not a path (no / or \\, not . or ..)",
                  true};
  }
}

}  // namespace

std::string DriverFilePath(const Arguments& args) {
  const std::string* file = args.Value("file");
  const std::string* root = args.Value("root");
  const std::string* driver = args.Value("driver");
  if (file != nullptr) {
    // Beside --file, --root names only the image that check --image walks.
    if (root != nullptr && !args.Flag("image")) {
      throw Failure{"give either --file or --root with --driver, not both"};
    }
    if (file->empty()) throw Failure{"--file: the path is empty"};
    if (driver != nullptr) CheckDriverName(*driver);
    return *file;
  }
  if (root == nullptr || driver == nullptr) {
    throw Failure{"which driver file? give --file PATH, or --root DIR and --driver NAME"};
  }
  CheckDriverName(*driver);
  std::string base = *root;
  if (!base.empty() && base.back() != '/' && base.back() != '\\') base += kPathSeparator;
  return ComposeDriverFilePath(base, *driver, kPathSeparator);
}

std::string ImageRoot(const Arguments& args) {
  const std::string* root = args.Value("root");
  if (root == nullptr) return {};
  if (root->empty()) throw Failure{"--root: the path is empty", true};
  return *root;
}

std::string DriverName(const Arguments& args) {
  const std::string* driver = args.Value("driver");
  return driver != nullptr ? *driver : std::string();
}

namespace {

// A build variable's name as --define, --undefine and a --config line give
// it: letters, digits and '_' (a build window's variables are such names).
std::string CheckedVariableName(std::string_view name, const std::string& where) {
  if (name.empty()) throw Failure{where + ": the variable's name is empty"};
  for (char c : name) {
    if (!IsBuildNameChar(c)) {
      throw Failure{where + ": '" + std::string(name) +
                    "' is not a variable's name (letters, digits and _)"};
    }
  }
  return std::string(name);
}

// The variables of a --config file: "NAME=VALUE" lines.
void ReadConfigFile(const std::string& path, FileSystem& fileSystem,
                    BuildConfiguration* configuration) {
  constexpr uint64_t kLimit = 1u << 20;
  const std::string where = "--config " + path;
  StatusOr<std::unique_ptr<File>> opened = fileSystem.OpenForReading(path);
  if (!opened.ok()) throw Failure{ErrorText(opened.status().WithPath(where))};
  std::string text;
  uint64_t size = 0;
  const Status read = ReadFrom(**opened, kLimit, &text, &size);
  if (!read.ok()) throw Failure{ErrorText(read.WithPath(where))};
  if (size > kLimit) throw Failure{where + ": a configuration is at most 1 MiB"};
  size_t number = 0;
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + at, end - at);
    at = end + 1;
    ++number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    if (line.empty() || line.front() == '#') continue;
    const size_t equals = line.find('=');
    const std::string at_line = where + ": line " + std::to_string(number);
    if (equals == std::string_view::npos) throw Failure{at_line + ": not NAME=VALUE"};
    configuration->Define(CheckedVariableName(line.substr(0, equals), at_line),
                          line.substr(equals + 1));
  }
}

}  // namespace

std::optional<BuildConfiguration> ConfigurationOf(const Arguments& args, FileSystem& fileSystem) {
  if (args.build.empty()) return std::nullopt;
  BuildConfiguration configuration;
  for (const auto& [option, value] : args.build) {
    if (option == "define" || option == "undefine") {
      // A name that is no variable's is a fault of the command line.
      try {
        const size_t equals = option == "define" ? value.find('=') : std::string::npos;
        const std::string name = CheckedVariableName(value.substr(0, equals), "--" + option);
        if (option == "undefine") {
          configuration.Undefine(name);
        } else {
          configuration.Define(name, equals == std::string::npos ? "1" : value.substr(equals + 1));
        }
      } catch (Failure& failure) {
        failure.usage = true;
        throw;
      }
    } else if (option == "config") {
      // A whole configuration: what came before it is replaced.
      configuration = BuildConfiguration();
      ReadConfigFile(value, fileSystem, &configuration);
      configuration.MakeComplete();
    } else {
      configuration = EnvironmentConfiguration();
    }
  }
  return configuration;
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
