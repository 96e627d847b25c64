#include "editor/template_page.h"

namespace zuv {

TemplatePage::TemplatePage(UINT templateId, PageHost& host)
    : winui::Dialog(templateId, nullptr), host_(host) {}

BOOL TemplatePage::CreatePage(HWND parent) { return Create(parent) ? TRUE : FALSE; }

void TemplatePage::Refresh() {}

}  // namespace zuv
