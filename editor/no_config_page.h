// Tabs 3 ("DIO") and 4 ("Counter"): the module's digital lines and its
// counter have no per-template settings. Each tab has its own object; the
// page says "No Configuration Needed", touches no template and keeps the
// base ShowTemplate, which shows nothing.
#ifndef ZUV_EDITOR_NO_CONFIG_PAGE_H
#define ZUV_EDITOR_NO_CONFIG_PAGE_H

#include "editor/resource.h"
#include "editor/template_page.h"

namespace zuv {

class NoConfigPage : public TemplatePage {
 public:
  explicit NoConfigPage(PageHost& host) : TemplatePage(IDD_NO_CONFIG_PAGE, host) {}
};

}  // namespace zuv

#endif  // ZUV_EDITOR_NO_CONFIG_PAGE_H
