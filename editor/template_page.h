// The base of the editor's tab pages (Device, AI, AO, DIO, Counter).
#ifndef ZUV_EDITOR_TEMPLATE_PAGE_H
#define ZUV_EDITOR_TEMPLATE_PAGE_H

#include "templates/device_template.h"
#include "winui/dialog.h"

namespace zuv {

class TemplateEditorDialog;

// A page is a modeless child dialog placed over the editor's tab control. The
// editor creates the page objects and their windows, shows the page of the
// current tab while a template is selected, and binds it with SetTemplate;
// a page edits the bound record in place and reports each edit through
// ActiveEditor->MarkModified(). A page object deletes itself after its window
// is destroyed (with the editor's).
class TemplatePage : public winui::Dialog {
 public:
  TemplatePage(UINT templateId, TemplateEditorDialog* parent);

  // Creates the page's window from its own dialog template as a child of the
  // editor. Nonzero on success.
  virtual BOOL CreatePage();
  // Binds the page to a template (null: none) and shows its values. The base
  // version does nothing: a page without settings looks the same for all.
  virtual void SetTemplate(DeviceTemplate* deviceTemplate);

  TemplateEditorDialog* Editor() const { return parent_; }

 protected:
  void PostNcDestroy() override;

 private:
  TemplateEditorDialog* parent_;
};

}  // namespace zuv

#endif  // ZUV_EDITOR_TEMPLATE_PAGE_H
