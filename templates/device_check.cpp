#include "templates/device_check.h"

#include "regfile/device_view.h"
#include "regfile/driver_keys.h"
#include "regfile/memory_file.h"
#include "regfile/reg_file.h"
#include "templates/ao_setting_text.h"
#include "templates/template_file.h"
#include "templates/template_rules.h"

namespace zuv {

namespace {

const char* const kValueNames[] = {"SwitchID", "ChanConfig", "AOSettings 0", "AOSettings 1"};

bool IsTemplateValue(std::string_view name) {
  for (const char* own : kValueNames) {
    if (SameRegistryName(name, own)) return true;
  }
  return false;
}

// The four values of a used template as the Save writes them.
std::string SavedData(const DeviceTemplate& slot, int i) {
  switch (i) {
    case 0:
      return DeviceDword(slot.SwitchID);
    case 1:
      return DeviceDword(slot.ChanConfig);
    default:
      return DeviceString(FormatAoSetting(slot.AOSettings[i - 2]));
  }
}

std::string Quoted(std::string_view name) { return "\"" + std::string(name) + "\""; }

std::string Line(size_t line) { return "line " + std::to_string(line); }

// The key paths of the 16 templates, made once for a whole file's keys.
struct TemplateKeyList {
  explicit TemplateKeyList(const TemplateKeys& keys) {
    for (uint32_t n = 0; n < kTemplateCount; ++n) paths[n] = keys.Key(n);
  }
  // The number of the template whose key `path` is, or -1.
  int Of(std::string_view path) const {
    for (uint32_t n = 0; n < kTemplateCount; ++n) {
      if (SameRegistryName(path, paths[n])) return static_cast<int>(n);
    }
    return -1;
  }
  std::string paths[kTemplateCount];
};

// Values of `now` other than a template's own that are not as in `old`
// (either may be absent).
std::string CompareOtherValues(const DeviceKey* old, const DeviceKey* now, bool skipTemplate) {
  const std::string& path = now != nullptr ? now->path : old->path;
  if (old != nullptr) {
    for (const DeviceValue& value : old->values) {
      if (skipTemplate && IsTemplateValue(value.name)) continue;
      const DeviceValue* after = now != nullptr ? DeviceView::FindValue(*now, value.name) : nullptr;
      if (after == nullptr) {
        return "key [" + path + "]: value " + Quoted(value.name) + " (" + value.data +
               ") would vanish";
      }
      if (after->data != value.data) {
        return "key [" + path + "]: value " + Quoted(value.name) + " would read " + after->data +
               " instead of " + value.data;
      }
    }
  }
  if (now != nullptr) {
    for (const DeviceValue& value : now->values) {
      if (skipTemplate && IsTemplateValue(value.name)) continue;
      if (old == nullptr || DeviceView::FindValue(*old, value.name) == nullptr) {
        return "key [" + path + "]: value " + Quoted(value.name) + " (" + value.data +
               ") would appear";
      }
    }
  }
  return {};
}

// The setting the device's value gives, read as a load reads the text: the
// default when absent or not a string.
AoSetting DeviceAoSetting(const DeviceValue* value) {
  AoSetting setting = kDefaultAoSetting;
  if (value == nullptr || value->data.size() < 2 || value->data.front() != '"') return setting;
  std::string text = value->data.substr(1, value->data.size() - 2);
  if (text.size() > kAoTextMaxLength) text.resize(kAoTextMaxLength);
  ParseAoSetting(text.c_str(), &setting);
  return setting;
}

std::string Volts(const AoSetting& setting) {
  return "code " + std::to_string(setting.Code) + ", " + AoEndsText(setting);
}

bool SameSetting(const AoSetting& a, const AoSetting& b) {
  return a.Code == b.Code && a.RefHigh == b.RefHigh && a.RefLow == b.RefLow;
}

}  // namespace

TemplateKeys TemplateKeysOf(const std::string& path) {
  // The key path of a header without its opening bracket.
  TemplateKeys keys;
  keys.prefix = DeriveDriverKeys(path).sectionPrefix.substr(1);
  return keys;
}

namespace {

// The first difference CheckSavedText finds, or an empty string.
std::string SavedTextDifference(std::string_view before, std::string_view after,
                                const TemplateTable& table, const TemplateKeys& keys) {
  const DeviceView old(before);
  const DeviceView now(after);
  const TemplateKeyList templateKeys(keys);
  for (const DeviceKey& key : old.Keys()) {
    if (templateKeys.Of(key.path) >= 0) continue;
    const DeviceKey* kept = now.FindKey(key.path);
    if (kept == nullptr) return "key [" + key.path + "] would vanish";
    std::string difference = CompareOtherValues(&key, kept, false);
    if (!difference.empty()) return difference;
  }
  for (const DeviceKey& key : now.Keys()) {
    if (templateKeys.Of(key.path) < 0 && old.FindKey(key.path) == nullptr) {
      return "key [" + key.path + "] would appear (" + Line(key.line) + ")";
    }
  }
  for (uint32_t n = 0; n < kTemplateCount; ++n) {
    const std::string path = keys.Key(n);
    const DeviceKey* saved = now.FindKey(path);
    if (table[n].Used == 0) {
      if (saved != nullptr) {
        return "template " + std::to_string(n) + " is removed, but the key [" + saved->path +
               "] would stay (" + Line(saved->line) + ")";
      }
      continue;
    }
    if (saved == nullptr) return "template " + std::to_string(n) + "'s key [" + path +
                                 "] would be missing";
    for (int i = 0; i < 4; ++i) {
      const std::string want = SavedData(table[n], i);
      const DeviceValue* value = DeviceView::FindValue(*saved, kValueNames[i]);
      if (value == nullptr || value->data != want) {
        return "key [" + saved->path + "]: value " + Quoted(kValueNames[i]) + " would read " +
               (value == nullptr ? std::string("nothing") : value->data + " (" +
                                                                Line(value->line) + ")") +
               ", not " + want + " as saved";
      }
    }
    std::string difference = CompareOtherValues(old.FindKey(path), saved, true);
    if (!difference.empty()) return difference;
  }
  return {};
}

// The refusal CheckTemplateKeys gives, or an empty string.
std::string ForeignKey(std::string_view text, const std::string& path, const TemplateKeys& keys) {
  MemoryFileSystem files;
  files.SetFile(path, std::string(text));
  RegFile reg(files);
  if (reg.Open(path.c_str()) != 0) return {};
  std::string refusal;
  for (uint32_t n = 0; n < kTemplateCount && refusal.empty(); ++n) {
    uint32_t start = 0, end = 0;
    reg.FindTemplateSection(n, &start, &end);
    if (start >= end) continue;
    const std::string_view header = text.substr(start + 1, end - start - 1);
    const std::string_view found = header.substr(0, header.find(']'));
    if (SameRegistryName(found, keys.Key(n))) continue;
    size_t line = 1;
    for (size_t i = 0; i < start; ++i) {
      if (text[i] == '\n' || (text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n'))) {
        ++line;
      }
    }
    refusal = Line(line) + ": template " + std::to_string(n) + "'s section is under the key [" +
              std::string(found) + "], but the key of driver " + reg.DriverKey() + " is [" +
              keys.Key(n) + "]; if the file belongs to another driver, name that driver: " +
              "--driver NAME with --file";
  }
  reg.Close();
  return refusal;
}

Status Refused(std::string refusal) {
  return refusal.empty() ? Status() : Status::Of(Condition::kDeviceRefused, std::move(refusal));
}

}  // namespace

Status CheckSavedText(std::string_view before, std::string_view after, const TemplateTable& table,
                      const TemplateKeys& keys) {
  return Refused(SavedTextDifference(before, after, table, keys));
}

Status CheckTemplateKeys(std::string_view text, const std::string& path, const TemplateKeys& keys) {
  return Refused(ForeignKey(text, path, keys));
}

std::vector<std::string> DeviceDifferences(std::string_view text, const TemplateTable& loaded,
                                           const TemplateKeys& keys) {
  std::vector<std::string> differences;
  const DeviceView view(text);
  for (uint32_t n = 0; n < kTemplateCount; ++n) {
    const std::string path = keys.Key(n);
    const DeviceKey* key = view.FindKey(path);
    const std::string what = "template " + std::to_string(n) + ": ";
    if (loaded[n].Used == 0) {
      const DeviceValue* id = key != nullptr ? DeviceView::FindValue(*key, "SwitchID") : nullptr;
      if (id != nullptr && id->data.compare(0, 6, "dword:") == 0) {
        differences.push_back(Line(id->line) + ": " + what + "the device reads key [" +
                              key->path + "] with \"SwitchID\" " + id->data +
                              ", a template that a load does not show");
      }
      continue;
    }
    if (key == nullptr) {
      differences.push_back(what + "the device reads no key [" + path +
                            "]; a load takes the template from another key's section");
      continue;
    }
    for (int i = 0; i < 2; ++i) {
      const DeviceValue* value = DeviceView::FindValue(*key, kValueNames[i]);
      const std::string shown = SavedData(loaded[n], i);
      if (value != nullptr ? value->data != shown : (i == 0 || loaded[n].ChanConfig != 0)) {
        differences.push_back(
            Line(value != nullptr ? value->line : key->line) + ": " + what + "the device reads " +
            Quoted(kValueNames[i]) + " as " + (value != nullptr ? value->data : "absent") +
            ", a load shows " + shown);
      }
    }
    for (int i = 0; i < 2; ++i) {
      const DeviceValue* value = DeviceView::FindValue(*key, kValueNames[2 + i]);
      const AoSetting device = DeviceAoSetting(value);
      if (!SameSetting(device, loaded[n].AOSettings[i])) {
        differences.push_back(Line(value != nullptr ? value->line : key->line) + ": " + what +
                              "the device reads " + Quoted(kValueNames[2 + i]) + " as " +
                              Volts(device) + ", a load shows " +
                              Volts(loaded[n].AOSettings[i]));
      }
    }
  }
  return differences;
}

}  // namespace zuv
