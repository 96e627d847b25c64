// The zuv8620 command-line tool as a library: the same edits as the template
// editor, made on a driver file through the same load and Save sequences, so
// the file ends up byte for byte as the editor would leave it.
#ifndef ZUV_CLI_CLI_H
#define ZUV_CLI_CLI_H

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "cli/exit_codes.h"
#include "cli/text_stream.h"
#include "templates/template_file.h"
#include "templates/template_rules.h"

namespace zuv::cli {

// Runs the tool with the arguments that follow the program name; returns the
// exit status. Output goes to `out`, messages to `err`, and "apply -" reads
// `in`; every file is opened through `fileSystem`.
int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
        std::istream& in, FileSystem& fileSystem = NativeFileSystem());

// The tool as a process: Run on the process's own standard input (refused
// unless a regular file or a pipe), standard output and standard error, and
// then standard output flushed and closed; output that did not reach it
// (a full disk, a closed descriptor, a pipe whose reader left) ends in
// "zuv8620: standard output: REASON" and kExitFailed, whatever the command
// did. Its messages go to `err`, else to standard error. On Windows a
// console takes its output through `console` (text shown as UTF-16), which
// is then only flushed.
int RunProcess(const std::vector<std::string>& args, TextSink* err = nullptr,
               TextSink* console = nullptr);

// The range labels of --ao0 and --ao1 ("-5~5" too), as the rules read them.
using ::zuv::ParseAoRangeLabel;

}  // namespace zuv::cli

#endif  // ZUV_CLI_CLI_H
