#include "cli/standard_output.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace zuv::cli {

namespace {

int ErrorNow() { return errno != 0 ? errno : EIO; }

}  // namespace

StandardOutput::StandardOutput() = default;

void StandardOutput::Write(std::string_view text) {
  while (!text.empty()) {
    if (used_ == sizeof buffer_ && !Drain()) return;
    const size_t part = std::min(text.size(), sizeof buffer_ - used_);
    std::memcpy(buffer_ + used_, text.data(), part);
    used_ += part;
    text.remove_prefix(part);
  }
}

bool StandardOutput::Flush() { return Drain(); }

bool StandardOutput::Drain() {
  const size_t size = used_;
  used_ = 0;
  if (error_ != 0) return false;
  if (size == 0) return true;
  written_ = true;
  // The reason is taken at once: nothing later may have changed errno.
  errno = 0;
  if (std::fwrite(buffer_, 1, size, stdout) != size) {
    error_ = ErrorNow();
    return false;
  }
  errno = 0;
  if (std::fflush(stdout) != 0) {
    error_ = ErrorNow();
    return false;
  }
  return true;
}

std::string StandardOutput::Close() {
  Drain();
  if (error_ == 0) {
    errno = 0;
    if (std::fflush(stdout) != 0) error_ = ErrorNow();
  }
  // Closing the descriptor reports what a file system tells only then (a
  // network file system's delayed write errors). The FILE stays open, empty,
  // for whatever flushes it at exit.
  if (error_ == 0) {
    errno = 0;
#ifdef _WIN32
    const int closed = ::_close(::_fileno(stdout));
#else
    const int closed = ::close(::fileno(stdout));
#endif
    if (closed != 0 && !(errno == EBADF && !written_) && errno != EINTR) error_ = ErrorNow();
  }
  return error_ != 0 ? std::strerror(error_) : std::string();
}

StandardError::~StandardError() { Flush(); }

void StandardError::Write(std::string_view text) {
  pending_.append(text);
  const size_t lineEnd = pending_.rfind('\n');
  if (lineEnd == std::string::npos) return;
  std::fwrite(pending_.data(), 1, lineEnd + 1, stderr);
  pending_.erase(0, lineEnd + 1);
}

bool StandardError::Flush() {
  const bool written = pending_.empty() ||
                       std::fwrite(pending_.data(), 1, pending_.size(), stderr) == pending_.size();
  pending_.clear();
  return written && std::fflush(stderr) == 0;
}

std::ptrdiff_t StandardInput::Read(char* data, size_t size) {
  const size_t got = std::fread(data, 1, size, stdin);
  if (got == 0 && std::ferror(stdin)) return -1;
  return static_cast<std::ptrdiff_t>(got);
}

}  // namespace zuv::cli
