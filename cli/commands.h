// The tool's commands: each one's name, operand, options, help text and
// handler, in one table.
#ifndef ZUV_CLI_COMMANDS_H
#define ZUV_CLI_COMMANDS_H

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "cli/arguments.h"
#include "cli/text_stream.h"
#include "templates/template_file.h"

namespace zuv::cli {

extern const char kToolHelp[];

// What a handler works with. `path` is the driver file (empty for help) and
// `n` the template number for commands that take one.
struct Context {
  const Arguments& args;
  std::string path;
  TextSink& out;
  TextSink& err;  // notes beside the output, each "zuv8620: ..."
  TextSource& in;
  FileSystem& fileSystem;
  uint32_t n = 0;
  std::string driver;  // --driver, else empty
  // `in` is the process's standard input, whose kind is checked before a read.
  bool standardInput = false;
  // The build the file is read for (--define, --config, ...); null: every
  // build.
  const BuildConfiguration* configuration = nullptr;
  // show prints one value, the one `get` names (positional[1]).
  bool get = false;
};

// The operand that follows a command's name.
enum class Operand {
  kNone,
  kTemplateNumber,  // one template number, 0 to 15
  kTemplateField,   // a template number and a value's name (get)
  kDocument,        // one document file, or "-"
  kCommandName,     // help's optional command name
};

struct CommandInfo {
  const char* name;
  Operand operand;
  std::set<std::string> options;  // beside --help and, with a driver file, kFileOptions
  const char* help;
  int (*handler)(Context& context);
};

const std::vector<CommandInfo>& Commands();
const CommandInfo* FindCommand(std::string_view name);

}  // namespace zuv::cli

#endif  // ZUV_CLI_COMMANDS_H
