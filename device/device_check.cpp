#include "device/device_check.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <optional>
#include <set>

#include "base/driver_keys.h"

namespace zuv {

bool ValueChanged(const ExpectedTemplate& a, const ExpectedTemplate& b, int i) {
  const ExpectedValue& x = a.values[i];
  const ExpectedValue& y = b.values[i];
  if (!x.isAo) return x.dword != y.dword;
  return x.ao.code != y.ao.code || x.ao.high != y.ao.high || x.ao.low != y.ao.low;
}

bool SameSlot(const ExpectedTemplate& a, const ExpectedTemplate& b) {
  if (!a.used || !b.used) return !a.used && !b.used;
  for (int i = 0; i < kTemplateValueCount; ++i) {
    if (ValueChanged(a, b, i)) return false;
  }
  return true;
}

namespace {

// The loops below count the slots as the table does.
constexpr uint32_t kTemplateCount = kDeviceTemplateCount;

// The names of a template's values in the file's order (ExpectedTemplate's
// values): the board id first, then the channel mask and the analog outputs.
const char* const kValueNames[] = {"SwitchID", "ChanConfig", "AOSettings 0", "AOSettings 1"};
static_assert(std::size(kValueNames) == kTemplateValueCount, "a name for each value");

bool IsTemplateValue(std::string_view name) {
  for (const char* own : kValueNames) {
    if (SameRegistryName(name, own)) return true;
  }
  return false;
}

// A value of a used template as the Save writes it.
std::string SavedData(const ExpectedTemplate& slot, int i) {
  const ExpectedValue& value = slot.values[i];
  return value.isAo ? value.ao.text : DeviceDword(value.dword);
}

std::string Quoted(std::string_view name) { return "\"" + std::string(name) + "\""; }

std::string Line(size_t line) { return "line " + std::to_string(line); }

// An analog output's ends, "LOW ~ HIGHV" (each "%g"), as the messages name them.
std::string EndsText(float low, float high) {
  char text[64];
  std::snprintf(text, sizeof text, "%g ~ %gV", static_cast<double>(low), static_cast<double>(high));
  return text;
}

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

// Whether the device reads value i (kValueNames) as the Save meant: a
// double word as written; an analog output's code and ends read back as
// numbers, so that a fault of the formatter that wrote them shows.
bool ReadsAsSaved(const DeviceValue& value, const ExpectedTemplate& saved, int i) {
  if (!saved.values[i].isAo) return value.data == SavedData(saved, i);
  const std::optional<DeviceAoSetting> device = ReadDeviceAoSetting(value.data);
  return device && SameNumbers(*device, saved.values[i].ao);
}

std::string Volts(uint32_t code, float high, float low) {
  return "code " + std::to_string(code) + ", " + EndsText(low, high);
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

namespace {

std::string KeyText(std::string_view path) { return "key [" + std::string(path) + "]"; }

// Words of a cube of `atoms`: "with BSP_X, without BSP_Y".
std::string CubeWordsOf(const AtomTable& atoms, const Cube& cube) {
  std::string words;
  for (Literal literal : cube) {
    if (!words.empty()) words += ", ";
    words += LiteralWords(atoms[AtomOf(literal)], TruthOf(literal));
  }
  return words;
}

// " (with BSP_X)" for a comparison that told configurations apart, else "".
std::string InBuilds(const AtomSpace& space, uint64_t bits) {
  if (space.size() == 0) return {};
  return " (" + CubeWordsOf(space.Atoms(), space.CubeOf(bits)) + ")";
}

std::string ValueWords(const DeviceValue& value) { return Quoted(value.name) + " " + value.data; }

// How `now` reads against `old` (the same key), the first difference; empty
// when alike. `skipTemplate`: the template's own values are not compared.
std::string ReadingDifference(std::string_view path, const KeyReading& old, const KeyReading& now,
                              bool skipTemplate) {
  if (old.exists != now.exists) {
    return old.exists ? KeyText(path) + " (" + Line(old.line) + ") would vanish"
                      : Line(now.line) + ": " + KeyText(path) + " would appear";
  }
  for (const DeviceValue& value : old.values) {
    if (skipTemplate && IsTemplateValue(value.name)) continue;
    const DeviceValue* kept = now.Find(value.name);
    if (kept == nullptr) {
      return KeyText(path) + ": value " + Quoted(value.name) + " (" + Line(value.line) +
             ") would vanish";
    }
    if (kept->data != value.data) {
      return Line(kept->line) + ": " + KeyText(path) + ": value " + Quoted(value.name) +
             " would read " + kept->data + " instead of " + value.data;
    }
  }
  for (const DeviceValue& value : now.values) {
    if (skipTemplate && IsTemplateValue(value.name)) continue;
    if (old.Find(value.name) == nullptr) {
      return Line(value.line) + ": " + KeyText(path) + ": value " + ValueWords(value) +
             " would appear";
    }
  }
  return {};
}

// Whether two keys' lines read alike in every configuration without asking
// each: the same headers, values and deletions, read in the same
// configurations, in the same order (their lines may have moved).
// `alike[c]` is one more than a cube of `b` found to stand for the same
// configurations as cube c of `a` (0: none yet): most records of a text
// share a few cubes, which are compared atom by atom once.
bool RecordsAlike(const DeviceView& a, const DeviceKey& x, const DeviceView& b, const DeviceKey& y,
                  std::vector<uint32_t>& alike) {
  if (x.records.size() != y.records.size()) return false;
  for (auto i = x.records.begin(), j = y.records.begin(); i != x.records.end(); ++i, ++j) {
    const DeviceRecord& r = *i;
    const DeviceRecord& s = *j;
    if (r.kind != s.kind || r.data != s.data || !SameRegistryName(r.name, s.name)) return false;
    if (alike.size() <= r.cube) alike.resize(a.Cubes().size(), 0);
    if (alike[r.cube] == s.cube + 1) continue;
    const Cube& c = a.Cubes()[r.cube];
    const Cube& d = b.Cubes()[s.cube];
    if (c.size() != d.size()) return false;
    for (size_t j = 0; j < c.size(); ++j) {
      if (TruthOf(c[j]) != TruthOf(d[j]) ||
          !AtomTable::SameKey(a.Atoms()[AtomOf(c[j])], b.Atoms()[AtomOf(d[j])])) {
        return false;
      }
    }
    alike[r.cube] = s.cube + 1;
  }
  return true;
}

// Whether configuration `bits` of `space` is one `configuration` reads (it
// decides none of its atoms otherwise).
bool InConfiguration(const AtomSpace& space, uint64_t bits,
                     const BuildConfiguration* configuration) {
  if (configuration == nullptr) return true;
  for (Literal literal : space.CubeOf(bits)) {
    const std::optional<bool> decided = configuration->Decides(space.Atoms()[AtomOf(literal)]);
    if (decided && *decided != TruthOf(literal)) return false;
  }
  return true;
}

// Template value i of a reading as saved, or as it read before.
bool ValueAsSaved(const KeyReading& now, const ExpectedTemplate& saved, int i) {
  const DeviceValue* value = now.Find(kValueNames[i]);
  return value != nullptr && ReadsAsSaved(*value, saved, i);
}

bool ValueAsBefore(const KeyReading& old, const KeyReading& now, int i) {
  const DeviceValue* a = old.Find(kValueNames[i]);
  const DeviceValue* b = now.Find(kValueNames[i]);
  if (a == nullptr || b == nullptr) return a == b;
  return a->data == b->data;
}

// Whether a reading holds the template: its key with any of its values. A
// key without them (its values all under a condition) holds no template.
bool HoldsTemplate(const KeyReading& reading) {
  if (!reading.exists) return false;
  for (const char* name : kValueNames) {
    if (reading.Find(name) != nullptr) return true;
  }
  return false;
}

// A changed template in one configuration: `named` when the configuration
// is one the Save was made for.
std::string ChangedTemplateDifference(uint32_t n, std::string_view path, const KeyReading& old,
                                      const KeyReading& now, const ExpectedTemplate& loaded,
                                      const ExpectedTemplate& saved, bool named) {
  const std::string what = "template " + std::to_string(n) + " ";
  const bool was = HoldsTemplate(old);
  const bool is = HoldsTemplate(now);
  if (!saved.used) {
    if (!now.exists || ((!named || !was) && now.SameAs(old))) return {};
    return Line(now.line) + ": " + what + "is removed, but the " + KeyText(path) + " would stay";
  }
  const bool added = !loaded.used;
  // Where the template was not read before, a Save leaves it so; an added
  // one is read where the build reads its new lines.
  if (!is) {
    if (!was && (!added || !named)) return ReadingDifference(path, old, now, false);
    return what + "'s key [" + std::string(path) + "] would be missing";
  }
  if (!was && !added) {
    return Line(now.line) + ": " + KeyText(path) + " would appear";
  }
  for (int i = 0; i < kTemplateValueCount; ++i) {
    const bool changed = added || ValueChanged(loaded, saved, i);
    const bool asSaved = ValueAsSaved(now, saved, i);
    const bool asBefore = !added && ValueAsBefore(old, now, i);
    const bool fine = named ? (changed ? asSaved : asBefore) : (asSaved || asBefore);
    if (fine) continue;
    const DeviceValue* value = now.Find(kValueNames[i]);
    return (value != nullptr ? Line(value->line) + ": " : std::string()) + KeyText(path) +
           ": value " + Quoted(kValueNames[i]) + " would read " +
           (value == nullptr ? std::string("nothing") : value->data) + ", not " +
           (changed || !named ? SavedData(saved, i) + " as saved" : "as before");
  }
  if (added) {
    for (const DeviceValue& value : now.values) {
      if (!IsTemplateValue(value.name)) {
        return Line(value.line) + ": " + KeyText(path) + ": value " + ValueWords(value) +
               " would appear";
      }
    }
    return {};
  }
  return ReadingDifference(path, old, now, true);
}

std::string SavedTextDifference(const DeviceView& old, const DeviceView& now,
                                const ExpectedTable& loaded, const ExpectedTable& saved,
                                const TemplateKeys& keys, const BuildConfiguration* configuration) {
  const std::vector<StructureLine>& oldLines = old.StructureLines();
  const std::vector<StructureLine>& newLines = now.StructureLines();
  for (size_t i = 0; i < oldLines.size() || i < newLines.size(); ++i) {
    if (i >= newLines.size()) {
      return "the build's line \"" + std::string(oldLines[i].text) + "\" would vanish";
    }
    if (i >= oldLines.size() || oldLines[i].text != newLines[i].text) {
      return "the build's line \"" + std::string(newLines[i].text) + "\" would stand where \"" +
             std::string(i < oldLines.size() ? oldLines[i].text : "the end of the file") + "\" was";
    }
  }
  if (old.BeyondLimit() || now.BeyondLimit()) {
    return (now.Notes().empty() ? std::string("the file's conditions read in too many ways")
                                : now.Notes().front());
  }
  static const DeviceKey kNoKey;
  // Every key of either text, each once.
  std::vector<std::pair<const DeviceKey*, const DeviceKey*>> pairs;
  // Both views keep their keys in the order first read: a key of the same
  // place and name in the other is the same key, found without a look-up.
  const std::vector<DeviceKey>& oldKeys = old.Keys();
  const std::vector<DeviceKey>& newKeys = now.Keys();
  auto samePlace = [](const std::vector<DeviceKey>& keys, size_t i, const DeviceKey& key) {
    return i < keys.size() && SameRegistryName(keys[i].path, key.path);
  };
  pairs.reserve(oldKeys.size());
  for (size_t i = 0; i < oldKeys.size(); ++i) {
    const DeviceKey& key = oldKeys[i];
    const DeviceKey* kept = samePlace(newKeys, i, key) ? &newKeys[i] : now.FindKey(key.path);
    pairs.emplace_back(&key, kept != nullptr ? kept : &kNoKey);
  }
  for (size_t i = 0; i < newKeys.size(); ++i) {
    const DeviceKey& key = newKeys[i];
    if (!samePlace(oldKeys, i, key) && old.FindKey(key.path) == nullptr) {
      pairs.emplace_back(&kNoKey, &key);
    }
  }
  std::vector<uint32_t> alike;  // RecordsAlike's cubes found alike
  for (const auto& [a, b] : pairs) {
    const std::string_view path = a != &kNoKey ? a->path : b->path;
    const int n = TemplateOf(keys, path);
    const bool changed = n >= 0 && !SameSlot(loaded[n], saved[n]);
    if (!changed && a != &kNoKey && b != &kNoKey && RecordsAlike(old, *a, now, *b, alike)) continue;
    AtomSpace space;
    space.Add(old, *a);
    space.Add(now, *b);
    if (space.size() > kMaxKeyAtoms) {
      return KeyText(path) + " is read under more than " + std::to_string(kMaxKeyAtoms) +
             " conditions of the build; name a configuration to change it";
    }
    for (uint64_t bits = 0; bits < (uint64_t{1} << space.size()); ++bits) {
      if (!space.Consistent(bits)) continue;
      const KeyReading before = old.ReadingIn(*a, space.For(old, bits));
      const KeyReading after = now.ReadingIn(*b, space.For(now, bits));
      const std::string difference =
          changed
              ? ChangedTemplateDifference(static_cast<uint32_t>(n), path, before, after, loaded[n],
                                          saved[n], InConfiguration(space, bits, configuration))
              : ReadingDifference(path, before, after, false);
      if (!difference.empty()) return difference + InBuilds(space, bits);
    }
  }
  return {};
}

// A template's reading in the words a person reads: "board 1, channels
// 0x0003, AO0 0 ~ 10V, AO1 -5 ~ 5V", or the values as written when they are
// of another form.
std::string ReadingWords(const KeyReading& reading) {
  const DeviceValue* id = reading.Find(kValueNames[0]);
  const DeviceValue* channels = reading.Find(kValueNames[1]);
  auto dword = [](const DeviceValue* value) -> std::optional<unsigned long> {
    if (value == nullptr || value->data.compare(0, 6, "dword:") != 0) return std::nullopt;
    return std::strtoul(value->data.c_str() + 6, nullptr, 16);
  };
  std::string words;
  if (std::optional<unsigned long> board = dword(id)) {
    words = "board " + std::to_string(*board);
  } else {
    words = id == nullptr ? "no board id" : "board id " + id->data;
  }
  char mask[16];
  std::snprintf(mask, sizeof mask, "0x%04lx", dword(channels).value_or(0));
  words += ", channels ";
  words += channels == nullptr || dword(channels) ? std::string(mask) : channels->data;
  for (int i = 0; i < 2; ++i) {
    const DeviceAoSetting ao = DeviceAo(reading.Find(kValueNames[2 + i]));
    words += ", AO" + std::to_string(i) + " " + EndsText(ao.low, ao.high);
  }
  return words;
}

}  // namespace

std::vector<TemplateVariant> TemplateVariants(const DeviceView& view, const TemplateKeys& keys,
                                              uint32_t n, bool* beyond) {
  *beyond = false;
  std::vector<TemplateVariant> variants;
  const DeviceKey* key = view.FindKey(keys.Key(n));
  if (key == nullptr) return variants;
  std::optional<std::vector<KeyVariant>> readings = view.Readings(*key);
  if (!readings || view.BeyondLimit()) {
    *beyond = true;
    return variants;
  }
  // A build in which the key holds none of the template's values reads no
  // template there, unless no build reads one: then the empty key is the
  // one reading.
  bool anyHolds = false;
  for (const KeyVariant& reading : *readings) anyHolds = anyHolds || HoldsTemplate(reading.reading);
  for (KeyVariant& reading : *readings) {
    if (anyHolds ? !HoldsTemplate(reading.reading) : !reading.reading.exists) continue;
    // Readings that differ only in values other than the template's own are
    // one reading of the template: those values are no part of it.
    auto same = std::find_if(variants.begin(), variants.end(), [&](const TemplateVariant& seen) {
      for (const char* name : kValueNames) {
        const DeviceValue* x = seen.reading.Find(name);
        const DeviceValue* y = reading.reading.Find(name);
        if ((x == nullptr) != (y == nullptr) || (x != nullptr && x->data != y->data)) return false;
      }
      return true;
    });
    if (same != variants.end()) {
      same->when.insert(same->when.end(), reading.when.begin(), reading.when.end());
      continue;
    }
    TemplateVariant variant;
    variant.when = std::move(reading.when);
    variant.reading = std::move(reading.reading);
    variants.push_back(std::move(variant));
  }
  for (TemplateVariant& variant : variants) {
    variant.when = SimplifyUnion(std::move(variant.when));
    variant.words = view.WhenWords(variant.when);
    variant.options = view.CubeOptions(variant.when.front());
    variant.summary = ReadingWords(variant.reading);
  }
  return variants;
}

std::string VariantsWords(const std::vector<TemplateVariant>& variants) {
  std::string text;
  size_t shown = 0;
  for (const TemplateVariant& variant : variants) {
    if (shown == 4) {
      text += "; and " + std::to_string(variants.size() - shown) + " more";
      break;
    }
    if (!text.empty()) text += "; ";
    // A reading's builds are cut short where many variables part them: the
    // message stays a few lines whatever the file.
    constexpr size_t kWordsShown = 60;
    std::string words = variant.words;
    if (words.size() > kWordsShown) {
      const size_t cut = words.rfind(", ", kWordsShown);
      words = words.substr(0, cut == std::string::npos ? kWordsShown : cut) + ", ...";
    }
    text += words + ": " + variant.summary;
    ++shown;
  }
  return text;
}

std::string VariantsWayForward(const std::vector<TemplateVariant>& variants) {
  std::string text;
  for (size_t i = 0; i < variants.size() && i < 2; ++i) {
    if (variants[i].options.empty()) continue;
    // A second way is named only while the words stay short.
    if (!text.empty() && text.size() + variants[i].options.size() > 160) break;
    if (!text.empty()) text += " or ";
    text += variants[i].options;
  }
  return text.empty() ? std::string() : "name the build with " + text;
}

Status CheckSavedText(const DeviceView& before, const DeviceView& after,
                      const ExpectedTable& loaded, const ExpectedTable& saved,
                      const TemplateKeys& keys, const BuildConfiguration* configuration) {
  return Refused(SavedTextDifference(before, after, loaded, saved, keys, configuration));
}

std::vector<std::string> ChangesElsewhere(const DeviceView& before, const DeviceView& after,
                                          const ExpectedTable& loaded, const ExpectedTable& saved,
                                          const TemplateKeys& keys,
                                          const BuildConfiguration& configuration) {
  std::vector<std::string> notes;
  for (uint32_t n = 0; n < kDeviceTemplateCount; ++n) {
    if (SameSlot(loaded[n], saved[n])) continue;
    const std::string path = keys.Key(n);
    const DeviceKey* a = before.FindKey(path);
    const DeviceKey* b = after.FindKey(path);
    AtomSpace space;
    if (a != nullptr) space.Add(before, *a);
    if (b != nullptr) space.Add(after, *b);
    // The variables the configuration sets or unsets part its builds from
    // the others, also where the template's lines test none of them.
    for (uint32_t i = 0; i < before.Atoms().size(); ++i) {
      if (configuration.Decides(before.Atoms()[i])) space.Add(before.Atoms()[i]);
    }
    const DeviceKey none;
    // The literals, against the configuration, of the builds that read the
    // template otherwise now.
    std::set<std::string> elsewhere;
    for (uint64_t bits = 0; space.size() <= kMaxKeyAtoms && bits < (uint64_t{1} << space.size());
         ++bits) {
      if (!space.Consistent(bits) || InConfiguration(space, bits, &configuration)) continue;
      const KeyReading old = before.ReadingIn(a != nullptr ? *a : none, space.For(before, bits));
      const KeyReading now = after.ReadingIn(b != nullptr ? *b : none, space.For(after, bits));
      if (old.SameAs(now)) continue;
      for (Literal literal : space.CubeOf(bits)) {
        const BuildAtom& atom = space.Atoms()[AtomOf(literal)];
        const std::optional<bool> decided = configuration.Decides(atom);
        if (decided && *decided != TruthOf(literal)) {
          elsewhere.insert(LiteralWords(atom, TruthOf(literal)));
        }
      }
    }
    if (elsewhere.empty()) continue;
    std::string words;
    for (const std::string& literal : elsewhere) words += (words.empty() ? "" : ", or ") + literal;
    notes.push_back("template " + std::to_string(n) + ": the change is read also " + words);
  }
  return notes;
}

Status CheckTemplateKeys(const DeviceView& view, const TemplateKeys& keys, OtherDriverHint hint) {
  return Refused(ForeignKey(view, keys, hint));
}

std::vector<UnshownTemplate> UnshownTemplates(const DeviceView& view, const ExpectedTable& loaded,
                                              const TemplateKeys& keys, uint32_t slots,
                                              UnshownWords words) {
  std::vector<UnshownTemplate> unshown;
  for (uint32_t n = 0; n < kTemplateCount; ++n) {
    if ((slots >> n & 1u) == 0) continue;
    const std::string path = keys.Key(n);
    const auto what = [n] { return "template " + std::to_string(n) + ": "; };
    // The words are made only when asked for: a load that only reserves the
    // slots is spared the messages.
    auto add = [&unshown, n, words](auto text, bool hidden = false) {
      unshown.push_back({n, words == UnshownWords::kWorded ? text() : std::string(), hidden, {}});
    };
    const DeviceKey* key = view.FindKey(path);
    bool beyond = false;
    std::vector<TemplateVariant> variants = TemplateVariants(view, keys, n, &beyond);
    if (beyond) {
      add([&] {
        return what() + "the build reads it under more conditions than are told apart here; " +
               "name a configuration (--define, --undefine, --config or --environment) to " +
               "change it";
      });
      continue;
    }
    if (variants.size() > 1) {
      add([&] {
        return what() + "it reads otherwise by build: " + VariantsWords(variants) +
               "; no change is written to it until the build is named: " +
               VariantsWayForward(variants);
      });
      unshown.back().variants = std::move(variants);
      continue;
    }
    if (variants.empty()) {
      if (key == nullptr || !loaded[n].used) continue;
      const DeviceRecord* deletion = nullptr;
      for (const DeviceRecord& record : key->records) {
        if (record.kind == DeviceRecord::Kind::kDelete) deletion = &record;
      }
      if (deletion != nullptr) {
        add(
            [&] {
              return Line(deletion->line) + " ([-" + std::string(deletion->name) + "]): " + what() +
                     "the build deletes its key [" + path +
                     "]; it is not shown, and no change "
                     "is written to template " +
                     std::to_string(n) + " while its section stands";
            },
            true);
        continue;
      }
      add(
          [&] {
            return what() + "the device reads no key [" + path +
                   "] in any build: its lines stand in a block the build leaves out, under "
                   "another key, or the build deletes it; it is not shown";
          },
          true);
      continue;
    }
    const KeyReading& reading = variants.front().reading;
    const size_t keyLine = reading.line;
    if (!loaded[n].used) {
      const DeviceValue* id = reading.Find(kValueNames[0]);
      if (id != nullptr && id->data.compare(0, 6, "dword:") == 0) {
        add([&] {
          return Line(id->line) + ": " + what() + "the device reads " + KeyText(path) +
                 " with \"SwitchID\" " + id->data + ", a template that a load does not show";
        });
      } else {
        add([&] {
          return Line(id != nullptr ? id->line : keyLine) + ": " + what() + "the device reads " +
                 KeyText(path) +
                 (id != nullptr ? " with \"SwitchID\" " + id->data + "," : std::string()) +
                 " without a double-word \"SwitchID\", so it is not shown; give it one or take "
                 "the key out, and until then no change is written to template " +
                 std::to_string(n);
        });
      }
      continue;
    }
    for (int i = 0; i < kTemplateValueCount; ++i) {
      const DeviceValue* value = reading.Find(kValueNames[i]);
      const ExpectedValue& want = loaded[n].values[i];
      if (!want.isAo) {
        // An absent double word reads as 0, as a load gives it; the board id
        // (the first) is never absent from a template a load shows.
        const std::string shown = SavedData(loaded[n], i);
        if (value != nullptr ? value->data != shown : (i == 0 || want.dword != 0)) {
          add([&] {
            return Line(value != nullptr ? value->line : keyLine) + ": " + what() +
                   "the device reads " + Quoted(kValueNames[i]) + " as " +
                   (value != nullptr ? value->data : "absent") + ", a load shows " + shown;
          });
        }
        continue;
      }
      const DeviceAoSetting device = DeviceAo(value);
      const ExpectedAo& shown = want.ao;
      if (!SameNumbers(device, shown)) {
        add([&] {
          return Line(value != nullptr ? value->line : keyLine) + ": " + what() +
                 "the device reads " + Quoted(kValueNames[i]) + " as " +
                 Volts(device.code, device.high, device.low) + ", a load shows " +
                 Volts(shown.code, shown.high, shown.low);
        });
      }
    }
  }
  return unshown;
}

std::vector<uint32_t> BoardIdsOfReadings(const DeviceView& view, const TemplateKeys& keys,
                                         uint32_t slots) {
  std::vector<uint32_t> ids;
  for (uint32_t n = 0; n < kTemplateCount; ++n) {
    if ((slots >> n & 1u) == 0) continue;
    bool beyond = false;
    for (const TemplateVariant& variant : TemplateVariants(view, keys, n, &beyond)) {
      const DeviceValue* id = variant.reading.Find(kValueNames[0]);
      if (id == nullptr || id->data.compare(0, 6, "dword:") != 0) continue;
      ids.push_back(static_cast<uint32_t>(std::strtoul(id->data.c_str() + 6, nullptr, 16)));
    }
  }
  return ids;
}

std::vector<ReadBoardIdClash> FindBoardIdClashes(const DeviceView& view, const TemplateKeys& keys,
                                                 uint32_t slots) {
  std::vector<ReadBoardIdClash> clashes;
  for (uint32_t n = 0; n < kTemplateCount; ++n) {
    const DeviceKey* a = view.FindKey(keys.Key(n));
    if (a == nullptr) continue;
    for (uint32_t m = n + 1; m < kTemplateCount; ++m) {
      if (((slots >> n | slots >> m) & 1u) == 0) continue;
      const DeviceKey* b = view.FindKey(keys.Key(m));
      if (b == nullptr) continue;
      AtomSpace space;
      space.Add(view, *a);
      space.Add(view, *b);
      if (space.size() > kMaxKeyAtoms) continue;
      for (uint64_t bits = 0; bits < (uint64_t{1} << space.size()); ++bits) {
        if (!space.Consistent(bits)) continue;
        const KeyReading x = view.ReadingIn(*a, space.For(view, bits));
        const KeyReading y = view.ReadingIn(*b, space.For(view, bits));
        const DeviceValue* idX = x.Find(kValueNames[0]);
        const DeviceValue* idY = y.Find(kValueNames[0]);
        if (!x.exists || !y.exists || idX == nullptr || idY == nullptr || idX->data != idY->data ||
            idX->data.compare(0, 6, "dword:") != 0) {
          continue;
        }
        const std::string builds = space.size() == 0
                                       ? std::string()
                                       : " " + CubeWordsOf(space.Atoms(), space.CubeOf(bits));
        clashes.push_back({n, m, space.size() != 0,
                           Line(idY->line) + ": templates " + std::to_string(n) + " and " +
                               std::to_string(m) + " both have board id " +
                               std::to_string(std::strtoul(idX->data.c_str() + 6, nullptr, 16)) +
                               builds + "; the device takes only one of them"});
        break;
      }
    }
  }
  return clashes;
}

std::vector<std::string> BoardIdClashes(const DeviceView& view, const TemplateKeys& keys) {
  std::vector<std::string> texts;
  // A clash in every build is one the store's own check names.
  for (ReadBoardIdClash& clash : FindBoardIdClashes(view, keys)) {
    if (clash.conditional) texts.push_back(std::move(clash.text));
  }
  return texts;
}

std::string OpenBlockAtEndText(const DeviceView& view) {
  if (view.OpenAtEnd() == 0) return {};
  return Line(view.OpenAtEnd()) + ": the file ends inside the block of \"" + view.OpenAtEndText() +
         "\"; a template added at the end would stand under it, so none "
         "is added";
}

Status CheckAppendAtEnd(const DeviceView& view, const ExpectedTable& loaded,
                        const ExpectedTable& saved,
                        const std::function<bool(uint32_t)>& hasSection) {
  if (view.OpenAtEnd() == 0) return {};
  for (uint32_t n = 0; n < kTemplateCount; ++n) {
    if (saved[n].used && !loaded[n].used && !hasSection(n)) {
      return Refused(OpenBlockAtEndText(view));
    }
  }
  return {};
}

}  // namespace zuv
