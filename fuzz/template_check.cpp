#include <cstdio>
#include <cstring>
#include <string>

#include "fuzz/checks.h"
#include "regfile/memory_file.h"
#include "regfile/reg_file.h"
#include "regfile/text_encoding.h"
#include "templates/device_check.h"
#include "templates/template_file.h"
#include "templates/template_slots.h"

namespace zuv::fuzz {

namespace {

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

// Whether each template's section is one plain section: its key (the tail of
// its header, "Template3]" or "QDR5294S3]") occurs nowhere in the text but at
// the end of its own header line, which starts a line. Only then is a second
// load bound to equal the first: a key found elsewhere (inside another key's
// path, a second header) may be found before the section a Save wrote.
bool SectionsArePlain(const std::string& text, const std::string& prefix) {
  for (uint32_t n = 0; n < kTemplateCount; ++n) {
    const std::string header = prefix + std::to_string(n) + "]";
    const std::string key = header.substr(prefix.size() - 8);
    const size_t at = text.find(key);
    if (at == std::string::npos) continue;
    if (text.find(key, at + 1) != std::string::npos) return false;
    const size_t start = at + key.size() - header.size();
    if (at + key.size() < header.size() || text.compare(start, header.size(), header) != 0 ||
        (start > 0 && text[start - 1] != '\r' && text[start - 1] != '\n')) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::string CheckTemplates(const uint8_t* data, size_t size) {
  const std::string path = kPaths[size > 0 ? data[size - 1] % 4 : 2];
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  // The store works on the decoded text; a UTF-16 file is written back in its
  // own encoding, and one that does not decode is never written.
  const DecodedText decoded = DecodeText(std::string_view(bytes));
  const std::string& text = decoded.text;

  MemoryFileSystem files;
  files.SetFile(path, bytes);
  TemplateTable first;
  LoadTemplateTable(first, path, files);
  const Status saved = SaveTemplateTable(first, path, files);
  if (!decoded.valid) {
    if (saved.ok()) return "a Save wrote a file that does not decode";
    if (*files.GetFile(path) != bytes) return "a refused Save changed the file";
    return {};
  }

  // The same sequence straight on a second copy of the text; what the device
  // reads of it decides whether the Save may write it.
  MemoryFileSystem inPlace;
  inPlace.SetFile(path, text);
  for (uint32_t n = kTemplateCount; n-- > 0;) {
    if (first[n].Used == 0) DeleteTemplateFromFile(n, path, inPlace);
  }
  for (uint32_t n = 0; n < kTemplateCount; ++n) {
    if (first[n].Used != 0) SaveTemplate(first[n], n, path, inPlace);
  }
  const TemplateKeys keys = TemplateKeysOf(path);
  std::string encoded;
  const bool provable = CheckTemplateKeys(text, path, keys).ok() &&
                        CheckSavedText(text, *inPlace.GetFile(path), first, keys).ok() &&
                        EncodeText(decoded.encoding, *inPlace.GetFile(path), &encoded) &&
                        DetectEncoding(encoded) == decoded.encoding;
  if (!saved.ok()) {
    if (*files.GetFile(path) != bytes) return "a refused Save changed the file";
    if (provable) return "the Save failed: " + ErrorText(saved);
    return {};
  }
  if (!provable) return "a Save wrote a text that the device reads otherwise than saved";
  const DecodedText savedText = DecodeText(std::string_view(*files.GetFile(path)));
  if (!savedText.valid || savedText.encoding != decoded.encoding) {
    return "the Save changed the file's encoding or wrote text that does not decode";
  }
  if (*inPlace.GetFile(path) != savedText.text) {
    return "the Save wrote other bytes than the sequence done in place";
  }

  RegFile store(files);
  if (store.Open(path.c_str()) != 0) return "the saved file does not open";
  const std::string prefix = store.SectionPrefix();
  store.Close();
  if (!SectionsArePlain(text, prefix)) return {};

  TemplateTable second;
  LoadTemplateTable(second, path, files);
  for (uint32_t n = 0; n < kTemplateCount; ++n) {
    if (std::memcmp(&first[n], &second[n], sizeof first[n]) != 0) {
      return "template " + std::to_string(n) + " was " + Describe(first[n]) +
             " and after a Save loads as " + Describe(second[n]);
    }
  }
  return {};
}

}  // namespace zuv::fuzz
