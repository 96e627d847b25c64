#include "cli/output.h"

#include <cmath>
#include <cstdlib>

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

// The length of the valid UTF-8 sequence at text[at] (no overlong form, no
// surrogate, nothing above U+10FFFF), or 0.
size_t Utf8Length(std::string_view text, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the second byte's range
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (at + length > text.size() || byte(at + 1) < low || byte(at + 1) > high) return 0;
  for (size_t i = 2; i < length; ++i) {
    if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) return 0;
  }
  return length;
}

void AppendEscape(std::string& out, unsigned char c) {
  static const char kNames[] = "abtnvfr";  // \a (7) to \r (13)
  out += '\\';
  if (c >= 7 && c <= 13) {
    out += kNames[c - 7];
  } else {
    out += static_cast<char>('0' + (c >> 6));
    out += static_cast<char>('0' + ((c >> 3) & 7));
    out += static_cast<char>('0' + (c & 7));
  }
}

// ShownText, with '"' and '\\' escaped too when `quoting`; true when
// anything was escaped.
bool Escape(std::string_view text, bool quoting, std::string* out) {
  bool escaped = false;
  for (size_t at = 0; at < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[at]);
    const size_t length = Utf8Length(text, at);
    // C1 controls, U+0080 to U+009F, are C2 80 to C2 9F.
    const bool c1 = length == 2 && c == 0xC2 && static_cast<unsigned char>(text[at + 1]) < 0xA0;
    if (length == 0 || c < 0x20 || c == 0x7F || c1) {
      for (size_t i = 0; i < (c1 ? 2u : 1u); ++i) {
        AppendEscape(*out, static_cast<unsigned char>(text[at + i]));
      }
      at += c1 ? 2 : 1;
      escaped = true;
      continue;
    }
    if (quoting && (c == '"' || c == '\\')) *out += '\\';
    out->append(text.substr(at, length));
    at += length;
  }
  return escaped;
}

}  // namespace

std::string ShownText(std::string_view text) {
  std::string shown;
  Escape(text, false, &shown);
  return shown;
}

std::string QuotedName(std::string_view name) {
  std::string quoted = "\"";
  if (!Escape(name, true, &quoted)) return std::string(name);
  return quoted + "\"";
}

std::string ListLine(const DeviceTemplate& slot, uint32_t n) {
  return std::to_string(n) + ": board " + std::to_string(slot.SwitchID) + ", channels " +
         ChannelMaskText(slot.ChanConfig) + " (differential pairs: " +
         JoinPairs(DifferentialPairs(slot.ChanConfig)) + "), AO0 " +
         RangeText(slot.AOSettings[0]) + ", AO1 " + RangeText(slot.AOSettings[1]);
}

std::string ShowText(const DeviceTemplate& slot, uint32_t n) {
  std::string text = "template " + std::to_string(n) + "\n" +
                     "board id:           " + std::to_string(slot.SwitchID) + "\n" +
                     "channels:           " + ChannelMaskText(slot.ChanConfig) + "\n" +
                     "differential pairs: " + JoinPairs(DifferentialPairs(slot.ChanConfig)) + "\n" +
                     "single-ended pairs: " + JoinPairs(SingleEndedPairs(slot.ChanConfig)) + "\n";
  const std::vector<int> mixed = MixedPairs(slot.ChanConfig);
  if (!mixed.empty()) text += "pairs half set:     " + JoinPairs(mixed) + "\n";
  for (int i = 0; i < kAoOutputCount; ++i) {
    text += "ao" + std::to_string(i) + ":                " + RangeText(slot.AOSettings[i]) +
            " (code " + std::to_string(slot.AOSettings[i].Code) + ")\n";
  }
  return text;
}

const char kShowFields[] = "board-id, channels, differential, ao0, ao1";

bool ShowField(const DeviceTemplate& slot, std::string_view field, std::string* value) {
  if (field == "board-id") {
    *value = std::to_string(slot.SwitchID);
  } else if (field == "channels") {
    *value = ChannelMaskText(slot.ChanConfig);
  } else if (field == "differential") {
    *value = JoinPairs(DifferentialPairs(slot.ChanConfig));
  } else if (field == "ao0" || field == "ao1") {
    *value = RangeText(slot.AOSettings[field == "ao0" ? 0 : 1]);
  } else {
    return false;
  }
  return true;
}

std::string CheckText(const std::string& encoding, const std::vector<TemplateProblem>& problems) {
  std::string text = "encoding: " + encoding + "\n";
  if (problems.empty()) text += "no problems found\n";
  // A problem quotes the file's own text, which may hold any byte.
  for (const TemplateProblem& problem : problems) {
    text += (problem.n == kWholeFileProblem ? std::string("file")
             : problem.n == kImageProblem   ? std::string("image")
                                            : "template " + std::to_string(problem.n)) +
            ": " + ShownText(problem.text) + "\n";
  }
  return text;
}

std::string TemplateJson(const DeviceTemplate& slot, uint32_t n) {
  return Line(TemplateObject(slot, n));
}

std::string ReadingsText(const std::vector<TemplateVariant>& variants, uint32_t n) {
  std::string text = "template " + std::to_string(n) + " reads otherwise by build:\n";
  for (const TemplateVariant& variant : variants) {
    text += "  " + ShownText(variant.words) + ": " + ShownText(variant.summary) + "\n";
    for (const DeviceValue& value : variant.reading.values) {
      text += "    line " + std::to_string(value.line) + ": \"" + ShownText(value.name) + "\" " +
              ShownText(value.data) + "\n";
    }
  }
  const std::string way = VariantsWayForward(variants);
  if (!way.empty()) text += "To change it, " + way + ".\n";
  return text;
}

std::string ListJson(const std::string& path, const TemplateTable& table,
                     const std::map<uint32_t, std::string>& reserved,
                     const std::map<uint32_t, std::vector<TemplateVariant>>& readings) {
  Json templates = Json::array();
  for (uint32_t n = 0; n < kTemplateCount; ++n) {
    if (table[n].Used != 0 && reserved.count(n) == 0) {
      templates.push_back(TemplateObject(table[n], n));
    }
  }
  Json list = {{"file", TextToUtf8(path)}, {"templates", std::move(templates)}};
  if (!reserved.empty()) {
    Json slots = Json::array();
    for (const auto& slot : reserved) {
      Json entry = {{"number", slot.first}, {"reason", TextToUtf8(slot.second)}};
      const auto variants = readings.find(slot.first);
      if (variants != readings.end()) {
        Json list = Json::array();
        for (const TemplateVariant& variant : variants->second) {
          Json values = Json::array();
          for (const DeviceValue& value : variant.reading.values) {
            values.push_back({{"name", TextToUtf8(value.name)},
                              {"data", TextToUtf8(value.data)},
                              {"line", value.line}});
          }
          list.push_back({{"when", TextToUtf8(variant.words)},
                          {"options", TextToUtf8(variant.options)},
                          {"summary", TextToUtf8(variant.summary)},
                          {"values", std::move(values)}});
        }
        entry["readings"] = std::move(list);
      }
      slots.push_back(std::move(entry));
    }
    list["reserved"] = std::move(slots);
  }
  return Line(list);
}

std::string CheckJson(const std::string& path, const std::string& encoding,
                      const std::vector<TemplateProblem>& problems) {
  Json list = Json::array();
  for (const TemplateProblem& problem : problems) {
    // A problem of the whole file that names a line starts with "line N: ".
    uint32_t line = problem.line;
    if (line == 0 && problem.text.compare(0, 5, "line ") == 0) {
      line = static_cast<uint32_t>(std::strtoul(problem.text.c_str() + 5, nullptr, 10));
    }
    Json entry = {{"kind", problem.kind},
                  {"file", TextToUtf8(problem.file.empty() ? path : problem.file)},
                  {"line", line == 0 ? Json(nullptr) : Json(line)},
                  {"template", problem.n >= kTemplateCount ? Json(nullptr) : Json(problem.n)},
                  {"message", TextToUtf8(problem.text)}};
    if (problem.n == kImageProblem) entry["image"] = true;
    list.push_back(std::move(entry));
  }
  return Line({{"file", TextToUtf8(path)}, {"encoding", encoding}, {"problems", std::move(list)}});
}

}  // namespace zuv::cli
