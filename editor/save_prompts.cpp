#include "editor/save_prompts.h"

#include <vector>

#include "editor/message_boxes.h"
#include "editor/open_boxes.h"
#include "templates/template_changes_text.h"
#include "templates/template_rules.h"
#include "winui/wait_cursor.h"

namespace zuv {

const char kSaveChangesText[] = "The configuration of USB-8620 is change, save the change";
const char kSaveChangesCaption[] = "Note";
const char kSaveFailedText[] = "The templates could not be saved";
const char kSaveRetryText[] =
    "Retry: try to save again.\n"
    "Cancel: save nothing now and keep editing.";
const char kNotReadText[] =
    "The editor has not read the driver file's templates, so Save writes nothing: it would "
    "replace templates the editor never showed.\n\n"
    "Retry: read the file's templates now; the changes made in this editor are dropped.\n"
    "Cancel: save nothing and keep editing.";

namespace {

// Why a merge was refused: an added template's board id another program
// gave a template meanwhile, or no slot left for the added ones.
std::string RefusalText(const MergedTemplates& merged) {
  if (!merged.clashes.empty()) {
    const BoardIdClash& clash = merged.clashes.front();
    return TemplateName(clash.slot) + "'s board id " + std::to_string(clash.boardId) +
           " is also the board id of " + TemplateName(clash.other) +
           ", which another program saved after this editor read the file. "
           "Choose another board id and save again; nothing was written.";
  }
  return "another program added templates after this editor read the file, and no slot "
         "is left for " +
         TemplateNameList(merged.noRoom) +
         ", which you added (16 at most). Remove a template and save again; nothing "
         "was written.";
}

}  // namespace

bool AskToSaveOnClose(HWND owner) {
  const BoxShowing showing;
  return MessageBoxA(owner, kSaveChangesText, kSaveChangesCaption, MB_OKCANCEL) == IDOK;
}

bool AskToReadBeforeSave(HWND owner, const std::string& path) {
  return MessageBoxUtf8(owner, path + "\n\n" + kNotReadText,
                        MB_RETRYCANCEL | MB_ICONWARNING | MB_DEFBUTTON2) == IDRETRY;
}

std::string SaveFailedText(const Status& status) {
  const char* why;
  switch (status.condition()) {
    case Condition::kDeviceRefused:
      why =
          "the device would read the saved file otherwise than this editor shows it (the lines "
          "below). Change those templates back, or correct those lines in a text editor, and "
          "save again";
      break;
    case Condition::kReadOnly:
    case Condition::kReadOnlyAttribute:
      why = "the driver file is read-only. Make it writable (below) and save again";
      break;
    case Condition::kNotDecoded:
      why =
          "the file's text cannot be written back as it was read (below). Save the file as "
          "UTF-8 or UTF-16 in a text editor, then save here again";
      break;
    case Condition::kRuleRefused:
      why = "a template breaks one of the editor's rules (below). Change it and save again";
      break;
    default:
      why = "writing the driver file failed (below). Save again once the cause is mended";
      break;
  }
  return std::string(kSaveFailedText) + ": " + why + "; your changes are kept in the editor.";
}

bool SaveAsking(HWND owner, const std::string& path, const TemplateTable& base,
                const TemplateTable& edited, uint32_t added, FileSystem& files,
                MergedTemplates* saved, const BuildConfiguration* build,
                std::vector<std::string>* notes) {
  // How the user settled conflicting templates.
  Choices choices{};
  for (;;) {
    ChangesSaveResult result;
    {
      winui::WaitCursor cursor;
      result = SaveTemplateChanges(path, base, edited, added, choices, files, {}, build);
    }
    const Status& status = result.status;
    const MergedTemplates& merged = result.merged;
    if (status.condition() == Condition::kLockTimedOut) {
      // Told at once, not waited for: the window keeps answering.
      const int answer = MessageBoxUtf8(
          owner, path + "\n\n" + kLockedText + " Nothing was saved.\n\n" + kSaveRetryText,
          MB_RETRYCANCEL | MB_ICONWARNING);
      if (answer == IDRETRY) continue;
      return false;
    }
    if (status.condition() == Condition::kChangedOnDisk &&
        (!merged.clashes.empty() || !merged.noRoom.empty())) {
      MessageBoxUtf8(owner,
                     std::string(kSaveFailedText) + ".\n\n" + path + ": " + RefusalText(merged),
                     MB_OK | MB_ICONERROR);
      return false;
    }
    if (status.condition() == Condition::kChangedOnDisk) {
      // One question for every conflict; Cancel, which writes nothing, is the
      // default.
      const std::vector<TemplateConflict> asked = merged.Unsettled(choices);
      const int answer =
          MessageBoxUtf8(owner, path + "\n\n" + ConflictPrompt(asked, edited, merged),
                         MB_YESNOCANCEL | MB_ICONWARNING | MB_DEFBUTTON3);
      if (answer != IDYES && answer != IDNO) return false;
      for (const TemplateConflict& conflict : asked) {
        choices[conflict.slot] = answer == IDYES ? Choice::kEditor : Choice::kFile;
      }
      continue;
    }
    if (!status.ok()) {
      // The reason names the file, and for a Save the device would read
      // otherwise, the template, the value and the line.
      MessageBoxUtf8(owner, SaveFailedText(status) + "\n\n" + ErrorText(status),
                     MB_OK | MB_ICONERROR);
      return false;
    }
    *saved = merged;
    if (notes != nullptr) *notes = result.notes;
    return true;
  }
}

void ShowSaved(HWND owner, const std::string& path, const MergedTemplates& merged,
               const std::vector<std::string>& notes) {
  std::string text = MovedTemplatesNote(merged);
  if (!notes.empty()) {
    if (text.empty()) text = "Saved.";
    text += "\n\nOther builds read lines this Save changed:";
    for (const std::string& note : notes) text += "\n" + TreeNames(note);
  }
  if (!text.empty()) MessageBoxUtf8(owner, path + "\n\n" + text, MB_OK | MB_ICONINFORMATION);
}

}  // namespace zuv
