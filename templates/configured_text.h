// A driver file's text as one build configuration reads it, for the store.
// The store reads sections and values with no regard to the build's
// conditions; to load and edit the templates one build reads, it is given
// the text with each line that build does not read replaced by a
// placeholder, a "; @" line that the store keeps and never reads as a key or
// a value. After the Save's steps the placeholders get their lines back.
#ifndef ZUV_TEMPLATES_CONFIGURED_TEXT_H
#define ZUV_TEMPLATES_CONFIGURED_TEXT_H

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/device_check.h"
#include "device/device_view.h"

namespace zuv {

struct ConfiguredText {
  std::string text;                     // the text the store gets
  std::vector<std::string_view> lines;  // the lines replaced, in order (into the text masked)
  std::string mark;                     // the placeholders' word, found nowhere in that text
  // From the line that ends the block holding the driver's templates on: kept
  // from the store, so that a template it adds goes at the block's end.
  std::string_view tail;
};

// `text` with every line `view` (a reading of it under one configuration)
// does not read replaced, but for blank lines and the build's own lines,
// which every build keeps. Each placeholder keeps its line's end. With
// `keys`, when every template header the build reads stands in one block,
// the text stops before that block's end line (which starts the tail).
ConfiguredText HideUnreadLines(std::string_view text, const DeviceView& view,
                               const TemplateKeys* keys = nullptr);

// `edited` (the store's text after the Save's steps) with the lines put back;
// nullopt when the placeholders are not all there, once each, in order: the
// store then changed a line the build does not read, and the Save must not
// be written.
std::optional<std::string> RestoreUnreadLines(std::string_view edited,
                                              const ConfiguredText& configured);

}  // namespace zuv

#endif  // ZUV_TEMPLATES_CONFIGURED_TEXT_H
