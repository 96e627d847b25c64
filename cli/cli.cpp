#include "cli/cli.h"

#include <exception>
#include <iostream>
#include <new>
#include <ostream>

#include "cli/arguments.h"
#include "cli/commands.h"

namespace zuv::cli {

namespace {

constexpr const char* kToolName = "zuv8620";

// Finds the command, checks its options and operand, and runs its handler.
int Dispatch(const Arguments& args, std::ostream& out, std::istream& in, FileSystem& fileSystem) {
  const std::string name = args.command.empty() ? "help" : args.command;
  const CommandInfo* command = FindCommand(name);
  if (command == nullptr) throw Failure{"unknown command '" + args.command + "'"};
  if (command->operand == Operand::kCommandName) {
    // help reads no file and takes whatever options come with it.
    Context context{args, std::string(), out, in, fileSystem};
    return command->handler(context);
  }
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
  const size_t wanted = command->operand == Operand::kNone ? 0 : 1;
  if (args.positional.size() < wanted) {
    throw Failure{std::string(command->name) +
                  (command->operand == Operand::kDocument
                       ? ": give the document (a file, or - for standard input)"
                       : ": give the template number (0 to 15)")};
  }
  if (args.positional.size() > wanted) {
    throw Failure{std::string(command->name) + ": unexpected argument '" +
                  args.positional[wanted] + "'"};
  }
  const uint32_t n =
      command->operand == Operand::kTemplateNumber ? ParseTemplateNumber(args.positional[0]) : 0;
  Context context{args, DriverFilePath(args), out, in, fileSystem, n, DriverNameForFile(args)};
  return command->handler(context);
}

}  // namespace

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
        FileSystem& fileSystem) {
  return Run(args, out, err, std::cin, fileSystem);
}

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
        std::istream& in, FileSystem& fileSystem) {
  try {
    const Arguments parsed = ParseArguments(args);
    if (parsed.command.empty() && !parsed.Flag("help")) {
      err << kToolName << ": no command given\n" << kToolHelp;
      return kExitFailed;
    }
    return Dispatch(parsed, out, in, fileSystem);
  } catch (const Failure& failure) {
    err << kToolName << ": " << failure.message << "\n";
    return kExitFailed;
  } catch (const std::bad_alloc&) {
    err << kToolName << ": out of memory\n";
    return kExitFailed;
  } catch (const std::exception& e) {
    err << kToolName << ": " << e.what() << "\n";
    return kExitFailed;
  }
}

}  // namespace zuv::cli
