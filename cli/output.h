// What the tool prints: the text of listings and the JSON of --json, always
// valid UTF-8 (text from the file is made so by TextToUtf8).
#ifndef ZUV_CLI_OUTPUT_H
#define ZUV_CLI_OUTPUT_H

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "device/device_check.h"
#include "templates/device_template.h"
#include "templates/template_check.h"

namespace zuv::cli {

// The tool's name, which starts each of its messages ("zuv8620: ...").
constexpr const char* kToolName = "zuv8620";

// "N: board B, channels 0xMASK (differential pairs: ...), AO0 RANGE, AO1 RANGE"
std::string ListLine(const DeviceTemplate& slot, uint32_t n);
// The lines of `show N`.
std::string ShowText(const DeviceTemplate& slot, uint32_t n);
// One value of a template as `show` words it, by the name `get` takes:
// "board-id", "channels", "differential", "ao0" or "ao1" (an output's range
// without its code); false for another name.
bool ShowField(const DeviceTemplate& slot, std::string_view field, std::string* value);
// The names ShowField takes, separated by ", ".
extern const char kShowFields[];
// The lines of `show N` for a template whose readings differ by build: each
// reading in words with the builds that read it, and its lines.
std::string ReadingsText(const std::vector<TemplateVariant>& variants, uint32_t n);
// The lines of `check`.
std::string CheckText(const std::string& encoding, const std::vector<TemplateProblem>& problems);

// Text as a terminal gets it: every control byte (C0, DEL, and C1 in UTF-8)
// and every byte that is not part of valid UTF-8 becomes an escape ("\n",
// "\033", "\377"), so that no name or text of a file can move the cursor,
// ring or recolour the terminal; valid UTF-8 text stays as it is.
std::string ShownText(std::string_view text);
// A name (a path) in messages and diff headers: as it is when ShownText
// leaves it so; else in double quotes, with '"' and '\' escaped too, as git
// quotes names.
std::string QuotedName(std::string_view name);

// One line of JSON each, with its closing newline.
std::string TemplateJson(const DeviceTemplate& slot, uint32_t n);
// With "reserved": [{"number": N, "reason": TEXT}] beside the templates when
// `reserved` holds any (those slots are not among the templates); a slot
// whose readings differ by build has them under "readings", each with
// "when", "options" (how to name such a build), "summary" and its "values"
// (name, data, line).
std::string ListJson(const std::string& path, const TemplateTable& table,
                     const std::map<uint32_t, std::string>& reserved = {},
                     const std::map<uint32_t, std::vector<TemplateVariant>>& readings = {});
std::string CheckJson(const std::string& path, const std::string& encoding,
                      const std::vector<TemplateProblem>& problems);

}  // namespace zuv::cli

#endif  // ZUV_CLI_OUTPUT_H
