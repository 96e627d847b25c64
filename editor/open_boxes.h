// The editor's boxes as it opens a driver file: the file not read (with
// Retry where reading again can succeed), the file Save never writes, what
// `check` reports of it, and the image's other .reg files that touch the
// driver's template keys.
#ifndef ZUV_EDITOR_OPEN_BOXES_H
#define ZUV_EDITOR_OPEN_BOXES_H

#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "templates/image_check.h"
#include "templates/template_check.h"
#include "templates/template_file.h"

namespace zuv {

// The texts the user sees.
extern const char kOpenFailedText[];     // first line of the box of a file not read at open
extern const char kNotWrittenText[];     // first line of the box of a file Save never writes
extern const char kLockedText[];         // first line of the box of a lock another program holds
extern const char kOpenRetryText[];      // what Retry and Cancel do in the box at open
extern const char kOpenNoRetryText[];    // what the editor does where Retry cannot help
extern const char kCheckProblemsText[];  // first line of the box of what `check` reports
extern const char kCheckAdviceText[];    // what to do about it
extern const char kImageFilesText[];     // first line of the box of the image's other files
extern const char kImageAdviceText[];    // what to do about them

// Loads `table` from the file at `path` through `files`
// (LoadTemplateTableReporting, *notWritten as there): success, or why the file
// could not be read (a failure naming it), and then every slot is free, since
// nothing was read.
// `build`, when given, is the build the file is read for; *unshown gets why
// each reserved template is reserved.
Status LoadForEditor(TemplateTable& table, const std::string& path, FileSystem& files,
                     Status* notWritten, const BuildConfiguration* build = nullptr,
                     std::vector<UnshownTemplate>* unshown = nullptr);

// What `check` reports of the file at `path` (read through `files`), to be
// told once at open: none when check cannot read it (another program took its
// lock meanwhile); when `notWritten` is a failure, without the lines its box
// says already (the encoding, or the text that does not decode).
std::vector<TemplateProblem> ProblemsToTell(const std::string& path, FileSystem& files,
                                            const Status& notWritten,
                                            const BuildConfiguration* build = nullptr);

// The box of the driver file at `path` not read (`status`, a failure):
// Retry offered only for a lock or a sharing violation another program holds
// a moment. True when the user chose Retry.
bool AskAboutUnreadFile(HWND owner, const std::string& path, const Status& status);

// The box of a file Save never writes (`notWritten` a failure) and of what
// `check` reports (`problems`), one box for both; none when neither.
void ShowOpenProblems(HWND owner, const std::string& path, const Status& notWritten,
                      const std::vector<TemplateProblem>& problems);

// What the image walk's thread hands the window, shared by both: the thread
// leaves its text here and posts a message that carries nothing, so that a
// message the closing window never gets leaves nothing behind.
class ImageCheckResult {
 public:
  std::atomic<bool> stop{false};  // set as the window goes: the walk ends early
  void Put(ImageCheckOutcome outcome);
  // The outcome left, once; its text empty when there is none.
  ImageCheckOutcome Take();

 private:
  std::mutex mutex_;
  ImageCheckOutcome outcome_;
};

// Looks on a thread of its own for the image's other .reg files that touch
// the driver's template keys; when there are, leaves what it found in
// `result` and posts `message` to `window`. Ends early once result->stop is
// set.
void CheckImageFor(HWND window, UINT message, const std::string& path,
                   std::shared_ptr<ImageCheckResult> result);

// The box naming the image's other .reg files (`text`, as the image walk
// words them), with what to do about them.
void ShowImageFiles(HWND owner, const std::string& path, const std::string& text);

}  // namespace zuv

#endif  // ZUV_EDITOR_OPEN_BOXES_H
