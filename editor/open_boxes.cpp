#include "editor/open_boxes.h"

#include <algorithm>
#include <utility>

#include "editor/message_boxes.h"
#include "templates/image_check.h"
#include "templates/template_changes_text.h"
#include "templates/template_rules.h"

namespace zuv {

const char kOpenFailedText[] = "The driver file could not be read; the editor shows no templates.";
const char kNotWrittenText[] =
    "The editor shows the driver file's templates, but Save will not write this file.";
const char kLockedText[] = "Another program is writing the driver file.";
const char kOpenRetryText[] =
    "Retry: read the file's templates again.\n"
    "Cancel: keep the editor open without them; Save writes nothing until they are read.";
const char kCheckProblemsText[] =
    "The device reads this file otherwise than the editor shows it, or its templates break the "
    "editor's rules (what zuv8620 check reports):";
const char kCheckAdviceText[] =
    "The editor shows each template as it loads it; a Save writes the templates you change as "
    "shown here. To keep what the device reads, correct these lines of the file in a text "
    "editor before you change these templates here (zuv8620 check lists them again).";
const char kOpenNoRetryText[] =
    "The editor stays open without them; Save writes nothing until they are read.";
const char kImageFilesText[] =
    "Other .reg files of the image set or delete this driver's template keys (what zuv8620 "
    "check --image reports); the image build merges them with this file:";
const char kImageAdviceText[] =
    "To change what the device reads, edit the template in the file named above, or remove "
    "its lines there so that this file's values reach the device. The tree marks with + the "
    "templates the device reads from another file.";

namespace {

// The lines of `check` (as zuv8620 check prints them) for the box at open,
// at most kShown of them.
std::string ProblemLines(const std::vector<TemplateProblem>& problems) {
  constexpr size_t kShown = 12;
  std::string text;
  for (size_t i = 0; i < problems.size() && i < kShown; ++i) {
    const TemplateProblem& problem = problems[i];
    text += (problem.n == kWholeFileProblem
                 ? std::string(problem.text.compare(0, 5, "line ") == 0 ? "" : "file: ")
                 : "line " + std::to_string(problem.line) + ": " + TemplateName(problem.n) + ": ") +
            TreeNames(problem.text) + "\n";
  }
  if (problems.size() > kShown) {
    text += "... and " + std::to_string(problems.size() - kShown) + " more\n";
  }
  return text;
}

}  // namespace

Status LoadForEditor(TemplateTable& table, const std::string& path, FileSystem& files,
                     Status* notWritten, const BuildConfiguration* build,
                     std::vector<UnshownTemplate>* unshown) {
  Status status;
  try {
    status = LoadTemplateTableReporting(table, path, files, {}, notWritten, unshown, build);
  } catch (...) {
    status = Status::Of(Condition::kNotWritten, "no memory to read the file");
  }
  if (!status.ok()) {
    table.Clear();
    for (uint32_t n = 0; n < kTemplateCount; ++n) table[n].SwitchID = n;
  }
  return status;
}

std::vector<TemplateProblem> ProblemsToTell(const std::string& path, FileSystem& files,
                                            const Status& notWritten,
                                            const BuildConfiguration* build) {
  std::vector<TemplateProblem> problems;
  std::string encoding;
  try {
    if (!CheckTemplateFile(path, files, &problems, &encoding, {}, build).ok()) return {};
  } catch (...) {
    return {};
  }
  if (notWritten.ok()) return problems;
  problems.erase(std::remove_if(problems.begin(), problems.end(),
                                [](const TemplateProblem& problem) {
                                  const std::string tail = "; no change is written to this file";
                                  return problem.n == kWholeFileProblem &&
                                         problem.text.size() >= tail.size() &&
                                         problem.text.compare(problem.text.size() - tail.size(),
                                                              tail.size(), tail) == 0;
                                }),
                 problems.end());
  return problems;
}

void ImageCheckResult::Put(ImageCheckOutcome outcome) {
  const std::lock_guard<std::mutex> hold(mutex_);
  outcome_ = std::move(outcome);
}

ImageCheckOutcome ImageCheckResult::Take() {
  const std::lock_guard<std::mutex> hold(mutex_);
  ImageCheckOutcome outcome = std::move(outcome_);
  outcome_ = {};
  return outcome;
}

void CheckImageFor(HWND window, UINT message, const std::string& path,
                   std::shared_ptr<ImageCheckResult> result) {
  // The stop flag shares the result's life (the aliasing constructor).
  std::shared_ptr<std::atomic<bool>> stop(result, &result->stop);
  CheckImageInBackground(
      path,
      [window, message, result](ImageCheckOutcome outcome) {
        if (outcome.text.empty()) return;
        result->Put(std::move(outcome));
        PostMessageA(window, message, 0, 0);
      },
      std::move(stop));
}

bool AskAboutUnreadFile(HWND owner, const std::string& path, const Status& status) {
  const bool locked = status.condition() == Condition::kLockTimedOut;
  const std::string reason =
      locked ? path + "\n\n" + kLockedText + " " + "The editor has not read its templates."
             : std::string(kOpenFailedText) + "\n\n" + ErrorText(status);
  // Retry only where reading again can succeed: a lock or a sharing
  // violation another program holds a moment.
  const uint32_t code = status.SystemCode();
  if (!locked && code != ERROR_SHARING_VIOLATION && code != ERROR_LOCK_VIOLATION) {
    MessageBoxUtf8(owner, reason + "\n\n" + kOpenNoRetryText, MB_OK | MB_ICONWARNING);
    return false;
  }
  return MessageBoxUtf8(owner, reason + "\n\n" + kOpenRetryText, MB_RETRYCANCEL | MB_ICONWARNING) ==
         IDRETRY;
}

void ShowOpenProblems(HWND owner, const std::string& path, const Status& notWritten,
                      const std::vector<TemplateProblem>& problems) {
  std::string text;
  if (!notWritten.ok()) text = std::string(kNotWrittenText) + "\n\n" + ErrorText(notWritten);
  if (!problems.empty()) {
    if (text.empty()) text = path;
    text += std::string("\n\n") + kCheckProblemsText + "\n\n" + ProblemLines(problems) + "\n" +
            kCheckAdviceText;
  }
  if (!text.empty()) MessageBoxUtf8(owner, text, MB_OK | MB_ICONWARNING);
}

void ShowImageFiles(HWND owner, const std::string& path, const std::string& text) {
  MessageBoxUtf8(owner, path + "\n\n" + kImageFilesText + "\n\n" + text + "\n" + kImageAdviceText,
                 MB_OK | MB_ICONWARNING);
}

}  // namespace zuv
