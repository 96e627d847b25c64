// What `check` reports of a driver file: template sections that a load would
// take otherwise than they read, or that break the editor's rules.
#ifndef ZUV_TEMPLATES_TEMPLATE_CHECK_H
#define ZUV_TEMPLATES_TEMPLATE_CHECK_H

#include <cstdint>
#include <string>
#include <vector>

#include "regfile/file.h"

namespace zuv {

struct TemplateProblem {
  uint32_t n;        // the template's number
  std::string text;  // what is wrong, quoting the file's own text where it helps
};

// Reads the file and lists, by template number: board ids used twice or above
// 15, sections without a double-word "SwitchID" (the next save removes them),
// values of the wrong type, analog-output texts that do not parse or match no
// range, and channel masks with a pair half set or bits above 15. Returns 0,
// or the system's error code when the file could not be opened or read.
uint32_t CheckTemplateFile(const std::string& path, FileSystem& fileSystem,
                           std::vector<TemplateProblem>* problems);

}  // namespace zuv

#endif  // ZUV_TEMPLATES_TEMPLATE_CHECK_H
