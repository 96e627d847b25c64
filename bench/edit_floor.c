/* The floor of a durable edit of one value, against which the benchmark
 * measures `zuv8620 set`: read the file, replace one value, write a sibling,
 * flush it, rename it over the file, flush the folder. Nothing else: no lock,
 * no check of what the text means.
 *
 *   edit_floor FILE KEY NAME DATA
 *
 * finds the first line starting with NAME after the first occurrence of KEY
 * (for instance `Template0]` and `"SwitchID"=`) and replaces the rest of that
 * line, up to its line end, by DATA. Exits 0 when written, 1 otherwise. */
#define _GNU_SOURCE
#include <fcntl.h>
#include <libgen.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static int fail(const char* what, const char* path) {
  perror(path);
  fprintf(stderr, "edit_floor: %s failed\n", what);
  return 1;
}

static int write_all(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t done = write(fd, data, size);
    if (done <= 0) return -1;
    data += done;
    size -= (size_t)done;
  }
  return 0;
}

int main(int argc, char** argv) {
  if (argc != 5) {
    fprintf(stderr, "usage: edit_floor FILE KEY NAME DATA\n");
    return 2;
  }
  const char* path = argv[1];
  const char* key = argv[2];
  const char* name = argv[3];
  const char* data = argv[4];

  int fd = open(path, O_RDONLY);
  if (fd < 0) return fail("open", path);
  struct stat st;
  if (fstat(fd, &st) != 0) return fail("stat", path);
  size_t size = (size_t)st.st_size;
  char* text = malloc(size + 1);
  if (text == NULL) return fail("malloc", path);
  size_t got = 0;
  while (got < size) {
    ssize_t n = read(fd, text + got, size - got);
    if (n <= 0) return fail("read", path);
    got += (size_t)n;
  }
  close(fd);

  const char* at = memmem(text, size, key, strlen(key));
  if (at == NULL) return fail("finding the key", path);
  const char* end = text + size;
  const size_t nameLength = strlen(name);
  const char* value = NULL;
  for (const char* line = at; line < end;) {
    const char* next = memchr(line, '\n', (size_t)(end - line));
    next = next == NULL ? end : next + 1;
    if ((size_t)(next - line) >= nameLength && memcmp(line, name, nameLength) == 0) {
      value = line + nameLength;
      break;
    }
    line = next;
  }
  if (value == NULL) return fail("finding the value", path);
  const char* valueEnd = value;
  while (valueEnd < end && *valueEnd != '\r' && *valueEnd != '\n') ++valueEnd;

  char* sibling = malloc(strlen(path) + 8);
  if (sibling == NULL) return fail("malloc", path);
  strcpy(sibling, path);
  strcat(sibling, ".floor");
  int out = open(sibling, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (out < 0) return fail("create", sibling);
  if (write_all(out, text, (size_t)(value - text)) != 0 ||
      write_all(out, data, strlen(data)) != 0 ||
      write_all(out, valueEnd, (size_t)(end - valueEnd)) != 0) {
    return fail("write", sibling);
  }
  if (fsync(out) != 0) return fail("fsync", sibling);
  if (close(out) != 0) return fail("close", sibling);
  if (rename(sibling, path) != 0) return fail("rename", sibling);

  char* folderPath = strdup(path);
  int folder = open(dirname(folderPath), O_RDONLY | O_DIRECTORY);
  if (folder < 0 || fsync(folder) != 0) return fail("fsync of the folder", path);
  close(folder);
  return 0;
}
