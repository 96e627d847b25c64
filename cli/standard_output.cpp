#include "cli/standard_output.h"

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

StandardOutput::StandardOutput() { setp(buffer_, buffer_ + sizeof buffer_); }

bool StandardOutput::Drain() {
  const size_t size = static_cast<size_t>(pptr() - pbase());
  setp(buffer_, buffer_ + sizeof buffer_);
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

StandardOutput::int_type StandardOutput::overflow(int_type c) {
  if (!Drain()) return traits_type::eof();
  if (!traits_type::eq_int_type(c, traits_type::eof())) {
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
  }
  return traits_type::not_eof(c);
}

int StandardOutput::sync() { return Drain() ? 0 : -1; }

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

}  // namespace zuv::cli
