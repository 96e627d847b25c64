// The editing rules of the template table, shared by the editor's pages, the
// command-line tool and the document import: each edit is a table operation
// that either makes the change or returns a refusal and changes nothing. The
// texts shown for refusals and the names of values are kept here, once.
#ifndef ZUV_TEMPLATES_TEMPLATE_RULES_H
#define ZUV_TEMPLATES_TEMPLATE_RULES_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"
#include "templates/device_template.h"

namespace zuv {

// The table's editing rules, each refusing an edit that it leaves unmade.
enum class Rule {
  kNoFreeSlot = 1,     // all 16 slots hold a template
  kSwitchIdUsed,       // a used template has that board id
  kBoardIdOutOfRange,  // a new board id above 15
  kNumberOutOfRange,   // a template number above 15
  kNoSuchTemplate,     // the slot holds no template
  kNoSuchRange,        // not one of the four analog-output ranges
};

// An edit the rules refuse is left unmade and told by a Status::Refusal
// carrying the rule and the rule's text; success when the edit was made.

// The text shown for a rule's refusal (the editor's box, the tool's message).
// kNoFreeSlot and kSwitchIdUsed give the editor's own texts.
const char* RefusalText(Rule rule);
// The refusal of `rule`, worded with RefusalText.
Status RuleRefusal(Rule rule);
// Whether `status` is the refusal of `rule`.
bool IsRefusal(const Status& status, Rule rule);

// Board ids a template may be given: 0 to kBoardIdCount - 1 (the Device
// page's list).
constexpr uint32_t kBoardIdCount = 16;

// ---------------------------------------------------------------- the table

// "Template<n>": the name the editor's tree gives slot n.
std::string TemplateName(uint32_t n);

// The editor's Add: the first free slot, with its own board id or the lowest
// one no template uses (TemplateTable::AllocateTemplate). kNoFreeSlot when all
// 16 slots are used; *n is then kTemplateCount.
Status AddTemplate(TemplateTable& table, uint32_t* n);

// Frees slot n. kNumberOutOfRange, or kNoSuchTemplate when it holds none.
Status RemoveTemplate(TemplateTable& table, uint32_t n);

// The Device page's board-id rule for `slot`, a used slot of `table`: the id
// it already has is always taken (even one above 15 that a file gave it, so
// keeping it is no edit of it); another is refused when it is above 15
// (kBoardIdOutOfRange) or a used template has it (kSwitchIdUsed).
Status SetBoardId(const TemplateTable& table, DeviceTemplate& slot, uint32_t boardId);
// The same for slot n, which must hold a template (kNoSuchTemplate).
Status SetBoardId(TemplateTable& table, uint32_t n, uint32_t boardId);

// ---------------------------------------------------------------- A/D pairs

// The AI page's pair rule: both channels of pair `pair` (0 to 7) become
// differential or single-ended together; the other bits stay. False when the
// pair already was so (nothing changed).
bool SetChannelPair(DeviceTemplate& slot, int pair, bool differential);
// Set All Differential (the mask becomes kAllDifferential) or Set All
// Single-Ended (0): the whole word, bits above 15 included.
void SetAllChannelPairs(DeviceTemplate& slot, bool differential);

// Pairs whose two bits are both set, both clear, or unequal.
std::vector<int> DifferentialPairs(uint32_t mask);
std::vector<int> SingleEndedPairs(uint32_t mask);
std::vector<int> MixedPairs(uint32_t mask);
// Whether the mask is whole pairs only: no pair half set and no bit above 15.
bool IsPairMask(uint32_t mask);

// The pair numbers separated by commas ("0,3,7"); "none" for no pair.
std::string JoinPairs(const std::vector<int>& pairs);

// "Differential" or "Single-Ended": the AI page's Config column.
const char* ChannelConfigName(bool differential);
// "0x%04X" of the mask, as listings show it.
std::string ChannelMaskText(uint32_t mask);

// ---------------------------------------------------------------- AO ranges

// The AO page's range assignment: output `output` (0 or 1) gets the ends of
// AoRangeTable[range]; its Code stays. kNoSuchRange for a range outside the
// table (nothing changes).
Status SetAoRange(DeviceTemplate& slot, int output, int range);
Status SetAoRange(AoSetting& setting, int range);

// The range a list shows for a setting: FindAoRange, or "-10 ~ 10V" for ends
// that match none (the setting itself stays as it is).
int ShownAoRange(const AoSetting& setting);

// "LOW ~ HIGHV" of a setting's ends, each as printf's %g writes it
// ("-2.5 ~ 7V"), for messages about ends that match no range.
std::string AoEndsText(const AoSetting& setting);

// The row of AoRangeTable that `text` names: its label, also without blanks
// and without the trailing "V" ("-5~5"). nullopt when it names none.
std::optional<int> ParseAoRangeLabel(std::string_view text);
// The four labels, quoted and separated by commas, for messages.
std::string AoRangeChoices();

}  // namespace zuv

#endif  // ZUV_TEMPLATES_TEMPLATE_RULES_H
