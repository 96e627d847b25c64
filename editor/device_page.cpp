#include "editor/device_page.h"

#include <cstdio>

#include "editor/message_boxes.h"
#include "editor/page_controls.h"
#include "editor/resource.h"
#include "templates/template_rules.h"
#include "winui/bitmap.h"
#include "winui/module.h"

namespace zuv {

const char kModuleDescription[] =
    "150 kS/s 12-bit Multifunction USB Module USB Module\n\n"
    "*Portable\n"
    "*Bus-powered\n"
    "*16-channel Single-Ended / 8-channel Differential A/D Input\n"
    "*12-bit A/D converter, up to 150 KHz sampling rate\n"
    "*8DI/8DO, 2 AO and 1 32-bit counter";

namespace {

// The module's picture: its size at 96 DPI in pixels (the bitmap resource is
// twice that), and the frame it must stay within, in dialog units: the
// picture control's rectangle in pages.rc.
constexpr int kPictureWidthAt96 = 182;
constexpr int kPictureHeightAt96 = 115;
constexpr RECT kPictureFrame = {8, 8, 8 + 144, 8 + 82};

// The window property that leads the list's procedure to its page.
constexpr char kPageProperty[] = "ZUV8620Ude.DevicePage";

// The direction a key moves a list's selection in: +1 for the keys that go
// down the list, -1 for those that go up, 0 for any other.
int StepOf(WPARAM key) {
  switch (key) {
    case VK_DOWN:
    case VK_RIGHT:
    case VK_NEXT:
    case VK_HOME:  // to the first item, then onwards past used ones
      return 1;
    case VK_UP:
    case VK_LEFT:
    case VK_PRIOR:
    case VK_END:  // to the last item, then back past used ones
      return -1;
    default:
      return 0;
  }
}

}  // namespace

WINUI_BEGIN_MESSAGE_MAP(DevicePage, TemplatePage)
  WINUI_ON_COMMAND(CBN_SELCHANGE, IDC_BOARD_ID_LIST, OnSelchangeBoardId)
  WINUI_ON_MESSAGE(WM_DESTROY, OnDestroy)
WINUI_END_MESSAGE_MAP()

DevicePage::DevicePage(PageHost& host) : TemplatePage(IDD_DEVICE_PAGE, host) {}

void DevicePage::DoDataExchange() {
  BindControl(boardIdList_, IDC_BOARD_ID_LIST);
  BindControl(deviceNameText_, IDC_DEVICE_NAME);
  BindControl(descriptionText_, IDC_DESCRIPTION);
}

void DevicePage::FillControls() {
  // The list offers the identifiers a template may be given; item i shows i.
  for (uint32_t i = 0; i < kBoardIdCount; ++i) {
    char text[12];
    std::snprintf(text, sizeof(text), "%d", i);
    boardIdList_.AddString(text);
  }
  descriptionText_.SetText(kModuleDescription);
  deviceNameText_.SetText("USB-8620A");
  // The list's arrow keys are watched: a step is no choice of the identifier
  // it lands on.
  SetPropA(boardIdList_.Handle(), kPageProperty, this);
  listProc_ = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
      boardIdList_.Handle(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&DevicePage::StepKeyProc)));
  ShowPictureForScreen();
}

void DevicePage::ShowPictureForScreen() {
  HWND control = GetDlgItem(hwnd_, IDC_MODULE_PICTURE);
  HBITMAP source = reinterpret_cast<HBITMAP>(SendMessageA(control, STM_GETIMAGE, IMAGE_BITMAP, 0));
  if (control == nullptr || source == nullptr) return;
  // The size the picture has at 96 DPI, scaled as the dialogs are, but never
  // past its frame (the aspect kept).
  RECT frame = kPictureFrame;
  MapDialogRect(hwnd_, &frame);
  int width = winui::ScaleToScreen(kPictureWidthAt96);
  int height = winui::ScaleToScreen(kPictureHeightAt96);
  if (width > frame.right - frame.left) {
    height = MulDiv(height, frame.right - frame.left, width);
    width = frame.right - frame.left;
  }
  if (height > frame.bottom - frame.top) {
    width = MulDiv(width, frame.bottom - frame.top, height);
    height = frame.bottom - frame.top;
  }
  picture_ = winui::ScaleBitmap(source, width, height);
  if (picture_ == nullptr) return;
  // The control sizes itself to the new picture; the one it loaded from the
  // template is its own no more.
  HGDIOBJ loaded = reinterpret_cast<HGDIOBJ>(
      SendMessageA(control, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture_)));
  if (loaded != nullptr && loaded != picture_) DeleteObject(loaded);
}

LRESULT CALLBACK DevicePage::StepKeyProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* page = static_cast<DevicePage*>(GetPropA(hwnd, kPageProperty));
  if (page == nullptr) return DefWindowProcA(hwnd, message, wParam, lParam);
  const WNDPROC proc = page->listProc_;
  if (message == WM_NCDESTROY) {
    // The list goes: its own procedure back, the page let go.
    SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(proc));
    RemovePropA(hwnd, kPageProperty);
    return CallWindowProcA(proc, hwnd, message, wParam, lParam);
  }
  if (message != WM_KEYDOWN || StepOf(wParam) == 0) {
    return CallWindowProcA(proc, hwnd, message, wParam, lParam);
  }
  const int outer = page->stepping_;
  page->stepping_ = StepOf(wParam);
  const LRESULT result = CallWindowProcA(proc, hwnd, message, wParam, lParam);
  page->stepping_ = outer;
  return result;
}

void DevicePage::OnDestroy() {
  if (picture_ == nullptr) return;
  SendDlgItemMessageA(hwnd_, IDC_MODULE_PICTURE, STM_SETIMAGE, IMAGE_BITMAP, 0);
  DeleteObject(picture_);
  picture_ = nullptr;
}

void DevicePage::ShowTemplate(const DeviceTemplate& record) {
  // CB_SETCURSEL with a position past the end clears the selection.
  int position = record.SwitchID < kBoardIdCount ? static_cast<int>(record.SwitchID) : -1;
  boardIdList_.SetCurSel(position);
}

void DevicePage::OnSelchangeBoardId() {
  const int selected = boardIdList_.GetCurSel();
  if (selected < 0) return;
  EditSelected([&](DeviceTemplate& record) { return TakeBoardId(record, selected); });
}

bool DevicePage::TakeBoardId(DeviceTemplate& record, int selected) {
  Status refusal = SetBoardId(Host().Templates(), record, static_cast<uint32_t>(selected));
  if (IsRefusal(refusal, Rule::kSwitchIdUsed) && stepping_ != 0) {
    // An arrow step onto an identifier in use goes on to the next free one
    // in its direction; with none there, the list stays where it was.
    for (int id = selected + stepping_; id >= 0 && id < static_cast<int>(kBoardIdCount);
         id += stepping_) {
      refusal = SetBoardId(Host().Templates(), record, static_cast<uint32_t>(id));
      if (refusal.ok()) {
        boardIdList_.SetCurSel(id);
        return true;
      }
    }
    Refresh();
    return false;
  }
  if (!refusal.ok()) {
    {
      const BoxShowing showing;
      MessageBoxA(hwnd_, ReasonText(refusal).c_str(), kEditorTitle, MB_OK);
    }
    Refresh();
    return false;
  }
  // Choosing the identifier the template already has counts as an edit too.
  return true;
}

}  // namespace zuv
