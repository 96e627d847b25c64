// The editor's Save as the user meets it: the merge of the edits into the
// file's templates as they are now, with the boxes that ask about conflicts,
// tell a lock another program holds (with Retry) and name a failure; Save's
// box while the file was never read; the close prompt.
#ifndef ZUV_EDITOR_SAVE_PROMPTS_H
#define ZUV_EDITOR_SAVE_PROMPTS_H

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "templates/device_template.h"
#include "templates/template_changes.h"

namespace zuv {

// The texts the user sees.
extern const char kSaveChangesText[];     // the close prompt
extern const char kSaveChangesCaption[];  // "Note"
extern const char kSaveFailedText[];      // how a failed Save's box begins
extern const char kSaveRetryText[];       // what Retry and Cancel do in Save's lock box
extern const char kNotReadText[];         // Save's box while the file's templates were never read

// The close prompt: true when the user chose to save (OK).
bool AskToSaveOnClose(HWND owner);

// Save's box while the file at `path` was never read: true when the user
// chose Retry (read the file's templates now, the edits dropped).
bool AskToReadBeforeSave(HWND owner, const std::string& path);

// Applies what the user did (`edited` against `base`, `added`) to the
// templates of the file at `path` as they are now, under its lock, through
// `files` (which bounds the wait), with the wait cursor. Asks first, in one
// box, about the templates both changed or one removed and the other changed
// since `base` (Cancel is the default; No keeps the file's version of those
// only). A lock another program holds is told at once, with Retry. On failure
// a box owned by `owner` names the file and the reason. True with *saved the
// merge the file now holds, and *notes what the Save did to other builds;
// false when nothing was saved. `build`, when given, is the build the file is
// saved for (see UpdateTemplateTable).
bool SaveAsking(HWND owner, const std::string& path, const TemplateTable& base,
                const TemplateTable& edited, uint32_t added, FileSystem& files,
                MergedTemplates* saved, const BuildConfiguration* build = nullptr,
                std::vector<std::string>* notes = nullptr);

// The first lines of a failed Save's box: what was refused and why, and what
// the user can do, before the reason's own lines (ErrorText).
std::string SaveFailedText(const Status& status);

// After a Save: one box about added templates that took other slots or board
// ids than the editor showed, and about the other builds that read the lines
// a Save for one build changed (`notes`); none when there is neither.
void ShowSaved(HWND owner, const std::string& path, const MergedTemplates& merged,
               const std::vector<std::string>& notes);

}  // namespace zuv

#endif  // ZUV_EDITOR_SAVE_PROMPTS_H
