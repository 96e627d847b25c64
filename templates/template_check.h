// What `check` reports of a driver file: template sections that a load would
// take otherwise than they read, or that break the editor's rules.
#ifndef ZUV_TEMPLATES_TEMPLATE_CHECK_H
#define ZUV_TEMPLATES_TEMPLATE_CHECK_H

#include <cstdint>
#include <string>
#include <vector>

#include "device/build_condition.h"
#include "fileio/file.h"

namespace zuv {

struct TemplateProblem {
  uint32_t n;        // the template's number, kWholeFileProblem or kImageProblem
  std::string text;  // what is wrong, quoting the file's own text where it helps
  uint32_t line = 0;  // the line of the template's first header; 0 for the whole file
  // What kind of problem it is, one of kProblemKinds: a name scripts may
  // rely on, whatever the words of `text`.
  const char* kind = "";
  // The file the problem is in when it is another than the checked one (an
  // image's other .reg file), with `line` its line there.
  std::string file = {};
};

// Every kind a problem may have, with what it means, in the order `check`
// finds them.
struct ProblemKind {
  const char* name;
  const char* meaning;
};
extern const ProblemKind kProblemKinds[];
extern const size_t kProblemKindCount;

// The number of a problem of the whole file rather than of one template.
constexpr uint32_t kWholeFileProblem = 16;
// The number of what `check --image` finds in the image's other files.
constexpr uint32_t kImageProblem = 17;

// Reads the file once (under its shared lock) and lists, for the whole file,
// UTF-16 text that does not decode and NUL bytes; then, by template number:
// board ids used twice or above 15, sections without a double-word "SwitchID" (the next save
// removes them), values of the wrong type, analog-output texts that do not parse or match no range,
// and channel masks with a pair half set or bits above 15. *encoding is the name of the file's
// encoding. Returns success, or the failure of the read, naming `path` (see ErrorText).
// `driverName`, when given, names the driver whose keys the file holds.
Status CheckTemplateFile(const std::string& path, FileSystem& fileSystem,
                         std::vector<TemplateProblem>* problems, std::string* encoding,
                         const std::string& driverName = {},
                         const BuildConfiguration* configuration = nullptr);

}  // namespace zuv

#endif  // ZUV_TEMPLATES_TEMPLATE_CHECK_H
