#include "editor/template_page.h"

#include "editor/template_editor_dialog.h"

namespace zuv {

TemplatePage::TemplatePage(UINT templateId, TemplateEditorDialog* parent)
    : winui::Dialog(templateId, parent->Handle()), parent_(parent) {}

BOOL TemplatePage::CreatePage() { return Create() ? TRUE : FALSE; }

void TemplatePage::SetTemplate(DeviceTemplate*) {}

void TemplatePage::PostNcDestroy() { delete this; }

}  // namespace zuv
