// The tool's arguments: options anywhere on the line, the command, its
// operands; and the checks of the values that options and operands give.
#ifndef ZUV_CLI_ARGUMENTS_H
#define ZUV_CLI_ARGUMENTS_H

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "device/build_condition.h"
#include "fileio/file.h"

namespace zuv::cli {

// A refusal or bad argument: the message goes to the error stream and the
// tool ends with kExitFailed.
struct Failure {
  std::string message;
  // A fault of the command line (an unknown option, an operand missing): the
  // message is followed by the line that points to --help.
  bool usage = false;
};

struct Arguments {
  std::string command;
  std::vector<std::string> positional;
  std::map<std::string, std::string> values;
  std::set<std::string> flags;
  // "help" or "version", whichever of --help (-h) and --version came first.
  std::string first;
  // The build configuration's options in the order given: --define,
  // --undefine and --config with their values, --environment with none.
  std::vector<std::pair<std::string, std::string>> build;

  const std::string* Value(const std::string& name) const {
    auto found = values.find(name);
    return found == values.end() ? nullptr : &found->second;
  }
  bool Flag(const std::string& name) const { return flags.count(name) != 0; }
};

// Options naming the driver file and the build it is read for; every
// command that reads one takes them.
extern const std::set<std::string> kFileOptions;

// "--name VALUE", "--name=VALUE", "--flag", "-h"; the first other word is the
// command, the rest its operands; every word after "--" is a word, never an
// option. Throws a Failure for an unknown option, a flag given a value, a
// value missing or given twice; but not when --help or --version is on the
// line, which then wins wherever it stands.
Arguments ParseArguments(const std::vector<std::string>& args);

// A template number 0 to 15, and a board id 0 to 15, from an operand or option.
uint32_t ParseTemplateNumber(const std::string& text);
uint32_t ParseBoardId(const std::string& text);

// A list of channel pairs: "all", or pair numbers 0 to 7 separated by commas.
struct PairSelection {
  bool all = false;
  uint32_t bits = 0;  // PairBits of every listed pair
};
std::optional<PairSelection> ParsePairList(std::string_view text);

// The driver file that --file, or --root with --driver, names.
std::string DriverFilePath(const Arguments& args);
// The image root that --root names, or an empty string.
std::string ImageRoot(const Arguments& args);
// The driver that --driver names (the file's keys are then that driver's,
// whatever the file is called and whatever folders lie above it), or an
// empty string.
std::string DriverName(const Arguments& args);

// The build configuration the options name, the later option winning; none
// when no option names one. A --config FILE holds "NAME=VALUE" lines as a
// build window's `set` prints them (blank lines and lines starting with "#"
// are passed over); it and --environment name every variable of the build,
// so the variables they leave out are unset.
std::optional<BuildConfiguration> ConfigurationOf(const Arguments& args, FileSystem& fileSystem);

}  // namespace zuv::cli

#endif  // ZUV_CLI_ARGUMENTS_H
