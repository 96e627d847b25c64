#include "cli/cli.h"

#include <exception>
#include <istream>
#include <new>
#include <ostream>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/output.h"
#include "cli/standard_output.h"
#include "zuv_version.h"

namespace zuv::cli {

namespace {

// --help and --version, wherever they stand: the text of the command when
// one is named, else the tool's.
int Information(const Arguments& args, TextSink& out) {
  if (args.first == "version") {
    out << kToolName << " " ZUV_VERSION "\n";
    return kExitOk;
  }
  const CommandInfo* command = args.command.empty() ? nullptr : FindCommand(args.command);
  if (command == nullptr && !args.command.empty()) {
    throw Failure{"unknown command '" + args.command + "'", true};
  }
  out << (command == nullptr ? kToolHelp : command->help);
  return kExitOk;
}

// Finds the command, checks its options and operand, and runs its handler.
int Dispatch(const Arguments& args, TextSink& out, TextSink& err, TextSource& in,
             FileSystem& fileSystem, bool standardInput) {
  const std::string name = args.command.empty() ? "help" : args.command;
  const CommandInfo* command = FindCommand(name);
  if (command == nullptr) throw Failure{"unknown command '" + args.command + "'", true};
  if (command->operand == Operand::kCommandName) {
    // help reads no file and takes whatever options come with it.
    Context context{args, std::string(), out, err, in, fileSystem, 0, std::string(), false};
    return command->handler(context);
  }
  for (const std::string& flag : args.flags) {
    if (command->options.count(flag) == 0) {
      throw Failure{"option '--" + flag + "' does not apply to '" + command->name + "'", true};
    }
  }
  for (const auto& value : args.values) {
    if (kFileOptions.count(value.first) == 0 && command->options.count(value.first) == 0) {
      throw Failure{"option '--" + value.first + "' does not apply to '" + command->name + "'",
                    true};
    }
  }
  if (args.Flag("exit-code") && !args.Flag("dry-run")) {
    throw Failure{"option '--exit-code' goes with --dry-run", true};
  }
  const size_t wanted = command->operand == Operand::kNone            ? 0
                        : command->operand == Operand::kTemplateField ? 2
                                                                      : 1;
  if (args.positional.size() < wanted) {
    throw Failure{std::string(command->name) +
                      (command->operand == Operand::kDocument
                           ? ": give the document (a file, or - for standard input)"
                       : command->operand == Operand::kTemplateField && !args.positional.empty()
                           ? std::string(": give the value's name (") + kShowFields + ")"
                           : ": give the template number (0 to 15)"),
                  true};
  }
  if (args.positional.size() > wanted) {
    throw Failure{
        std::string(command->name) + ": unexpected argument '" + args.positional[wanted] + "'",
        true};
  }
  uint32_t n = 0;
  if (command->operand == Operand::kTemplateNumber || command->operand == Operand::kTemplateField) {
    try {
      n = ParseTemplateNumber(args.positional[0]);
    } catch (Failure& failure) {
      failure.usage = true;
      throw;
    }
  }
  std::string path;
  try {
    path = DriverFilePath(args);
  } catch (Failure& failure) {
    failure.usage = true;
    throw;
  }
  const std::optional<BuildConfiguration> configuration = ConfigurationOf(args, fileSystem);
  Context context{args,
                  path,
                  out,
                  err,
                  in,
                  fileSystem,
                  n,
                  DriverName(args),
                  standardInput,
                  configuration ? &*configuration : nullptr};
  return command->handler(context);
}

int RunOn(const std::vector<std::string>& args, TextSink& out, TextSink& err, TextSource& in,
          FileSystem& fileSystem, bool standardInput) {
  // A message may quote a name or text of the file: never a raw control byte.
  try {
    const Arguments parsed = ParseArguments(args);
    if (!parsed.first.empty()) return Information(parsed, out);
    if (parsed.command.empty()) throw Failure{"no command given", true};
    return Dispatch(parsed, out, err, in, fileSystem, standardInput);
  } catch (const Failure& failure) {
    err << kToolName << ": " << ShownText(failure.message) << "\n";
    if (failure.usage) err << "Try '" << kToolName << " --help' for more information.\n";
    return kExitFailed;
  } catch (const std::bad_alloc&) {
    err << kToolName << ": out of memory\n";
    return kExitFailed;
  } catch (const std::exception& e) {
    err << kToolName << ": " << ShownText(e.what()) << "\n";
    return kExitFailed;
  }
}

// iostreams as the tool's sink and source.
class StreamSink : public TextSink {
 public:
  explicit StreamSink(std::ostream& stream) : stream_(stream) {}
  void Write(std::string_view text) override {
    stream_.write(text.data(), static_cast<std::streamsize>(text.size()));
  }
  bool Flush() override { return static_cast<bool>(stream_.flush()); }

 private:
  std::ostream& stream_;
};

class StreamSource : public TextSource {
 public:
  explicit StreamSource(std::istream& stream) : stream_(stream) {}
  std::ptrdiff_t Read(char* data, size_t size) override {
    const std::streamsize got = stream_.read(data, static_cast<std::streamsize>(size)).gcount();
    return stream_.bad() ? -1 : static_cast<std::ptrdiff_t>(got);
  }

 private:
  std::istream& stream_;
};

}  // namespace

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
        std::istream& in, FileSystem& fileSystem) {
  StreamSink outSink(out), errSink(err);
  StreamSource source(in);
  const int status = RunOn(args, outSink, errSink, source, fileSystem, false);
  outSink.Flush();
  errSink.Flush();
  return status;
}

int RunProcess(const std::vector<std::string>& args, TextSink* errSink, TextSink* console) {
  StandardError standardError;
  TextSink& err = errSink != nullptr ? *errSink : standardError;
  StandardInput in;
  if (console != nullptr) {
    const int status = RunOn(args, *console, err, in, NativeFileSystem(), true);
    if (console->Flush()) return status;
    err << kToolName << ": standard output: the console refused the output\n";
    return kExitFailed;
  }
  StandardOutput out;
  const int status = RunOn(args, out, err, in, NativeFileSystem(), true);
  const std::string failure = out.Close();
  if (failure.empty()) return status;
  err << kToolName << ": standard output: " << failure << "\n";
  return kExitFailed;
}

}  // namespace zuv::cli
