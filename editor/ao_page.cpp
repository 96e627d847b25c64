#include "editor/ao_page.h"

#include "editor/page_controls.h"
#include "editor/resource.h"
#include "templates/template_rules.h"

namespace zuv {

WINUI_BEGIN_MESSAGE_MAP(AoPage, TemplatePage)
  WINUI_ON_COMMAND(CBN_SELCHANGE, IDC_AO_CHANNEL0_RANGE, OnSelchangeChannel0)
  WINUI_ON_COMMAND(CBN_SELCHANGE, IDC_AO_CHANNEL1_RANGE, OnSelchangeChannel1)
WINUI_END_MESSAGE_MAP()

AoPage::AoPage(PageHost& host) : TemplatePage(IDD_AO_PAGE, host) {}

void AoPage::DoDataExchange() {
  BindControl(channel1List_, IDC_AO_CHANNEL1_RANGE);
  BindControl(channel0List_, IDC_AO_CHANNEL0_RANGE);
}

void AoPage::FillControls() {
  for (const AoRange& range : AoRangeTable) {
    channel0List_.AddString(range.Label);
    channel1List_.AddString(range.Label);
  }
}

void AoPage::ShowTemplate(const DeviceTemplate& record) {
  const winui::ComboBox* lists[kOutputCount] = {&channel0List_, &channel1List_};
  for (int output = 0; output < kOutputCount; ++output) {
    lists[output]->SetCurSel(ShownAoRange(record.AOSettings[output]));
  }
}

void AoPage::TakeRange(int output, const winui::ComboBox& list) {
  const int range = list.GetCurSel();
  EditSelected([&](DeviceTemplate& record) { return SetAoRange(record, output, range).ok(); });
}

void AoPage::OnSelchangeChannel0() { TakeRange(0, channel0List_); }

void AoPage::OnSelchangeChannel1() { TakeRange(1, channel1List_); }

}  // namespace zuv
