#include "templates/template_check.h"

#include <algorithm>
#include <map>

#include "device/device_check.h"
#include "regfile/reg_file.h"
#include "regfile/text_encoding.h"
#include "templates/ao_setting_text.h"
#include "templates/device_expectation.h"
#include "templates/device_reading.h"
#include "templates/device_template.h"
#include "templates/driver_path.h"
#include "templates/driver_text.h"
#include "templates/template_rules.h"
#include "templates/template_slots.h"

namespace zuv {

const ProblemKind kProblemKinds[] = {
    {"not-writable", "the file's text does not decode, or its encoding is one never written"},
    {"nul-byte", "the file holds a NUL byte"},
    {"other-drivers-keys",
     "template sections under another driver's key and none under this driver's"},
    {"open-block-at-end", "the file ends inside an open block of conditions"},
    {"build-unknown", "what the build's lines leave unknown"},
    {"board-id-shared-in-build", "two templates that one build reads share a board id"},
    {"read-otherwise", "the device reads a template otherwise than a load shows it"},
    {"no-switch-id", "a template section without a double-word \"SwitchID\""},
    {"board-id-above-15", "a board id above 15"},
    {"board-id-twice", "a board id that an earlier template has too"},
    {"mask-not-double-word", "\"ChanConfig\" is not a double word"},
    {"mask-half-pair", "a channel pair with two unequal bits"},
    {"mask-bits-above-15", "a channel mask with bits above 15"},
    {"ao-not-string", "an analog output's value is not a string"},
    {"ao-not-three-numbers", "an analog output's text is not three numbers"},
    {"ao-no-range", "an analog output's ends match none of the four ranges"},
    {"image-key", "another .reg file of the image sets or deletes the driver's keys"},
    {"image-summary", "how many other files of the image do so, and what the device reads"},
    {"image-reading", "a template value the device reads from another file of the image"},
    {"image-unread", "what the walk of the image could not read, or where a limit stopped it"},
};
const size_t kProblemKindCount = sizeof kProblemKinds / sizeof kProblemKinds[0];

namespace {

void CheckAoText(const char* name, uint32_t n, RegFile& reg,
                 std::vector<TemplateProblem>& problems) {
  uint32_t type = 0;
  uint32_t size = 0;
  char text[kAoTextMaxLength + 1] = {};
  reg.QueryValue(n, name, &type, text, &size, kAoTextMaxLength);
  if (type == 0) return;  // absent: the output keeps the default range
  const std::string quoted = std::string("\"") + name + "\"";
  if (type != kRegSz) {
    problems.push_back(
        {n, quoted + " is not a string; it is taken as missing", 0, "ao-not-string"});
    return;
  }
  AoSetting setting = kDefaultAoSetting;
  if (ParseAoSettingFields(text, &setting) < 3) {
    problems.push_back(
        {n, quoted + " text \"" + text + "\" is not three numbers", 0, "ao-not-three-numbers"});
  } else if (FindAoRange(setting) < 0) {
    problems.push_back(
        {n, quoted + " text \"" + text + "\" (" + AoEndsText(setting) + ") matches no range", 0,
         "ao-no-range"});
  }
}

}  // namespace

Status CheckTemplateFile(const std::string& path, FileSystem& fileSystem,
                         std::vector<TemplateProblem>* problems, std::string* encoding,
                         const std::string& driverName, const BuildConfiguration* configuration) {
  DecodedText text;
  const Status read = ReadDriverText(path, fileSystem, &text);
  if (!read.ok()) return read.WithPath(path);
  *encoding = TextEncodingName(text.encoding);
  if (!text.valid) {
    problems->push_back({kWholeFileProblem,
                         (IsWritableEncoding(text.encoding)
                              ? "byte offset " + std::to_string(text.faultOffset) + ": "
                              : std::string()) +
                             text.fault + "; no change is written to this file",
                         0, "not-writable"});
  }
  const size_t nul = text.encoding == TextEncoding::kAnsi || text.encoding == TextEncoding::kUtf8Bom
                         ? FindNul(text.text)
                         : std::string::npos;
  if (nul != std::string::npos) {
    problems->push_back({kWholeFileProblem,
                         "byte offset " + std::to_string(nul) +
                             " holds a NUL byte, which other readers may "
                             "take as the end of the file",
                         0, "nul-byte"});
  }

  // The checks below read the one decoded copy, at the path the keys come from.
  const std::string keyPath = DriverKeyPath(path, fileSystem, driverName);
  const TemplateKeys keys = TemplateKeysOf(keyPath);
  const DeviceView view = ReadDevice(text.text, path, fileSystem, configuration);
  const Status wrongKey = CheckTemplateKeys(view, keys);
  RegFile reg;
  if (reg.OpenText(text.text, keyPath) != 0) return reg.LastStatus().WithPath(path);
  if (!wrongKey.ok()) {
    // The device's view of this driver's keys would only repeat it.
    problems->push_back({kWholeFileProblem, ReasonText(wrongKey) + "; every change is refused", 0,
                         "other-drivers-keys"});
  } else {
    std::string openAtEnd = OpenBlockAtEndText(view);
    if (!openAtEnd.empty()) {
      problems->push_back({kWholeFileProblem, std::move(openAtEnd), 0, "open-block-at-end"});
    }
    // What the build's lines leave unknown here, and board ids two
    // templates share in a build that reads both.
    for (const std::string& note : view.Notes()) {
      problems->push_back({kWholeFileProblem, note, 0, "build-unknown"});
    }
    for (std::string& clash : BoardIdClashes(view, keys)) {
      problems->push_back({kWholeFileProblem, std::move(clash), 0, "board-id-shared-in-build"});
    }
    TemplateTable loaded;
    LoadTable(loaded, reg);
    for (UnshownTemplate& unshown : UnshownTemplates(view, ExpectedTableOf(loaded), keys)) {
      // A section the load leaves out is told below, with the template's own
      // problems; a key the store finds no section of (its header written
      // through a macro, or in an included file) is told here.
      uint32_t start = 0, end = 0;
      reg.FindTemplateSection(unshown.n, &start, &end);
      if (loaded[unshown.n].Used == 0 && start != end) continue;
      problems->push_back({kWholeFileProblem, std::move(unshown.text), 0, "read-otherwise"});
    }
  }

  std::map<uint32_t, uint32_t> firstWithId;  // board id -> first template that has it
  {
    for (uint32_t n = 0; n < kTemplateCount; ++n) {
      uint32_t start = 0, end = 0;
      reg.FindTemplateSection(n, &start, &end);
      if (start == end) continue;

      uint32_t type = 0, size = 0, switchId = 0;
      reg.QueryValue(n, "SwitchID", &type, &switchId, &size, sizeof switchId);
      if (type != kRegDword) {
        problems->push_back({n,
                             type == 0 ? "the section has no \"SwitchID\"; it is not shown, and no "
                                         "change is written to it until it has one"
                                       : "\"SwitchID\" is not a double word; the section is not "
                                         "shown, and no change is written to it until it is one",
                             0, "no-switch-id"});
        continue;
      }
      if (switchId >= kBoardIdCount) {
        problems->push_back(
            {n, "board id " + std::to_string(switchId) + " is above 15", 0, "board-id-above-15"});
      }
      auto first = firstWithId.emplace(switchId, n);
      if (!first.second) {
        problems->push_back({n,
                             "board id " + std::to_string(switchId) +
                                 " is also the board id of template " +
                                 std::to_string(first.first->second),
                             0, "board-id-twice"});
      }

      type = 0;
      uint32_t mask = 0;
      reg.QueryValue(n, "ChanConfig", &type, &mask, &size, sizeof mask);
      if (type != 0 && type != kRegDword) {
        problems->push_back({n, "\"ChanConfig\" is not a double word; it is taken as missing", 0,
                             "mask-not-double-word"});
      } else if (type == kRegDword) {
        const std::vector<int> mixed = MixedPairs(mask);
        if (!mixed.empty()) {
          problems->push_back({n,
                               "channel mask " + ChannelMaskText(mask) + ": pairs " +
                                   JoinPairs(mixed) + " have two unequal bits",
                               0, "mask-half-pair"});
        }
        if ((mask & ~kAllDifferential) != 0) {
          problems->push_back({n, "channel mask " + ChannelMaskText(mask) + " has bits above 15", 0,
                               "mask-bits-above-15"});
        }
      }
      for (const TemplateValueInfo& value : kTemplateValues) {
        if (value.kind == ValueKind::kAoRange) CheckAoText(value.name, n, reg, *problems);
      }
    }
  }
  // Each template's problems name the line of its section's header.
  for (TemplateProblem& problem : *problems) {
    if (problem.n >= kTemplateCount) continue;
    uint32_t start = 0, end = 0;
    reg.FindTemplateSection(problem.n, &start, &end);
    const std::string_view before = reg.Text().substr(0, start);
    problem.line = static_cast<uint32_t>(std::count(before.begin(), before.end(), '\n') + 1);
  }
  reg.Close();
  return {};
}

}  // namespace zuv
