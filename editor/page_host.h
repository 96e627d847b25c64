// What a tab page needs of the window it lies in: the table it edits, the
// record of the template selected there, and where it reports an edit. The
// editor implements it; a test can give a page a host of its own.
#ifndef ZUV_EDITOR_PAGE_HOST_H
#define ZUV_EDITOR_PAGE_HOST_H

#include "templates/device_template.h"

namespace zuv {

class PageHost {
 public:
  virtual TemplateTable& Templates() = 0;
  // The record of the selected template, or null when none is selected.
  virtual DeviceTemplate* SelectedTemplate() = 0;
  // Called after every edit a page makes to the selected record.
  virtual void MarkModified() = 0;

 protected:
  ~PageHost() = default;
};

}  // namespace zuv

#endif  // ZUV_EDITOR_PAGE_HOST_H
