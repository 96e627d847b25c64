// Tab 1, "AI": single-ended or differential A/D inputs, the template's
// ChanConfig mask. Channels 2k and 2k+1 form pair k, and the page always
// changes both channels of a pair together.
#ifndef ZUV_EDITOR_AI_PAGE_H
#define ZUV_EDITOR_AI_PAGE_H

#include <windows.h>
#include <commctrl.h>

#include "editor/template_page.h"
#include "winui/button.h"
#include "winui/list_view.h"

namespace zuv {

class AiPage : public TemplatePage {
 public:
  static constexpr int kChannelCount = 16;

  explicit AiPage(PageHost& host);

 protected:
  void DoDataExchange() override;
  // Check boxes, the two columns and the 16 rows.
  void FillControls() override;
  // Checks the rows of the template's differential channels and unchecks the
  // others. Each check change passes through the pair rule, so a pair whose
  // two bits differ in the template is made whole (and counts as an edit).
  void ShowTemplate(const DeviceTemplate& record) override;

  // Any change of a row, its check included: a row whose check no longer
  // matches its pair's bits gives the pair its state.
  void OnItemchangedChannelList(NMHDR* header, LRESULT* result);
  void OnSetAllDifferential();
  void OnSetAllSingleEnded();

  WINUI_DECLARE_MESSAGE_MAP()

 private:
  // Checks or unchecks a row and writes its "Config" text.
  void ShowChannel(int channel, bool differential);
  // Writes the whole mask and shows it on all rows; an edit even when the
  // mask already had the value.
  void SetAll(bool differential);

  winui::Button singleEndedButton_;
  winui::Button differentialButton_;
  winui::ListView channelList_;
};

}  // namespace zuv

#endif  // ZUV_EDITOR_AI_PAGE_H
