// Tab 0, "Device": the picture and description of the module, and the
// template's board identifier (SwitchID, shown as "BoardID", 0 to 15).
#ifndef ZUV_EDITOR_DEVICE_PAGE_H
#define ZUV_EDITOR_DEVICE_PAGE_H

#include "editor/template_page.h"
#include "winui/combo_box.h"
#include "winui/static_text.h"

namespace zuv {

// The description of the module shown below its picture.
extern const char kModuleDescription[];

class DevicePage : public TemplatePage {
 public:
  explicit DevicePage(PageHost& host);

 protected:
  void DoDataExchange() override;
  // Fills the list and the texts, watches the list's arrow keys and scales
  // the picture.
  void FillControls() override;
  // Selects the item whose position is the template's SwitchID; an
  // identifier above 15 leaves the list without selection.
  void ShowTemplate(const DeviceTemplate& record) override;

  // Lets go of the picture.
  void OnDestroy();

  // A board identifier chosen in the list: taken unless another used
  // template has it, in which case a box says so and the list goes back. A
  // step of the list's arrow keys (Up, Down, Left, Right, Page Up, Page Down,
  // Home, End) passes over identifiers other templates use, to the next free
  // one in its direction (or stays where it was when there is none), so the
  // arrows reach every free identifier.
  void OnSelchangeBoardId();

  WINUI_DECLARE_MESSAGE_MAP()

 private:
  winui::ComboBox boardIdList_;
  winui::StaticText deviceNameText_;
  winui::StaticText descriptionText_;
  // The module's picture at the screen's size, shown by the picture control.
  HBITMAP picture_ = nullptr;

  // The list's own window procedure, around which StepKeyProc runs, and
  // the direction of the arrow key the list is handling (+1, -1; 0: none).
  WNDPROC listProc_ = nullptr;
  int stepping_ = 0;
  static LRESULT CALLBACK StepKeyProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  // Gives `record` the identifier at position `selected` of the list, or
  // refuses it as OnSelchangeBoardId says; true when the record took one.
  bool TakeBoardId(DeviceTemplate& record, int selected);

  // Scales the module's picture to the screen's DPI (within its frame) and
  // shows it.
  void ShowPictureForScreen();
};

}  // namespace zuv

#endif  // ZUV_EDITOR_DEVICE_PAGE_H
