// The editors whose windows exist, each with its driver file's full path and
// the thread that runs its window. A host may call DriverConfig on several
// threads, each with its own message loop: the list is shared under its lock,
// and each thread finds only its own editors, the windows it may show and
// destroy.
#ifndef ZUV_EDITOR_OPEN_EDITORS_H
#define ZUV_EDITOR_OPEN_EDITORS_H

namespace zuv {

class TemplateEditorDialog;

// Adds `editor`, open on `driverFilePath`, as an editor of the calling thread.
void RegisterOpenEditor(TemplateEditorDialog* editor, const char* driverFilePath);
// Takes `editor` off the list; nothing when it is not on it.
void UnregisterOpenEditor(const TemplateEditorDialog* editor);
// The calling thread's editor open on this driver file (letter case and the
// path's spelling aside), or null.
TemplateEditorDialog* FindOpenEditor(const char* driverFilePath);

}  // namespace zuv

#endif  // ZUV_EDITOR_OPEN_EDITORS_H
