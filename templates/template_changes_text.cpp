#include "templates/template_changes_text.h"

#include <cctype>

#include "regfile/text_encoding.h"
#include "templates/template_rules.h"

namespace zuv {

namespace {

// "a", "a and b", "a, b and c".
std::string Joined(const std::vector<std::string>& items) {
  std::string text;
  for (size_t i = 0; i < items.size(); ++i) {
    if (i != 0) text += i + 1 == items.size() ? " and " : ", ";
    text += items[i];
  }
  return text;
}

// What each side did to the template, as the prompt's heading of it says.
std::string WhatWasDone(const TemplateConflict& conflict) {
  const std::string name = TemplateName(conflict.slot);
  const std::string values = ValueNames(conflict.values);
  switch (conflict.kind) {
    case ConflictKind::kTheyRemoved:
      return name + " was removed by another program; you changed its " + values + ".";
    case ConflictKind::kUserRemoved:
      return name + " was changed by another program (its " + values + "); you removed it" +
             (conflict.replaced ? " and added a new " + name + "." : ".");
    case ConflictKind::kBothChanged:
      break;
  }
  return name + ": you and another program changed its " + values + ".";
}

// What Yes (the editor's version) or No (the file's) makes of a template.
std::string Outcome(const TemplateConflict& conflict, bool editors) {
  switch (conflict.kind) {
    case ConflictKind::kTheyRemoved:
      return editors ? "kept with your values" : "left removed";
    case ConflictKind::kUserRemoved:
      // A new template the user added in the slot is saved either way: in
      // the slot, or (No) in the first free one.
      if (conflict.replaced) {
        return editors ? "replaced by your new one"
                       : "kept with the other program's values, your new one in a free slot";
      }
      return editors ? "removed" : "kept with the other program's values";
    case ConflictKind::kBothChanged:
      break;
  }
  return editors ? "with your values" : "with the other program's values";
}

// "Template1 and Template3 with your values, Template2 removed": the
// templates grouped by what the answer makes of them, in the prompt's order.
std::string Outcomes(const std::vector<TemplateConflict>& conflicts, bool editors) {
  std::vector<std::pair<std::string, std::vector<uint32_t>>> groups;
  for (const TemplateConflict& conflict : conflicts) {
    const std::string outcome = Outcome(conflict, editors);
    auto group = groups.begin();
    while (group != groups.end() && group->first != outcome) ++group;
    if (group == groups.end()) group = groups.insert(groups.end(), {outcome, {}});
    group->second.push_back(conflict.slot);
  }
  // One answer for more than a few templates names them by their count.
  if (groups.size() == 1 && conflicts.size() > 3) {
    return "all " + std::to_string(conflicts.size()) + " templates " + groups[0].first;
  }
  std::vector<std::string> items;
  for (const auto& [outcome, slots] : groups)
    items.push_back(TemplateNameList(slots) + " " + outcome);
  return Joined(items);
}

}  // namespace

std::string ValueNames(uint32_t values) {
  std::vector<std::string> names;
  for (const TemplateValueInfo& value : kTemplateValues) {
    if ((values & value.bit) != 0) names.push_back(value.shownAs);
  }
  return Joined(names);
}

std::string ValueText(const DeviceTemplate& slot, TemplateValue bit) {
  for (const TemplateValueInfo& value : kTemplateValues) {
    if (value.bit != bit) continue;
    switch (value.kind) {
      case ValueKind::kBoardId:
        return std::to_string(slot.*value.dword);
      case ValueKind::kChannelMask: {
        const uint32_t mask = slot.*value.dword;
        return IsPairMask(mask) ? JoinPairs(DifferentialPairs(mask)) : ChannelMaskText(mask);
      }
      case ValueKind::kAoRange: {
        const AoSetting& setting = slot.AOSettings[value.output];
        const int range = FindAoRange(setting);
        return range >= 0 ? AoRangeTable[range].Label : AoEndsText(setting);
      }
    }
  }
  return {};
}

std::string ConflictPrompt(const std::vector<TemplateConflict>& conflicts,
                           const TemplateTable& edited, const MergedTemplates& merged) {
  std::string text =
      "Another program saved the driver file after this editor read it, and changed templates "
      "you changed too:\n";
  for (const TemplateConflict& conflict : conflicts) {
    text += "\n" + WhatWasDone(conflict);
    for (const TemplateValueInfo& shown : kTemplateValues) {
      const TemplateValue value = shown.bit;
      if ((conflict.values & value) == 0) continue;
      const std::string theirs = conflict.kind == ConflictKind::kTheyRemoved
                                     ? "removed"
                                     : ValueText(merged.file[conflict.slot], value);
      const std::string ours = conflict.replaced ? ValueText(edited[conflict.slot], value) +
                                                       " in your new " + TemplateName(conflict.slot)
                               : conflict.kind == ConflictKind::kUserRemoved
                                   ? "removed in this editor"
                                   : ValueText(edited[conflict.slot], value) + " in this editor";
      std::string name = shown.shownAs;
      name[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
      text += "\n    " + name + ": " + theirs + " in the file, " + ours;
    }
  }
  return text + "\n\nYes: save this editor's version: " + Outcomes(conflicts, true) +
         ".\nNo: save the file's version: " + Outcomes(conflicts, false) +
         ".\nYes and No also save your other changes, and keep the other program's.\n"
         "Cancel: save nothing and keep editing.";
}

std::string MovedTemplatesNote(const MergedTemplates& merged) {
  std::string text;
  for (const MovedTemplate& move : merged.moved) {
    const bool slot = move.to != move.from;
    const bool id = move.boardId != move.newBoardId;
    if (!slot && !id) continue;
    // What the other program did, each of its templates named once: the one
    // it put in the slot the user saw, and the one holding the board id.
    std::vector<std::string> theirs;
    if (slot && merged.file[move.from].Used != 0) {
      theirs.push_back("added " + TemplateName(move.from) +
                       (id && merged.file[move.from].SwitchID == move.boardId
                            ? " with BoardID " + std::to_string(move.boardId)
                            : std::string()));
    }
    if (id && !(slot && merged.file[move.from].Used != 0 &&
                merged.file[move.from].SwitchID == move.boardId)) {
      std::string owner;
      for (uint32_t n = 0; n < kTemplateCount; ++n) {
        if (merged.file[n].Used != 0 && merged.file[n].SwitchID == move.boardId) {
          owner = TemplateName(n);
        }
      }
      theirs.push_back(owner.empty()
                           ? "holds BoardID " + std::to_string(move.boardId)
                           : "gave " + owner + " BoardID " + std::to_string(move.boardId));
    }
    text += "\nYour new template " +
            (slot ? "is saved as " + TemplateName(move.to) : TemplateName(move.to) + " is saved") +
            (id ? " with BoardID " + std::to_string(move.newBoardId) : std::string()) +
            (theirs.empty() ? std::string(".") : ": another program " + Joined(theirs) + ".");
  }
  if (text.empty()) return text;
  return "Saved. Another program changed the driver file after this editor read it, so your new "
         "templates moved:\n" +
         text;
}

std::string BreakLongWords(std::string_view text, size_t width) {
  std::string result;
  size_t at = 0;
  while (at < text.size()) {
    const size_t blank = text.find_first_of(" \t\r\n", at);
    const size_t end = blank == std::string_view::npos ? text.size() : blank;
    std::string_view word = text.substr(at, end - at);
    for (;;) {
      // The byte offset after `width` characters (UTF-8 lead bytes), or the end.
      size_t cut = 0, characters = 0;
      while (cut < word.size() && characters < width) {
        ++cut;
        while (cut < word.size() && (static_cast<unsigned char>(word[cut]) & 0xC0) == 0x80) ++cut;
        ++characters;
      }
      if (cut == word.size()) break;
      const size_t separator = word.substr(0, cut).find_last_of("\\/");
      // After a separator in the line's second half; where there is none, at
      // the width.
      if (separator != std::string_view::npos && separator >= cut / 2) cut = separator + 1;
      result.append(word.substr(0, cut));
      result += '\n';
      word.remove_prefix(cut);
    }
    result.append(word);
    if (end < text.size()) result += text[end];
    at = end + 1;
  }
  return result;
}

std::string BoxText(std::string_view text) { return FitBoxText(BreakLongWords(TextToUtf8(text))); }

std::string FitBoxText(std::string_view text, size_t lines, size_t columns) {
  // The text's lines, and how many lines of the box each takes.
  std::vector<std::string_view> parts;
  for (size_t at = 0; at <= text.size();) {
    size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    parts.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  auto shown = [columns](std::string_view line) {
    return line.empty() ? size_t{1} : (line.size() + columns - 1) / columns;
  };
  size_t total = 0;
  for (std::string_view part : parts) total += shown(part);
  if (total <= lines) return std::string(text);
  // The last paragraph: the lines after the last blank one.
  size_t tail = parts.size();
  while (tail > 0 && !parts[tail - 1].empty()) --tail;
  size_t tailLines = 0;
  for (size_t i = tail; i < parts.size(); ++i) tailLines += shown(parts[i]);
  if (tail == 0 || tailLines + 3 > lines) tail = parts.size(), tailLines = 0;
  // The first lines that fit beside it and the line that counts the rest.
  const size_t room = lines - tailLines - 2;
  std::string fitted;
  size_t used = 0;
  size_t kept = 0;
  while (kept < tail && used + shown(parts[kept]) <= room) {
    used += shown(parts[kept]);
    fitted.append(parts[kept]).append("\n");
    ++kept;
  }
  size_t left = 0;
  for (size_t i = kept; i < tail; ++i) left += parts[i].empty() ? 0 : 1;
  if (left != 0) {
    fitted += "... and " + std::to_string(left) + " more line" + (left == 1 ? "" : "s") + "\n";
  }
  if (tail < parts.size()) {
    fitted += "\n";
    for (size_t i = tail; i < parts.size(); ++i) {
      fitted.append(parts[i]);
      if (i + 1 < parts.size()) fitted += "\n";
    }
  } else if (!fitted.empty()) {
    fitted.pop_back();
  }
  return fitted;
}

std::string TreeNames(std::string_view text) {
  constexpr std::string_view kWord = "template ";
  std::string result;
  size_t at = 0;
  for (size_t found; (found = text.find(kWord, at)) != std::string_view::npos;) {
    const size_t digit = found + kWord.size();
    const bool number =
        digit < text.size() && std::isdigit(static_cast<unsigned char>(text[digit]));
    result.append(text.substr(at, found - at));
    result += number ? "Template" : std::string(kWord);
    at = digit;
  }
  result.append(text.substr(at));
  return result;
}

}  // namespace zuv
