#include "editor/device_page.h"

#include <cstdio>

#include "editor/page_controls.h"
#include "editor/resource.h"
#include "winui/module.h"

namespace zuv {

const char kSwitchIdUsedText[] = "SwitchID already used!";
const char kModuleDescription[] =
    "150 kS/s 12-bit Multifunction USB Module USB Module\n\n"
    "*Portable\n"
    "*Bus-powered\n"
    "*16-channel Single-Ended / 8-channel Differential A/D Input\n"
    "*12-bit A/D converter, up to 150 KHz sampling rate\n"
    "*8DI/8DO, 2 AO and 1 32-bit counter";

namespace {

// The list offers the identifiers 0 to 15; item i shows i.
constexpr int kBoardIdCount = 16;

}  // namespace

WINUI_BEGIN_MESSAGE_MAP(DevicePage, TemplatePage)
  WINUI_ON_COMMAND(CBN_SELCHANGE, IDC_BOARD_ID_LIST, OnSelchangeBoardId)
WINUI_END_MESSAGE_MAP()

DevicePage::DevicePage(PageHost& host) : TemplatePage(IDD_DEVICE_PAGE, host) {}

void DevicePage::DoDataExchange() {
  BindControl(boardIdList_, IDC_BOARD_ID_LIST);
  BindControl(deviceNameText_, IDC_DEVICE_NAME);
  BindControl(descriptionText_, IDC_DESCRIPTION);
}

BOOL DevicePage::OnInitDialog() {
  TemplatePage::OnInitDialog();
  for (int i = 0; i < kBoardIdCount; ++i) {
    char text[12];
    std::snprintf(text, sizeof(text), "%d", i);
    boardIdList_.AddString(text);
  }
  descriptionText_.SetText(kModuleDescription);
  deviceNameText_.SetText("USB-8620A");
  return TRUE;
}

void DevicePage::Refresh() {
  const DeviceTemplate* deviceTemplate = Host().SelectedTemplate();
  if (deviceTemplate == nullptr) return;
  // CB_SETCURSEL with a position past the end clears the selection.
  int position = deviceTemplate->SwitchID < static_cast<uint32_t>(kBoardIdCount)
                     ? static_cast<int>(deviceTemplate->SwitchID)
                     : -1;
  boardIdList_.SetCurSel(position);
}

void DevicePage::OnSelchangeBoardId() {
  int selected = boardIdList_.GetCurSel();
  DeviceTemplate* deviceTemplate = Host().SelectedTemplate();
  if (deviceTemplate == nullptr || selected < 0) return;
  uint32_t v = static_cast<uint32_t>(selected);
  if (v != deviceTemplate->SwitchID && Host().Templates().IsSwitchIdUsed(v)) {
    MessageBoxA(hwnd_, kSwitchIdUsedText, winui::ModuleName(), MB_OK);
    Refresh();
    return;
  }
  // Choosing the identifier the template already has counts as an edit too.
  deviceTemplate->SwitchID = v;
  Host().MarkModified();
}

}  // namespace zuv
