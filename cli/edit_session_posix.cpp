#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "cli/edit_session.h"

namespace zuv::cli {

std::string CreatePrivateFile(const std::string& text, std::string* why) {
  const char* folder = std::getenv("TMPDIR");
  std::string name = folder != nullptr && folder[0] != '\0' ? folder : "/tmp";
  if (name.back() != '/') name += '/';
  name += "zuv8620-XXXXXX.json";
  std::vector<char> path(name.begin(), name.end());
  path.push_back('\0');
  // mkstemps: a new name, opened with O_EXCL and mode 0600.
  const int fd = ::mkstemps(path.data(), 5);
  if (fd < 0) {
    *why = name + ": " + std::strerror(errno);
    return {};
  }
  ::fchmod(fd, S_IRUSR | S_IWUSR);
  size_t written = 0;
  while (written < text.size()) {
    const ssize_t put = ::write(fd, text.data() + written, text.size() - written);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      *why = std::string(path.data()) + ": " + std::strerror(put < 0 ? errno : ENOSPC);
      ::close(fd);
      ::unlink(path.data());
      return {};
    }
    written += static_cast<size_t>(put);
  }
  if (::close(fd) != 0) {
    *why = std::string(path.data()) + ": " + std::strerror(errno);
    ::unlink(path.data());
    return {};
  }
  return path.data();
}

void RemovePrivateFile(const std::string& path) { ::unlink(path.c_str()); }

int RunEditor(const std::string& path, std::string* why) {
  std::string editor;
  for (const char* name : {"VISUAL", "EDITOR"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && value[0] != '\0') {
      editor = value;
      break;
    }
  }
  if (editor.empty()) editor = "vi";
  // As git runs it: the variable's words through the shell, the path as
  // one more argument, never pasted into the shell's text.
  const std::string script = editor + " \"$@\"";
  const pid_t child = ::fork();
  if (child < 0) {
    *why = std::string("cannot start the editor: ") + std::strerror(errno);
    return -1;
  }
  if (child == 0) {
    ::execl("/bin/sh", "sh", "-c", script.c_str(), editor.c_str(), path.c_str(),
            static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) {
      *why = std::string("waiting for the editor: ") + std::strerror(errno);
      return -1;
    }
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  *why = "the editor '" + editor + "' ended by signal " + std::to_string(WTERMSIG(status));
  return -1;
}

bool StandardInputIsTerminal() { return ::isatty(0) == 1; }

bool IsStream(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode);
}

bool ReadStream(const std::string& path, size_t limit, std::string* text, std::string* why) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *why = std::strerror(errno);
    return false;
  }
  struct stat info;
  if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    ::close(fd);
    *why = "not a regular file (give a document file, or - for standard input)";
    return false;
  }
  char chunk[65536];
  ssize_t got = 0;
  while (text->size() <= limit) {
    got = ::read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    text->append(chunk, static_cast<size_t>(got));
  }
  const int error = errno;
  ::close(fd);
  if (got < 0) {
    *why = std::strerror(error);
    return false;
  }
  return true;
}

}  // namespace zuv::cli
