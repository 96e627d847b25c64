#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "device/device_check.h"
#include "fileio/memory_file.h"
#include "fuzz/checks.h"
#include "regfile/reg_file.h"
#include "regfile/text_encoding.h"
#include "templates/device_expectation.h"
#include "templates/template_file.h"
#include "templates/template_slots.h"

namespace zuv::fuzz {

namespace {

bool SameTables(const TemplateTable& a, const TemplateTable& b) {
  for (uint32_t n = 0; n < kTemplateCount; ++n) {
    if (!SameSlot(a[n], b[n])) return false;
  }
  return true;
}

// Picked by the input's last byte; a line feed (the usual last byte of a real
// file) picks this module's USB driver.
const char* const kPaths[] = {
    "/img/Public/Korvalent/Device_Drivers/PCI8620/PCI8620.reg",
    "/img/Public/Korvalent/Device_Drivers/MXB5294/MXB5294.reg",
    "/img/Public/Korvalent/Device_Drivers/USB8620/USB8620.reg",
    "/img/Public/Korvalent/Device_Drivers/PCI2369/PCI2369.reg",
};

std::string Describe(const DeviceTemplate& slot) {
  char text[200];
  std::snprintf(text, sizeof text, "used %u id %u chan %x ao {%u %g %g} {%u %g %g}",
                static_cast<unsigned>(slot.Used), static_cast<unsigned>(slot.SwitchID),
                static_cast<unsigned>(slot.ChanConfig),
                static_cast<unsigned>(slot.AOSettings[0].Code),
                static_cast<double>(slot.AOSettings[0].RefHigh),
                static_cast<double>(slot.AOSettings[0].RefLow),
                static_cast<unsigned>(slot.AOSettings[1].Code),
                static_cast<double>(slot.AOSettings[1].RefHigh),
                static_cast<double>(slot.AOSettings[1].RefLow));
  return text;
}

// The edit the input's bytes before its last pick: a kind, a slot and a value.
struct Edit {
  uint8_t kind, slot, value;
  std::string Describe() const {
    return "edit " + std::to_string(kind % 6) + " of slot " + std::to_string(slot % 16) + " with " +
           std::to_string(value);
  }
  // Makes the edit on the table the way the tool's commands do; false when
  // the table's rules refuse it (then it is not saved).
  bool Apply(TemplateTable& table) const {
    const uint32_t n = slot % kTemplateCount;
    switch (kind % 6) {
      case 0:
        return table[n].Used != 0 && (table[n].SwitchID = value % 20, true);
      case 1:
        return table[n].Used != 0 && (table[n].ChanConfig = value * 0x101u, true);
      case 2:
      case 3:
        if (table[n].Used == 0) return false;
        table[n].AOSettings[kind % 2] = {value, float(value % 11), -float(value % 7)};
        return true;
      case 4: {
        uint32_t added = 0;
        return table.AllocateTemplate(&added);
      }
      default:
        return table[n].Used != 0 && (table[n].Used = 0, true);
    }
  }
};

// The Save's sequence on the text, and the proof's verdict on what it made:
// both texts read whole, in every configuration. *sequenceText gets the text
// the sequence made and *verdict the proof.
void ProveSequence(const std::string& text, const std::string& path, const TemplateTable& loaded,
                   const TemplateTable& edited, std::string* sequenceText, Status* verdict) {
  RegFile store;
  store.OpenText(text, path);
  if (!RunSaveSequence(loaded, edited, store).ok()) return;
  *sequenceText = store.Text();
  *verdict = CheckSavedText(DeviceView(text), DeviceView(*sequenceText), ExpectedTableOf(loaded),
                            ExpectedTableOf(edited), TemplateKeysOf(path));
}

// The reading under a configuration named (each atom the text tests set or
// not by a bit of `choice`) is the reading of every configuration restricted
// to it, key by key.
std::string CompareConfigurations(const std::string& text, uint32_t choice) {
  const DeviceView every(text);
  if (every.BeyondLimit()) return {};
  BuildConfiguration configuration;
  for (uint32_t i = 0; i < every.Atoms().size(); ++i) {
    const BuildAtom& atom = every.Atoms()[i];
    const bool set = (choice >> (i % 32) & 1u) != 0;
    if (atom.kind == BuildAtom::Kind::kOpaque) continue;
    if (!set) {
      if (atom.kind != BuildAtom::Kind::kEquals) configuration.Undefine(atom.name);
    } else {
      configuration.Define(atom.name, atom.kind == BuildAtom::Kind::kEquals ? atom.value : "1");
    }
  }
  DeviceViewOptions options;
  options.configuration = &configuration;
  const DeviceView named(text, options);
  if (named.BeyondLimit()) return {};
  std::vector<bool> assignment(every.Atoms().size(), false);
  std::vector<bool> decided(every.Atoms().size(), false);
  for (uint32_t i = 0; i < every.Atoms().size(); ++i) {
    const std::optional<bool> truth = configuration.Decides(every.Atoms()[i]);
    decided[i] = truth.has_value();
    assignment[i] = truth.value_or(false);
  }
  for (const DeviceKey& key : every.Keys()) {
    // A variable's value may name another key in the named reading, and
    // give a value's data there; every configuration's reading leaves it
    // unexpanded.
    if (key.path.find("$(") != std::string::npos) continue;
    bool open = false;
    for (const DeviceRecord& record : key.records) {
      open = open || record.data.find("$(") != std::string::npos;
      for (Literal literal : every.Cubes()[record.cube]) open = open || !decided[AtomOf(literal)];
    }
    if (open) continue;
    const KeyReading want = every.ReadingIn(key, assignment);
    const DeviceKey* same = named.FindKey(key.path);
    std::optional<std::vector<KeyVariant>> got;
    if (same != nullptr) got = named.Readings(*same);
    const bool exists = got && !got->empty() && got->front().reading.exists;
    if (same != nullptr && got && got->size() != 1) {
      return "key [" + std::string(key.path) + "] reads in " + std::to_string(got->size()) +
             " ways under one configuration";
    }
    if (exists != want.exists || (exists && !got->front().reading.SameAs(want))) {
      return "key [" + std::string(key.path) + "] reads otherwise under the configuration named (" +
             configuration.Words() + ") than every configuration's reading restricted to it";
    }
  }
  return {};
}

}  // namespace

std::string CheckTemplates(const uint8_t* data, size_t size) {
  const std::string path = kPaths[size > 0 ? data[size - 1] % 4 : 2];
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  // The store works on the decoded text; a UTF-16 file is written back in its
  // own encoding, and one that does not decode is never written.
  const DecodedText decoded = DecodeText(bytes);
  const std::string& text = decoded.text;

  const Edit edit{size > 1 ? data[size - 2] : uint8_t{0}, size > 2 ? data[size - 3] : uint8_t{0},
                  size > 3 ? data[size - 4] : uint8_t{0}};

  MemoryFileSystem files;
  files.SetFile(path, std::string(bytes));
  TemplateTable loaded, edited;
  bool applied = false;
  const UpdateResult result = UpdateTemplateTable(
      path,
      [&](TemplateTable& table) {
        loaded = table;
        applied = edit.Apply(table);
        edited = table;
        return Status();
      },
      false, files);
  // A copy: a later Save replaces the file's bytes in place.
  const std::string now = *files.GetFile(path);
  // The whole texts' reading of the sequence's result: the oracle below.
  std::string sequenceText;
  Status verdict = Status::Of(Condition::kNotWritten, "the sequence failed");
  if (applied && decoded.valid) ProveSequence(text, path, loaded, edited, &sequenceText, &verdict);
  if (decoded.valid) {
    const std::string fault = CompareConfigurations(
        text, size > 7 ? uint32_t{data[size - 5]} | uint32_t{data[size - 6]} << 8 |
                             uint32_t{data[size - 7]} << 16 | uint32_t{data[size - 8]} << 24
                       : 0u);
    if (!fault.empty()) return fault;
  }
  if (!result.status.ok()) {
    if (now != bytes) return "a refused Save changed the file: " + ErrorText(result.status);
    return {};
  }
  if (!decoded.valid) return "a Save wrote a file that does not decode";
  if (!applied || SameTables(loaded, edited)) {
    return now == bytes ? std::string() : "a Save without a change wrote the file";
  }
  const DecodedText savedText = DecodeText(std::string_view(now));
  if (!savedText.valid || savedText.encoding != decoded.encoding) {
    return "the Save changed the file's encoding or wrote text that does not decode";
  }

  // The device reads the new text as the old one with exactly the edit: the
  // Save wrote what the sequence makes, and both whole texts read so.
  if (savedText.text != sequenceText) {
    return edit.Describe() + " was written otherwise than the sequence makes it";
  }
  if (!verdict.ok()) return edit.Describe() + " was written, but " + ErrorText(verdict);

  // A load gives back what was saved, and saving that again writes nothing:
  // the next Save begins with the load every load of the editor and the tool
  // makes (LoadTemplates on the file's text), and gets the table saved.
  TemplateTable second;
  const UpdateResult again = UpdateTemplateTable(
      path,
      [&](TemplateTable& table) {
        second = table;
        return Status();
      },
      false, files);
  for (uint32_t n = 0; n < kTemplateCount; ++n) {
    if (!SameSlot(edited[n], second[n])) {
      return edit.Describe() + ": template " + std::to_string(n) + " was saved as " +
             Describe(edited[n]) + " and loads as " + Describe(second[n]);
    }
  }
  if (!again.status.ok() || *files.GetFile(path) != now) {
    return "a Save without a change after " + edit.Describe() + " changed the file";
  }
  return {};
}

}  // namespace zuv::fuzz
