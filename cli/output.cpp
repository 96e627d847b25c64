#include "cli/output.h"

#include <cmath>
#include <sstream>

#include <nlohmann/json.hpp>

#include "templates/template_document.h"
#include "templates/template_rules.h"

namespace zuv::cli {

namespace {

using Json = nlohmann::ordered_json;

std::string RangeText(const AoSetting& setting) {
  const int range = FindAoRange(setting);
  if (range >= 0) return AoRangeTable[range].Label;
  return "no listed range (" + AoEndsText(setting) + ")";
}

// An end as the listing has always shown it: a whole number without ".0",
// null when it is no number at all.
Json EndJson(float value) {
  if (!std::isfinite(value)) return nullptr;
  if (value == std::trunc(value) && std::fabs(value) < 1e15f) {
    return static_cast<int64_t>(value);
  }
  return static_cast<double>(value);
}

Json TemplateObject(const DeviceTemplate& slot, uint32_t n) {
  Json ao = Json::array();
  for (const AoSetting& setting : slot.AOSettings) {
    const int range = FindAoRange(setting);
    ao.push_back({{"range", range >= 0 ? Json(AoRangeTable[range].Label) : Json(nullptr)},
                  {"code", setting.Code},
                  {"refHigh", EndJson(setting.RefHigh)},
                  {"refLow", EndJson(setting.RefLow)}});
  }
  return {{"number", n},
          {"boardId", slot.SwitchID},
          {"chanConfig", slot.ChanConfig},
          {"chanConfigHex", ChannelMaskText(slot.ChanConfig)},
          {"differentialPairs", DifferentialPairs(slot.ChanConfig)},
          {"ao", std::move(ao)}};
}

// Every text put in is TextToUtf8's already; replacing is only the last guard.
std::string Line(const Json& json) {
  return json.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace

std::string ListLine(const DeviceTemplate& slot, uint32_t n) {
  return std::to_string(n) + ": board " + std::to_string(slot.SwitchID) + ", channels " +
         ChannelMaskText(slot.ChanConfig) + " (differential pairs: " +
         JoinPairs(DifferentialPairs(slot.ChanConfig)) + "), AO0 " +
         RangeText(slot.AOSettings[0]) + ", AO1 " + RangeText(slot.AOSettings[1]);
}

std::string ShowText(const DeviceTemplate& slot, uint32_t n) {
  std::ostringstream text;
  text << "template " << n << "\n"
       << "board id:           " << slot.SwitchID << "\n"
       << "channels:           " << ChannelMaskText(slot.ChanConfig) << "\n"
       << "differential pairs: " << JoinPairs(DifferentialPairs(slot.ChanConfig)) << "\n"
       << "single-ended pairs: " << JoinPairs(SingleEndedPairs(slot.ChanConfig)) << "\n";
  const std::vector<int> mixed = MixedPairs(slot.ChanConfig);
  if (!mixed.empty()) text << "pairs half set:     " << JoinPairs(mixed) << "\n";
  for (int i = 0; i < 2; ++i) {
    text << "ao" << i << ":                " << RangeText(slot.AOSettings[i]) << " (code "
         << slot.AOSettings[i].Code << ")\n";
  }
  return text.str();
}

std::string CheckText(const std::string& encoding, const std::vector<TemplateProblem>& problems) {
  std::string text = "encoding: " + encoding + "\n";
  if (problems.empty()) text += "no problems found\n";
  for (const TemplateProblem& problem : problems) {
    text += (problem.n == kWholeFileProblem ? std::string("file")
                                            : "template " + std::to_string(problem.n)) +
            ": " + problem.text + "\n";
  }
  return text;
}

std::string TemplateJson(const DeviceTemplate& slot, uint32_t n) {
  return Line(TemplateObject(slot, n));
}

std::string ListJson(const std::string& path, const TemplateTable& table) {
  Json templates = Json::array();
  for (uint32_t n = 0; n < kTemplateCount; ++n) {
    if (table[n].Used != 0) templates.push_back(TemplateObject(table[n], n));
  }
  return Line({{"file", TextToUtf8(path)}, {"templates", std::move(templates)}});
}

std::string CheckJson(const std::string& path, const std::string& encoding,
                      const std::vector<TemplateProblem>& problems) {
  Json list = Json::array();
  for (const TemplateProblem& problem : problems) {
    list.push_back({{"template", problem.n == kWholeFileProblem ? Json(nullptr) : Json(problem.n)},
                    {"problem", TextToUtf8(problem.text)}});
  }
  return Line({{"file", TextToUtf8(path)}, {"encoding", encoding}, {"problems", std::move(list)}});
}

}  // namespace zuv::cli
