// Tab 2, "AO": the voltage range of each of the two analog outputs, chosen
// from AoRangeTable; edits RefHigh and RefLow of the template's AOSettings
// (never Code).
#ifndef ZUV_EDITOR_AO_PAGE_H
#define ZUV_EDITOR_AO_PAGE_H

#include "editor/template_page.h"
#include "winui/combo_box.h"

namespace zuv {

class AoPage : public TemplatePage {
 public:
  static constexpr int kOutputCount = 2;

  explicit AoPage(PageHost& host);

 protected:
  void DoDataExchange() override;
  // Fills both lists with the ranges' labels.
  void FillControls() override;
  // Selects each output's range; a stored pair of ends that matches no range
  // shows "-10 ~ 10V" and stays in the template as it is.
  void ShowTemplate(const DeviceTemplate& record) override;

  void OnSelchangeChannel0();
  void OnSelchangeChannel1();

  WINUI_DECLARE_MESSAGE_MAP()

 private:
  // Copies the ends of the range chosen in `list` into the output's setting;
  // choosing the range already shown is an edit too.
  void TakeRange(int output, const winui::ComboBox& list);

  winui::ComboBox channel1List_;
  winui::ComboBox channel0List_;
};

}  // namespace zuv

#endif  // ZUV_EDITOR_AO_PAGE_H
