// What the tool prints: the text of listings and the JSON of --json, always
// valid UTF-8 (text from the file is made so by TextToUtf8).
#ifndef ZUV_CLI_OUTPUT_H
#define ZUV_CLI_OUTPUT_H

#include <cstdint>
#include <string>
#include <vector>

#include "templates/device_template.h"
#include "templates/template_check.h"

namespace zuv::cli {

// "N: board B, channels 0xMASK (differential pairs: ...), AO0 RANGE, AO1 RANGE"
std::string ListLine(const DeviceTemplate& slot, uint32_t n);
// The lines of `show N`.
std::string ShowText(const DeviceTemplate& slot, uint32_t n);
// The lines of `check`.
std::string CheckText(const std::string& encoding, const std::vector<TemplateProblem>& problems);

// One line of JSON each, with its closing newline.
std::string TemplateJson(const DeviceTemplate& slot, uint32_t n);
std::string ListJson(const std::string& path, const TemplateTable& table);
std::string CheckJson(const std::string& path, const std::string& encoding,
                      const std::vector<TemplateProblem>& problems);

}  // namespace zuv::cli

#endif  // ZUV_CLI_OUTPUT_H
