// The process's standard output for the tool's output: every write is
// checked, and closing it tells whether all of it reached its destination (a
// full disk, a closed descriptor, a pipe whose reader left), as GNU's
// close_stdout does.
#ifndef ZUV_CLI_STANDARD_OUTPUT_H
#define ZUV_CLI_STANDARD_OUTPUT_H

#include <streambuf>
#include <string>

namespace zuv::cli {

class StandardOutput : public std::streambuf {
 public:
  StandardOutput();
  StandardOutput(const StandardOutput&) = delete;
  StandardOutput& operator=(const StandardOutput&) = delete;

  // Writes what is buffered, flushes and closes standard output. Empty when
  // everything written reached it, else the system's reason for the first
  // failure. A standard output that was closed before the tool started and
  // was never written to is no failure.
  std::string Close();

 protected:
  int_type overflow(int_type c) override;
  int sync() override;

 private:
  // Writes and flushes the buffer; false once any write failed (what
  // follows is dropped).
  bool Drain();

  char buffer_[1 << 16];
  int error_ = 0;  // errno of the first failure
  bool written_ = false;
};

}  // namespace zuv::cli

#endif  // ZUV_CLI_STANDARD_OUTPUT_H
