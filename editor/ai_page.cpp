#include "editor/ai_page.h"

#include <cstdio>

#include "editor/page_controls.h"
#include "editor/resource.h"
#include "templates/template_rules.h"
#include "winui/bitmap.h"

namespace zuv {

namespace {

constexpr int kConfigColumn = 1;

}  // namespace

WINUI_BEGIN_MESSAGE_MAP(AiPage, TemplatePage)
  WINUI_ON_NOTIFY(LVN_ITEMCHANGED, IDC_CHANNEL_LIST, OnItemchangedChannelList)
  WINUI_ON_COMMAND(BN_CLICKED, IDC_SET_ALL_DIFFERENTIAL, OnSetAllDifferential)
  WINUI_ON_COMMAND(BN_CLICKED, IDC_SET_ALL_SINGLE_ENDED, OnSetAllSingleEnded)
WINUI_END_MESSAGE_MAP()

AiPage::AiPage(PageHost& host) : TemplatePage(IDD_AI_PAGE, host) {}

void AiPage::DoDataExchange() {
  BindControl(singleEndedButton_, IDC_SET_ALL_SINGLE_ENDED);
  BindControl(differentialButton_, IDC_SET_ALL_DIFFERENTIAL);
  BindControl(channelList_, IDC_CHANNEL_LIST);
}

void AiPage::FillControls() {
  channelList_.SetExtendedStyle(0, LVS_EX_CHECKBOXES);
  // Column widths in pixels at 96 DPI, as wide again as the screen's DPI
  // makes the texts.
  channelList_.InsertColumn(0, "Channel", LVCFMT_LEFT, winui::ScaleToScreen(80), 0);
  channelList_.InsertColumn(1, "Config", LVCFMT_LEFT, winui::ScaleToScreen(100), 1);
  for (int n = 0; n < kChannelCount; ++n) {
    char text[16];
    std::snprintf(text, sizeof(text), "Channel%d", n);
    channelList_.InsertItem(n, text);
  }
}

void AiPage::ShowChannel(int channel, bool differential) {
  channelList_.SetCheck(channel, differential);
  channelList_.SetItemText(channel, kConfigColumn,
                           ChannelConfigName(differential));
}

void AiPage::ShowTemplate(const DeviceTemplate& record) {
  // The check changes below come back through the pair rule, on the same
  // record.
  for (int n = 0; n < kChannelCount; ++n) {
    // Read afresh for every row: the pair rule may have changed the mask.
    ShowChannel(n, (record.ChanConfig >> n) & 1u);
  }
}

void AiPage::OnItemchangedChannelList(NMHDR* header, LRESULT* result) {
  *result = 0;
  const NMLISTVIEW* change = reinterpret_cast<const NMLISTVIEW*>(header);
  const int row = change->iItem;
  if (row < 0 || row >= kChannelCount) return;
  EditSelected([&](DeviceTemplate& record) {
    const bool checked = channelList_.GetCheck(row);
    // Also how the nested notifications of the changes below end.
    if (!SetChannelPair(record, row / 2, checked)) return false;
    const int first = row & ~1;  // the pair's first channel
    ShowChannel(first, checked);
    ShowChannel(first + 1, checked);
    return true;
  });
}

void AiPage::SetAll(bool differential) {
  EditSelected([&](DeviceTemplate& record) {
    // The mask first, so that the rows' notifications find nothing to change.
    SetAllChannelPairs(record, differential);
    for (int n = 0; n < kChannelCount; ++n) ShowChannel(n, differential);
    return true;
  });
}

void AiPage::OnSetAllDifferential() { SetAll(true); }

void AiPage::OnSetAllSingleEnded() { SetAll(false); }

}  // namespace zuv
