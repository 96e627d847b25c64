#include "templates/template_rules.h"

#include <cstdio>

namespace zuv {

const char* RefusalText(Rule rule) {
  static const std::string noSuchRange = "the range is one of " + AoRangeChoices();
  switch (rule) {
    case Rule::kNoFreeSlot:
      return "Support up to 16 Templates";
    case Rule::kSwitchIdUsed:
      return "SwitchID already used!";
    case Rule::kBoardIdOutOfRange:
      return "a board id is 0 to 15";
    case Rule::kNumberOutOfRange:
      return "a template number is 0 to 15";
    case Rule::kNoSuchTemplate:
      return "there is no such template in the file";
    case Rule::kNoSuchRange:
      return noSuchRange.c_str();
  }
  return "";
}

Status RuleRefusal(Rule rule) { return Status::Refusal(static_cast<int>(rule), RefusalText(rule)); }

bool IsRefusal(const Status& status, Rule rule) {
  return status.condition() == Condition::kRuleRefused && status.Rule() == static_cast<int>(rule);
}

std::string TemplateName(uint32_t n) { return "Template" + std::to_string(n); }

Status AddTemplate(TemplateTable& table, uint32_t* n) {
  if (!table.AllocateTemplate(n)) return RuleRefusal(Rule::kNoFreeSlot);
  return {};
}

Status RemoveTemplate(TemplateTable& table, uint32_t n) {
  if (n >= kTemplateCount) return RuleRefusal(Rule::kNumberOutOfRange);
  if (table[n].Used == 0) return RuleRefusal(Rule::kNoSuchTemplate);
  table[n].Used = 0;
  return {};
}

Status SetBoardId(const TemplateTable& table, DeviceTemplate& slot, uint32_t boardId) {
  if (boardId != slot.SwitchID) {
    if (boardId >= kBoardIdCount) return RuleRefusal(Rule::kBoardIdOutOfRange);
    // The template may take an id it holds itself in another build.
    uint32_t n = 0;
    while (n < kTemplateCount && &table[n] != &slot) ++n;
    if (table.IsSwitchIdUsed(boardId, n)) return RuleRefusal(Rule::kSwitchIdUsed);
  }
  // Choosing the identifier the template already has counts as an edit too.
  slot.SwitchID = boardId;
  return {};
}

Status SetBoardId(TemplateTable& table, uint32_t n, uint32_t boardId) {
  if (n >= kTemplateCount) return RuleRefusal(Rule::kNumberOutOfRange);
  if (table[n].Used == 0) return RuleRefusal(Rule::kNoSuchTemplate);
  return SetBoardId(table, table[n], boardId);
}

bool SetChannelPair(DeviceTemplate& slot, int pair, bool differential) {
  const uint32_t bits = PairBits(pair);
  const uint32_t wanted = differential ? bits : 0;
  if ((slot.ChanConfig & bits) == wanted) return false;
  slot.ChanConfig = (slot.ChanConfig & ~bits) | wanted;
  return true;
}

void SetAllChannelPairs(DeviceTemplate& slot, bool differential) {
  slot.ChanConfig = differential ? kAllDifferential : 0;
}

namespace {

enum class PairState { kDifferential, kSingleEnded, kMixed };

std::vector<int> PairsIn(uint32_t mask, PairState state) {
  std::vector<int> pairs;
  for (int k = 0; k < kChannelPairCount; ++k) {
    const uint32_t bits = mask & PairBits(k);
    const PairState found = bits == PairBits(k) ? PairState::kDifferential
                            : bits == 0         ? PairState::kSingleEnded
                                                : PairState::kMixed;
    if (found == state) pairs.push_back(k);
  }
  return pairs;
}

}  // namespace

std::vector<int> DifferentialPairs(uint32_t mask) {
  return PairsIn(mask, PairState::kDifferential);
}
std::vector<int> SingleEndedPairs(uint32_t mask) { return PairsIn(mask, PairState::kSingleEnded); }
std::vector<int> MixedPairs(uint32_t mask) { return PairsIn(mask, PairState::kMixed); }

bool IsPairMask(uint32_t mask) {
  return (mask & ~kAllDifferential) == 0 && MixedPairs(mask).empty();
}

std::string JoinPairs(const std::vector<int>& pairs) {
  if (pairs.empty()) return "none";
  std::string text;
  for (int k : pairs) text += (text.empty() ? "" : ",") + std::to_string(k);
  return text;
}

const char* ChannelConfigName(bool differential) {
  return differential ? "Differential" : "Single-Ended";
}

std::string ChannelMaskText(uint32_t mask) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(mask));
  return text;
}

Status SetAoRange(AoSetting& setting, int range) {
  if (range < 0 || range >= kAoRangeCount) return RuleRefusal(Rule::kNoSuchRange);
  setting.RefHigh = AoRangeTable[range].RefHigh;
  setting.RefLow = AoRangeTable[range].RefLow;
  return {};
}

Status SetAoRange(DeviceTemplate& slot, int output, int range) {
  if (output < 0 || output >= kAoOutputCount) return RuleRefusal(Rule::kNoSuchRange);
  return SetAoRange(slot.AOSettings[output], range);
}

int ShownAoRange(const AoSetting& setting) {
  const int range = FindAoRange(setting);
  return range >= 0 ? range : kAoRangeCount - 1;
}

std::string AoEndsText(const AoSetting& setting) {
  char text[64];
  std::snprintf(text, sizeof text, "%g ~ %gV", static_cast<double>(setting.RefLow),
                static_cast<double>(setting.RefHigh));
  return text;
}

std::optional<int> ParseAoRangeLabel(std::string_view text) {
  auto normal = [](std::string_view label) {
    std::string compact;
    for (char c : label) {
      if (c != ' ' && c != '\t') compact += c;
    }
    if (!compact.empty() && (compact.back() == 'V' || compact.back() == 'v')) compact.pop_back();
    return compact;
  };
  const std::string wanted = normal(text);
  if (wanted.empty()) return std::nullopt;
  for (int i = 0; i < kAoRangeCount; ++i) {
    if (normal(AoRangeTable[i].Label) == wanted) return i;
  }
  return std::nullopt;
}

std::string AoRangeChoices() {
  std::string text;
  for (int i = 0; i < kAoRangeCount; ++i) {
    text += std::string(i ? ", " : "") + "\"" + AoRangeTable[i].Label + "\"";
  }
  return text;
}

}  // namespace zuv
