// The process's standard streams for the tool: its output, where every write
// is checked and closing tells whether all of it reached its destination (a
// full disk, a closed descriptor, a pipe whose reader left), as GNU's
// close_stdout does; its messages; and standard input for "apply -".
#ifndef ZUV_CLI_STANDARD_OUTPUT_H
#define ZUV_CLI_STANDARD_OUTPUT_H

#include <string>

#include "cli/text_stream.h"

namespace zuv::cli {

class StandardOutput : public TextSink {
 public:
  StandardOutput();
  StandardOutput(const StandardOutput&) = delete;
  StandardOutput& operator=(const StandardOutput&) = delete;

  void Write(std::string_view text) override;
  bool Flush() override;
  // Writes what is buffered, flushes and closes standard output. Empty when
  // everything written reached it, else the system's reason for the first
  // failure. A standard output that was closed before the tool started and
  // was never written to is no failure.
  std::string Close();

 private:
  // Writes and flushes the buffer; false once any write failed (what
  // follows is dropped).
  bool Drain();

  char buffer_[1 << 16];
  size_t used_ = 0;
  int error_ = 0;  // errno of the first failure
  bool written_ = false;
};

// Standard error, written a whole line at a time, so that a message reaches
// it in one piece; what is left without a line end goes at Flush or at the
// end.
class StandardError : public TextSink {
 public:
  StandardError() = default;
  StandardError(const StandardError&) = delete;
  StandardError& operator=(const StandardError&) = delete;
  ~StandardError() override;

  void Write(std::string_view text) override;
  bool Flush() override;

 private:
  std::string pending_;
};

class StandardInput : public TextSource {
 public:
  std::ptrdiff_t Read(char* data, size_t size) override;
};

}  // namespace zuv::cli

#endif  // ZUV_CLI_STANDARD_OUTPUT_H
