#include "device/device_check.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "regfile/driver_keys.h"

namespace zuv {

bool ValueChanged(const ExpectedTemplate& a, const ExpectedTemplate& b, int i) {
  switch (i) {
    case 0:
      return a.switchId != b.switchId;
    case 1:
      return a.chanConfig != b.chanConfig;
    default: {
      const ExpectedAo& x = a.ao[i - 2];
      const ExpectedAo& y = b.ao[i - 2];
      return x.code != y.code || x.high != y.high || x.low != y.low;
    }
  }
}

bool SameSlot(const ExpectedTemplate& a, const ExpectedTemplate& b) {
  if (!a.used || !b.used) return !a.used && !b.used;
  for (int i = 0; i < 4; ++i) {
    if (ValueChanged(a, b, i)) return false;
  }
  return true;
}

std::string AoEndsWords(float low, float high) {
  char text[64];
  std::snprintf(text, sizeof text, "%g ~ %gV", static_cast<double>(low), static_cast<double>(high));
  return text;
}

namespace {

// The loops below count the slots as the table does.
constexpr uint32_t kTemplateCount = kDeviceTemplateCount;

const char* const kValueNames[] = {"SwitchID", "ChanConfig", "AOSettings 0", "AOSettings 1"};

bool IsTemplateValue(std::string_view name) {
  for (const char* own : kValueNames) {
    if (SameRegistryName(name, own)) return true;
  }
  return false;
}

// The four values of a used template as the Save writes them.
std::string SavedData(const ExpectedTemplate& slot, int i) {
  switch (i) {
    case 0:
      return DeviceDword(slot.switchId);
    case 1:
      return DeviceDword(slot.chanConfig);
    default:
      return slot.ao[i - 2].text;
  }
}

std::string Quoted(std::string_view name) { return "\"" + std::string(name) + "\""; }

std::string Line(size_t line) { return "line " + std::to_string(line); }

// The number of the template whose key `path` is (TemplateKeys::Key(n):
// the prefix, then 0 to 15 in decimal), or -1. Made without a copy of any
// path: every key of a whole file is asked.
int TemplateOf(const TemplateKeys& keys, std::string_view path) {
  const std::string_view prefix = keys.prefix;
  if (path.size() <= prefix.size() || path.size() > prefix.size() + 2 ||
      !SameRegistryName(path.substr(0, prefix.size()), prefix)) {
    return -1;
  }
  const std::string_view number = path.substr(prefix.size());
  auto digit = [](char c) { return c >= '0' && c <= '9' ? c - '0' : -1; };
  if (number.size() == 1) return digit(number[0]);
  const int ones = digit(number[1]);
  return number[0] == '1' && ones >= 0 && ones + 10 < static_cast<int>(kTemplateCount) ? ones + 10
                                                                                       : -1;
}

// The setting the device reads from its value: the device's default when
// absent or not a string.
DeviceAoSetting DeviceAo(const DeviceValue* value) {
  DeviceAoSetting device;
  if (value != nullptr) device = ReadDeviceAoSetting(value->data).value_or(device);
  return device;
}

bool SameNumbers(const DeviceAoSetting& device, const ExpectedAo& want) {
  return device.code == want.code && device.high == want.high && device.low == want.low;
}

// Whether the device reads value i (0 to 3, kValueNames) as the Save meant:
// the double words as written; an analog output's code and ends read back as
// numbers, so that a fault of the formatter that wrote them shows.
bool ReadsAsSaved(const DeviceValue& value, const ExpectedTemplate& saved, int i) {
  if (i < 2) return value.data == SavedData(saved, i);
  const std::optional<DeviceAoSetting> device = ReadDeviceAoSetting(value.data);
  return device && SameNumbers(*device, saved.ao[i - 2]);
}

std::string Volts(uint32_t code, float high, float low) {
  return "code " + std::to_string(code) + ", " + AoEndsWords(low, high);
}

}  // namespace

TemplateKeys TemplateKeysOf(const std::string& path) {
  // The key path of a header without its opening bracket.
  const DriverKeys driver = DeriveDriverKeys(path);
  TemplateKeys keys;
  keys.prefix = driver.sectionPrefix.substr(1);
  keys.driverKey = driver.driverKey;
  return keys;
}

namespace {

std::string KeyText(const DeviceKey& key) { return "key [" + key.path + "]"; }

// The two readings compared, with the same preprocessor lines: their
// condition numbers compare, and either words them.
struct Readings {
  const DeviceView& now;
  std::string Condition(size_t condition) const { return now.ConditionText(condition); }
  std::string ValueText(const DeviceValue& value) const {
    return value.data +
           (value.condition == kTopLevel ? "" : " under " + Condition(value.condition));
  }
};

// How `value` of `key` reads now against before, or an empty string when the
// same: its data and the conditions it stands under.
std::string CompareValue(const Readings& readings, const DeviceKey& key, const DeviceValue* old,
                         const DeviceValue* now, std::string_view name) {
  if (old == nullptr && now == nullptr) return {};
  if (now == nullptr) {
    return KeyText(key) + ": value " + Quoted(name) + " (" + Line(old->line) + ") would vanish";
  }
  if (old == nullptr) {
    return Line(now->line) + ": " + KeyText(key) + ": value " + Quoted(name) + " (" +
           readings.ValueText(*now) + ") would appear";
  }
  if (old->data != now->data || old->condition != now->condition) {
    return Line(now->line) + ": " + KeyText(key) + ": value " + Quoted(name) + " would read " +
           readings.ValueText(*now) + " instead of " + readings.ValueText(*old);
  }
  return {};
}

// Every value of `old` and `now` (the same key before and after) reads the
// same, but for the template's own values when `skipTemplate`.
std::string CompareKey(const Readings& readings, const DeviceKey& old, const DeviceKey& now,
                       bool skipTemplate) {
  if (old.condition != now.condition) {
    return Line(now.line) + ": " + KeyText(now) + " would stand under \"" +
           readings.Condition(now.condition) + "\" instead of \"" +
           readings.Condition(old.condition) + "\"";
  }
  for (const DeviceValue& value : old.values) {
    if (skipTemplate && IsTemplateValue(value.name)) continue;
    std::string difference =
        CompareValue(readings, now, &value, DeviceView::FindValue(now, value.name), value.name);
    if (!difference.empty()) return difference;
  }
  for (const DeviceValue& value : now.values) {
    if (skipTemplate && IsTemplateValue(value.name)) continue;
    if (DeviceView::FindValue(old, value.name) == nullptr) {
      return CompareValue(readings, now, nullptr, &value, value.name);
    }
  }
  return {};
}

// A changed or added template n: each changed value reads as saved, under the
// conditions it stood under (a new line: those of the key's header); every
// other value reads as before.
std::string CompareChangedTemplate(const Readings& readings, const DeviceKey* old,
                                   const DeviceKey& now, const ExpectedTemplate& loaded,
                                   const ExpectedTemplate& saved) {
  const bool added = !loaded.used;
  for (int i = 0; i < 4; ++i) {
    const DeviceValue* before =
        old != nullptr ? DeviceView::FindValue(*old, kValueNames[i]) : nullptr;
    const DeviceValue* after = DeviceView::FindValue(now, kValueNames[i]);
    if (!added && !ValueChanged(loaded, saved, i)) {
      std::string difference = CompareValue(readings, now, before, after, kValueNames[i]);
      if (!difference.empty()) return difference;
      continue;
    }
    if (after == nullptr || !ReadsAsSaved(*after, saved, i)) {
      const std::string want = SavedData(saved, i);
      return (after != nullptr ? Line(after->line) + ": " : std::string()) + KeyText(now) +
             ": value " + Quoted(kValueNames[i]) + " would read " +
             (after == nullptr ? std::string("nothing") : after->data) + ", not " + want +
             " as saved";
    }
    // A new line stands under the conditions the template itself stands
    // under: those of its board id's line, or of its header.
    const DeviceValue* id = old != nullptr ? DeviceView::FindValue(*old, kValueNames[0]) : nullptr;
    const size_t condition = before != nullptr ? before->condition
                             : id != nullptr   ? id->condition
                                               : now.condition;
    if (after->condition != condition) {
      return Line(after->line) + ": " + KeyText(now) + ": value " + Quoted(kValueNames[i]) +
             " would stand under \"" + readings.Condition(after->condition) + "\" instead of \"" +
             readings.Condition(condition) + "\"";
    }
  }
  if (old == nullptr) {
    for (const DeviceValue& value : now.values) {
      if (!IsTemplateValue(value.name)) {
        return CompareValue(readings, now, nullptr, &value, value.name);
      }
    }
    return {};
  }
  return CompareKey(readings, *old, now, true);
}

// The line of a "[-KEY]" that deleted the key `path` (KEY is it or a parent
// of it), "line L" and its conditions, when the view read its header; or an
// empty string.
std::string DeletedTemplateText(const DeviceView& view, const std::string& path) {
  if (view.Deletions().empty()) return {};
  bool written = false;
  for (const DeviceHeader& header : view.Headers()) {
    if (SameRegistryName(header.path, path)) written = true;
  }
  if (!written) return {};
  const DeviceDeletion* last = nullptr;
  for (const DeviceDeletion& deletion : view.Deletions()) {
    const size_t size = deletion.path.size();
    if (size <= path.size() && SameRegistryName(path.substr(0, size), deletion.path) &&
        (size == path.size() || path[size] == '\\')) {
      last = &deletion;
    }
  }
  if (last == nullptr) return {};
  return Line(last->line) + " ([-" + last->path + "]" +
         (last->condition == kTopLevel ? "" : " under " + view.ConditionText(last->condition)) +
         ")";
}

// When the template's own values stand under more than one set of conditions
// and the branches read them otherwise: each of their lines, its data and
// conditions; else an empty string.
// Which of the template's four values (0 to 3, kValueNames) `name` is, or -1.
int TemplateValueIndex(std::string_view name) {
  for (int i = 0; i < 4; ++i) {
    if (SameRegistryName(name, kValueNames[i])) return i;
  }
  return -1;
}

// Whether the template's own values stand under more than one set of
// conditions and the branches read them otherwise. Most keys' values all
// stand under one: they are compared without a list of the branches.
bool BranchesDiffer(const DeviceKey& key) {
  // What each set of conditions gives: value i's data (none: empty).
  struct Branch {
    size_t condition;
    std::string_view data[4];
  };
  std::vector<Branch> branches;
  bool several = false;
  auto note = [&](const DeviceValue& value) {
    const int i = TemplateValueIndex(value.name);
    if (i < 0) return;
    auto branch = branches.begin();
    while (branch != branches.end() && branch->condition != value.condition) ++branch;
    if (branch == branches.end()) {
      branches.push_back({value.condition, {}});
      branch = branches.end() - 1;
      several = branches.size() > 1;
    }
    branch->data[i] = value.data;
  };
  for (const DeviceValue& value : key.overridden) note(value);
  for (const DeviceValue& value : key.values) note(value);
  if (!several) return false;
  for (const Branch& branch : branches) {
    for (int i = 0; i < 4; ++i) {
      if (branch.data[i] != branches.front().data[i]) return true;
    }
  }
  return false;
}

// When BranchesDiffer: each line of the template's values, its data and
// conditions, in the file's order; else an empty string.
std::string BranchReadings(const DeviceView& view, const DeviceKey& key) {
  if (!BranchesDiffer(key)) return {};
  std::vector<const DeviceValue*> lines;
  for (const DeviceValue& value : key.overridden) {
    if (IsTemplateValue(value.name)) lines.push_back(&value);
  }
  for (const DeviceValue& value : key.values) {
    if (IsTemplateValue(value.name)) lines.push_back(&value);
  }
  std::sort(lines.begin(), lines.end(),
            [](const DeviceValue* a, const DeviceValue* b) { return a->line < b->line; });
  // Each set of conditions is worded once, however many lines stand under it.
  std::vector<std::pair<size_t, std::string>> words;
  std::string text;
  for (const DeviceValue* value : lines) {
    auto word = words.begin();
    while (word != words.end() && word->first != value->condition) ++word;
    if (word == words.end()) {
      words.emplace_back(value->condition, value->condition == kTopLevel
                                               ? " outside every block"
                                               : " under " + view.ConditionText(value->condition));
      word = words.end() - 1;
    }
    if (!text.empty()) text += ", ";
    text += Line(value->line);
    text += ' ';
    text += Quoted(value->name);
    text += ' ';
    text += value->data;
    text += word->second;
  }
  return text;
}

std::string SavedTextDifference(const DeviceView& old, const DeviceView& now,
                                const ExpectedTable& loaded, const ExpectedTable& saved,
                                const TemplateKeys& keys) {
  const std::vector<std::string_view>& oldLines = old.PreprocessorLines();
  const std::vector<std::string_view>& newLines = now.PreprocessorLines();
  for (size_t i = 0; i < oldLines.size() || i < newLines.size(); ++i) {
    if (i >= newLines.size()) {
      return "the build's line \"" + std::string(oldLines[i]) + "\" would vanish";
    }
    if (i >= oldLines.size() || oldLines[i] != newLines[i]) {
      return "the build's line \"" + std::string(newLines[i]) + "\" would stand where \"" +
             std::string(i < oldLines.size() ? oldLines[i] : "the end of the file") + "\" was";
    }
  }
  const Readings readings{now};
  for (const DeviceKey& key : old.Keys()) {
    const int n = TemplateOf(keys, key.path);
    const DeviceKey* kept = now.FindKey(key.path);
    if (n >= 0 && !SameSlot(loaded[n], saved[n])) {
      if (!saved[n].used && kept != nullptr) {
        return Line(kept->line) + ": template " + std::to_string(n) + " is removed, but the " +
               KeyText(*kept) + " would stay";
      }
      continue;  // a changed template: below
    }
    if (kept == nullptr) return KeyText(key) + " (" + Line(key.line) + ") would vanish";
    std::string difference = CompareKey(readings, key, *kept, false);
    if (!difference.empty()) return difference;
  }
  for (const DeviceKey& key : now.Keys()) {
    if (old.FindKey(key.path) != nullptr) continue;
    const int n = TemplateOf(keys, key.path);
    if (n < 0 || !saved[n].used || loaded[n].used) {
      return Line(key.line) + ": " + KeyText(key) + " would appear";
    }
  }
  for (uint32_t n = 0; n < kTemplateCount; ++n) {
    if (!saved[n].used || SameSlot(loaded[n], saved[n])) continue;
    const DeviceKey* key = now.FindKey(keys.Key(n));
    if (key == nullptr) {
      return "template " + std::to_string(n) + "'s key [" + keys.Key(n) + "] would be missing";
    }
    std::string difference =
        CompareChangedTemplate(readings, old.FindKey(keys.Key(n)), *key, loaded[n], saved[n]);
    if (!difference.empty()) return difference;
    difference = BranchReadings(now, *key);
    if (!difference.empty()) {
      return "template " + std::to_string(n) +
             " would read otherwise in each branch of the build: " + difference;
    }
  }
  return {};
}

// Whether `path` is template n's key of another driver: the same parts
// (between backslashes) as `own` but for one, which is not the last. The
// parts are compared where they stand, the last first.
bool IsOtherDriversKey(std::string_view path, std::string_view own) {
  const size_t lastA = path.rfind('\\');
  const size_t lastB = own.rfind('\\');
  if ((lastA == std::string_view::npos) != (lastB == std::string_view::npos)) return false;
  if (!SameRegistryName(path.substr(lastA + 1), own.substr(lastB + 1))) return false;
  int differing = 0;
  for (size_t a = 0, b = 0;;) {
    const size_t nextA = path.find('\\', a);
    const size_t nextB = own.find('\\', b);
    // The last parts, compared above; the paths have as many parts when both
    // reach theirs at once.
    if (nextA == std::string_view::npos || nextB == std::string_view::npos) {
      return nextA == nextB && differing == 1;
    }
    differing += SameRegistryName(path.substr(a, nextA - a), own.substr(b, nextB - b)) ? 0 : 1;
    a = nextA + 1;
    b = nextB + 1;
  }
}

// The refusal CheckTemplateKeys gives, or an empty string. The first header
// line of a key is its first in the file, so the headers in order name each
// key at its first line.
std::string ForeignKey(const DeviceView& view, const TemplateKeys& keys, OtherDriverHint hint) {
  // A template key the view read is one of this driver's: the headers need
  // no look then.
  for (const DeviceKey& key : view.Keys()) {
    if (TemplateOf(keys, key.path) >= 0) return {};
  }
  for (const DeviceHeader& key : view.Headers()) {
    if (TemplateOf(keys, key.path) >= 0) return {};
  }
  std::string own = keys.prefix;  // template n's key, made in place for each n
  for (const DeviceHeader& key : view.Headers()) {
    for (uint32_t n = 0; n < kTemplateCount; ++n) {
      own.resize(keys.prefix.size());
      own += std::to_string(n);
      if (!IsOtherDriversKey(key.path, own)) continue;
      return Line(key.line) + ": template " + std::to_string(n) + "'s section is under the key [" +
             std::string(key.path) + "], but the key of driver " + keys.driverKey + " is [" +
             keys.Key(n) + "]" +
             (hint == OtherDriverHint::kNameTheDriver
                  ? "; if the file belongs to another driver, name that driver: --driver NAME "
                    "with --file"
                  : "");
    }
  }
  return {};
}

Status Refused(std::string refusal) {
  return refusal.empty() ? Status() : Status::Of(Condition::kDeviceRefused, std::move(refusal));
}

}  // namespace

Status CheckSavedText(const DeviceView& before, const DeviceView& after,
                      const ExpectedTable& loaded, const ExpectedTable& saved,
                      const TemplateKeys& keys) {
  return Refused(SavedTextDifference(before, after, loaded, saved, keys));
}

namespace {

DeviceKeySet TemplateKeySet(const TemplateKeys& keys) {
  // The keys differ only in their numbers: each is made in one buffer.
  DeviceKeySet set;
  set.reserve(kTemplateCount, kTemplateCount * (keys.prefix.size() + 2));
  std::string path = keys.prefix;
  for (uint32_t n = 0; n < kTemplateCount; ++n) {
    path.resize(keys.prefix.size());
    path += std::to_string(n);
    set.insert(path);
  }
  return set;
}

}  // namespace

DeviceView WholeView(std::string_view text) {
  return DeviceView(text, DeviceView::HeaderLines::kLeaveOut);
}

DeviceView TemplateView(std::string_view text, const TemplateKeys& keys) {
  return DeviceView(text, TemplateKeySet(keys));
}

Status CheckChangedLines(std::string_view before, std::string_view after,
                         const ExpectedTable& loaded, const ExpectedTable& saved,
                         const TemplateKeys& keys, const DeviceView* beforeView) {
  const ChangedLines changed = FindChangedLines(before, after);
  DeviceKeySet read = TemplateKeySet(keys);
  const size_t templates = read.size();
  // Both texts are the bytes the view of the templates read up to the
  // change: only the changed lines are read again where that view left
  // nothing out.
  AddKeysOfLines(before, changed.start, changed.oldEnd, &read, beforeView);
  AddKeysOfLines(after, changed.start, changed.newEnd, &read, beforeView);
  // A changed "[-KEY]" line may delete keys anywhere: both texts are read whole.
  for (size_t i = 0; i < read.size(); ++i) {
    if (!read[i].empty() && read[i].front() == '-') {
      return CheckSavedText(WholeView(before), WholeView(after), loaded, saved, keys);
    }
  }
  // The view of the templates serves when the change meets no other key.
  // The views read here are only compared: they keep no header lines.
  constexpr DeviceView::HeaderLines kCompared = DeviceView::HeaderLines::kLeaveOut;
  std::optional<DeviceView> old;
  if (beforeView == nullptr || read.size() != templates) old.emplace(before, read, kCompared);
  // The new text is read as the old one's lines it keeps were, and its
  // changed lines whole.
  const DeviceView now = beforeView != nullptr
                             ? DeviceView(after, read, *beforeView, before, changed)
                             : DeviceView(after, read, kCompared);
  return Refused(SavedTextDifference(old ? *old : *beforeView, now, loaded, saved, keys));
}

Status CheckSavedChange(std::string_view before, std::string_view after,
                        const ExpectedTable& loaded, const ExpectedTable& saved,
                        const TemplateKeys& keys, const DeviceView* beforeView) {
  Status verdict = CheckChangedLines(before, after, loaded, saved, keys, beforeView);
  if (verdict.ok()) return verdict;
  return CheckSavedText(WholeView(before), WholeView(after), loaded, saved, keys);
}

Status CheckTemplateKeys(const DeviceView& view, const TemplateKeys& keys, OtherDriverHint hint) {
  return Refused(ForeignKey(view, keys, hint));
}

std::vector<UnshownTemplate> UnshownTemplates(const DeviceView& view, const ExpectedTable& loaded,
                                              const TemplateKeys& keys, uint32_t slots,
                                              UnshownWords words) {
  std::vector<UnshownTemplate> unshown;
  std::string path;
  for (uint32_t n = 0; n < kTemplateCount; ++n) {
    if ((slots >> n & 1u) == 0) continue;
    path = keys.prefix;
    path += std::to_string(n);
    const DeviceKey* key = view.FindKey(path);
    const auto what = [n] { return "template " + std::to_string(n) + ": "; };
    // The words are made only when asked for: a load that only reserves the
    // slots is spared the messages, which may quote many lines.
    auto add = [&unshown, n, words](auto text, bool hidden = false) {
      unshown.push_back({n, words == UnshownWords::kWorded ? text() : std::string(), hidden});
    };
    if (key == nullptr) {
      const std::string deleted = DeletedTemplateText(view, path);
      if (!deleted.empty()) {
        add(
            [&] {
              return deleted + ": " + what() + "the build deletes its key [" + path +
                     "]; it is not shown, and no change is written to template " +
                     std::to_string(n) + " while its section stands";
            },
            true);
        continue;
      }
    }
    if (key != nullptr && BranchesDiffer(*key)) {
      add([&] {
        return what() + "the device reads it otherwise in each branch of the build: " +
               BranchReadings(view, *key) +
               "; no change is written to it until one reading stands under one set of "
               "conditions";
      });
      continue;
    }
    if (!loaded[n].used) {
      if (key == nullptr) continue;
      const DeviceValue* id = DeviceView::FindValue(*key, "SwitchID");
      if (id != nullptr && id->data.compare(0, 6, "dword:") == 0) {
        add([&] {
          return Line(id->line) + ": " + what() + "the device reads " + KeyText(*key) +
                 " with \"SwitchID\" " + id->data + ", a template that a load does not show";
        });
      } else {
        add([&] {
          return Line(id != nullptr ? id->line : key->line) + ": " + what() + "the device reads " +
                 KeyText(*key) +
                 (id != nullptr ? " with \"SwitchID\" " + id->data + "," : std::string()) +
                 " without a double-word \"SwitchID\", so it is not shown; give it one or take "
                 "the key out, and until then no change is written to template " +
                 std::to_string(n);
        });
      }
      continue;
    }
    if (key == nullptr) {
      add(
          [&] {
            return what() + "the device reads no key [" + path +
                   "]: its lines stand in a block the build leaves out (#if 0) or under another "
                   "key; it is not shown";
          },
          true);
      continue;
    }
    for (int i = 0; i < 2; ++i) {
      const DeviceValue* value = DeviceView::FindValue(*key, kValueNames[i]);
      if (value != nullptr && value->data == "-") value = nullptr;  // "name"=- deletes it
      const std::string shown = SavedData(loaded[n], i);
      if (value != nullptr ? value->data != shown : (i == 0 || loaded[n].chanConfig != 0)) {
        add([&] {
          return Line(value != nullptr ? value->line : key->line) + ": " + what() +
                 "the device reads " + Quoted(kValueNames[i]) + " as " +
                 (value != nullptr ? value->data : "absent") + ", a load shows " + shown;
        });
      }
    }
    for (int i = 0; i < 2; ++i) {
      const DeviceValue* value = DeviceView::FindValue(*key, kValueNames[2 + i]);
      const DeviceAoSetting device = DeviceAo(value);
      const ExpectedAo& shown = loaded[n].ao[i];
      if (!SameNumbers(device, shown)) {
        add([&] {
          return Line(value != nullptr ? value->line : key->line) + ": " + what() +
                 "the device reads " + Quoted(kValueNames[2 + i]) + " as " +
                 Volts(device.code, device.high, device.low) + ", a load shows " +
                 Volts(shown.code, shown.high, shown.low);
        });
      }
    }
  }
  return unshown;
}

std::string OpenBlockAtEndText(const DeviceView& view) {
  const size_t open = view.OpenAtEnd();
  if (open == kTopLevel) return {};
  return Line(view.PreprocessorLineNumbers()[open]) + ": the file ends inside the block of \"" +
         view.ConditionText(open) +
         "\"; a template added at the end would stand under it, so none is added";
}

Status CheckAppendAtEnd(const DeviceView& view, const ExpectedTable& loaded,
                        const ExpectedTable& saved,
                        const std::function<bool(uint32_t)>& hasSection) {
  if (view.OpenAtEnd() == kTopLevel) return {};
  for (uint32_t n = 0; n < kTemplateCount; ++n) {
    if (saved[n].used && !loaded[n].used && !hasSection(n)) {
      return Refused(OpenBlockAtEndText(view));
    }
  }
  return {};
}

}  // namespace zuv
