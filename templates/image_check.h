// What the other .reg files of an OS image do to a driver's templates. The
// image build merges every .reg file of the image into one registry
// (platform.reg includes driver files with #include, project.reg may
// override them), so a template key set or deleted in another file may be
// what the device reads. The walk over the image's folders is bounded, reads
// only, and follows no symbolic link; each .reg file is decoded and only its
// header lines ("[" first on the line) are looked at.
#ifndef ZUV_TEMPLATES_IMAGE_CHECK_H
#define ZUV_TEMPLATES_IMAGE_CHECK_H

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "device/device_check.h"
#include "fileio/file.h"
#include "templates/device_template.h"
#include "templates/template_check.h"

namespace zuv {

// How far the walk goes: files and folders looked at, folders below the
// root, and the size of a .reg file read.
struct ImageLimits {
  size_t entries = 200000;
  size_t depth = 24;
  uint64_t fileBytes = 16u << 20;
};

// A header line of another .reg file that sets or deletes one of the
// driver's template keys, or deletes a key above them (the driver's key).
struct ImageKeyLine {
  std::string file;  // relative to the image root
  size_t line;       // 1-based
  bool deletes;      // "[-KEY]"
  std::string key;   // the key path as written, without "[" "-" "]"
  int n;             // the template's number, or -1 for a key above the templates
};

struct ImageReport {
  std::vector<ImageKeyLine> lines;  // by file, then line
  // Folders and files not read (a limit reached, no permission), in words.
  std::vector<std::string> notes;
  size_t regFiles = 0;  // .reg files read
  // Read in the build's merge order, each template value the device reads
  // from a file other than the driver file, in words with its file and line.
  std::vector<std::string> readings;
  // The same by template: "\"ChanConfig\" from project.reg, line 4", joined
  // with "; "; empty for a template read wholly from the driver file.
  std::array<std::string, kTemplateCount> readFrom;
};

// Walks the folders under `root` (at most `limits`) and reads every .reg
// file but `driverFile` (compared by real path) for the header lines of the
// driver's keys. Then, when the walk found the driver file, reads the files
// as the build merges them, under `configuration` (every build when null):
// common.reg first; then the other files by path, the driver file among
// them; then platform.reg; project.reg last; a file another one #includes
// only at that line, a later setting winning. Stops early, with a note,
// once `stop` is set. A root that cannot be listed is the failure.
Status CheckImage(FileSystem& fileSystem, const std::string& root, const std::string& driverFile,
                  const TemplateKeys& keys, ImageReport* report, const ImageLimits& limits = {},
                  const std::atomic<bool>* stop = nullptr,
                  const BuildConfiguration* configuration = nullptr);

// check's lines of the report: one a key line, one a note, and when there is
// any key line, one saying that the build's merge order decides. Numbered
// kImageProblem.
std::vector<TemplateProblem> ImageProblems(const ImageReport& report);

// The image root that `path` lies in: the path up to the folder that holds
// "Public/Korvalent/Device_Drivers" (either separator, letter case aside,
// the last such), ending with its separator; empty when there is none.
std::string ImageRootOf(const std::string& path);

// What the editor tells of the other .reg files under the image root of
// the driver file at `path`: the lines of its box (empty when there is no
// root or no such file; at most 12 key lines named), and for each template
// the values the device reads from another file (ImageReport::readFrom).
struct ImageCheckOutcome {
  std::string text;
  std::array<std::string, kTemplateCount> readFrom;
};
ImageCheckOutcome ImageCheckText(FileSystem& fileSystem, const std::string& path,
                                 const std::atomic<bool>* stop = nullptr);

// ImageCheckText on a thread of its own, over the platform's files, so that
// a root holding a whole platform tree never holds up the caller; `done`
// gets the outcome on that thread. The walk ends early once `stop` is set.
void CheckImageInBackground(const std::string& path, std::function<void(ImageCheckOutcome)> done,
                            std::shared_ptr<std::atomic<bool>> stop);

}  // namespace zuv

#endif  // ZUV_TEMPLATES_IMAGE_CHECK_H
