#include <algorithm>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>

#include "device/unchanged_bytes.h"
#include "fileio/memory_file.h"
#include "fuzz/checks.h"
#include "regfile/reg_file.h"
#include "regfile/reg_text.h"

namespace zuv::fuzz {

namespace {

// The driver paths the input can pick: one per bus, and the PCI driver whose
// prefix ends with its built-in key.
const char* const kPaths[] = {
    "/img/Public/Korvalent/Device_Drivers/USB8620/USB8620.reg",
    "/img/Public/Korvalent/Device_Drivers/PCI8620/PCI8620.reg",
    "/img/Public/Korvalent/Device_Drivers/MXB5294/MXB5294.reg",
    "/img/Public/Korvalent/Device_Drivers/PCI2369/PCI2369.reg",
};
const char* const kNames[] = {"SwitchID", "ChanConfig", "AOSettings 0", "AOSettings 1",
                              "Dll", "x"};
constexpr uint32_t kTemplates = 18;  // 16 and 17 lie beyond the table
// No value read from a text of at most the fuzzers' input bound is larger.
constexpr uint32_t kTextLimitForSizes = 1u << 24;

// Reads the change bytes in order; past their end every byte is 0.
class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool Done() const { return at_ >= size_; }
  uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  std::string Bytes(size_t count) {
    std::string bytes;
    while (count-- > 0) bytes += static_cast<char>(Byte());
    return bytes;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

std::string Quoted(std::string_view text) {
  std::ostringstream out;
  out << '"';
  for (unsigned char c : text.substr(0, 200)) {
    if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
      out << c;
    } else {
      static const char kHex[] = "0123456789abcdef";
      out << "\\x" << kHex[c >> 4] << kHex[c & 15];
    }
  }
  out << (text.size() > 200 ? "\"..." : "\"");
  return out.str();
}

// A string the reader gives back as written: no quote or "\\" that would end
// it or escape its end, nothing that ends the line or the text.
bool ReadsBackAsString(std::string_view text) {
  for (char c : text) {
    if (c == '"' || c == '\\' || c == '\r' || c == '\n' || c == '\0') return false;
  }
  return true;
}

class StoreChecker {
 public:
  StoreChecker(std::string text, uint8_t pathChoice)
      : path_(kPaths[pathChoice % 4]), store_(files_) {
    files_.SetFile(path_, std::move(text));
  }

  std::string Run(Reader& changes) {
    opened_ = File();
    if (store_.Open(path_.c_str()) != 0) return "the store did not open a file in memory";
    if (!InStep("open")) return failure_;
    ReadEverything();
    if (!failure_.empty()) return failure_;
    for (int step = 0; !changes.Done() && step < 64; ++step) {
      Change(changes);
      if (!failure_.empty()) return "change " + std::to_string(step) + ": " + failure_;
    }
    store_.Close();
    return {};
  }

 private:
  const std::string& File() const { return *files_.GetFile(path_); }

  void Fail(const std::string& what) {
    if (failure_.empty()) failure_ = what;
  }

  bool InStep(const char* after) {
    if (store_.Text() != File()) {
      Fail(std::string("after ") + after + " the store's text " + Quoted(store_.Text()) +
           " differs from the file " + Quoted(File()));
      return false;
    }
    // The store's account of its edits is what they did to the text opened.
    const std::string outside = BytesChangedOutside(opened_, File(), store_.Changes());
    if (!outside.empty()) {
      Fail(std::string("after ") + after + ": " + outside);
      return false;
    }
    // The sections the store keeps track of through its edits are those a
    // fresh open of the same text finds.
    RegFile fresh;
    if (fresh.OpenText(File(), path_) != 0) return true;
    for (uint32_t n = 0; n < kTemplates; ++n) {
      uint32_t start = 0, end = 0, freshStart = 0, freshEnd = 0;
      store_.FindTemplateSection(n, &start, &end);
      fresh.FindTemplateSection(n, &freshStart, &freshEnd);
      if (start != freshStart || end != freshEnd) {
        Fail(std::string("after ") + after + " section " + std::to_string(n) + " is " +
             std::to_string(start) + ".." + std::to_string(end) + ", a fresh open finds " +
             std::to_string(freshStart) + ".." + std::to_string(freshEnd));
        return false;
      }
    }
    return true;
  }

  // Every value of every template, into buffers exactly as large as the
  // capacity given, so that a byte written past it is caught: no buffer
  // first, which tells the value's size, then one byte short of that size and
  // the size itself (a double word's 3 and 4); a value not found once more
  // into 4 bytes.
  void ReadEverything() {
    const std::string before = File();
    for (uint32_t n = 0; n < kTemplates; ++n) {
      uint32_t start = 0, end = 0;
      store_.FindTemplateSection(n, &start, &end);
      if (start > end || end > before.size()) {
        Fail("section " + std::to_string(n) + " has the range " + std::to_string(start) + ".." +
             std::to_string(end) + " in a text of " + std::to_string(before.size()));
        return;
      }
      store_.TemplateSectionExists(n);
      for (const char* name : kNames) {
        constexpr uint32_t kNotFound = 0xFFFFFFFFu;
        uint32_t type = kNotFound, size = 0;
        store_.QueryValue(n, name, &type, nullptr, &size, 0);
        if (type != kNotFound && size > kTextLimitForSizes) {
          Fail("value " + std::string(name) + " of " + std::to_string(n) + " has the size " +
               std::to_string(size) + " in a text of " + std::to_string(before.size()));
          return;
        }
        uint32_t capacities[2] = {4, 0};
        size_t count = 1;
        if (type != kNotFound) {
          count = 0;
          if (size > 0) capacities[count++] = size - 1;
          capacities[count++] = size;
        }
        for (size_t i = 0; i < count; ++i) {
          std::unique_ptr<uint8_t[]> buffer(new uint8_t[capacities[i]]);
          uint32_t gotType = 0, gotSize = 0;
          store_.QueryValue(n, name, &gotType, buffer.get(), &gotSize, capacities[i]);
        }
      }
    }
    if (File() != before) Fail("reading changed the file");
    InStep("reading");
  }

  void Change(Reader& changes) {
    const uint8_t kind = changes.Byte() % 7;
    const uint32_t n = changes.Byte() % kTemplates;
    const std::string old = File();
    uint32_t start = 0, end = 0;
    store_.FindTemplateSection(n, &start, &end);
    const std::string header = store_.SectionPrefix() + std::to_string(n) + "]";
    // A section found by its own header, not by a key inside other text.
    const bool ownHeader = start < end && old.compare(start, header.size(), header) == 0;

    if (kind == 5) {
      store_.AppendTemplateSection(n);
      const std::string lineEnd(regtext::FileLineEnd(old));
      const std::string first = old.empty() || regtext::EndsWithLineEnd(old) ? "" : lineEnd;
      if (File() != old + first + " " + lineEnd + header + " " + lineEnd) {
        Fail("appending " + std::to_string(n) + " gave " + Quoted(File()));
      }
      InStep("append");
      return;
    }
    if (kind == 6) {
      const uint32_t result = store_.RemoveTemplateSection(n);
      // The section goes but for structure and comment lines of its own, the
      // blank lines after the structure line that ends it or after a comment
      // that introduces the next key, and the next header's indentation,
      // which stay in their order.
      const std::string& now = File();
      // A section that ends the text and keeps nothing takes the line of one
      // blank that appending it wrote right above its header along.
      size_t front = start;
      for (const std::string_view blankLine : {" \r\n", " \n", " \r"}) {
        const size_t size = blankLine.size();
        if (start < end && end == old.size() && start >= size &&
            old.compare(start - size, size, blankLine) == 0 &&
            (start == size || regtext::IsLineEndChar(old[start - size - 1])) &&
            now == std::string_view(old).substr(0, start - size)) {
          front = start - size;
        }
      }
      bool kept = now.size() >= old.size() - (end - front) &&
                  now.compare(0, front, old, 0, front) == 0 &&
                  now.compare(now.size() - (old.size() - end), old.size() - end, old, end,
                              old.size() - end) == 0;
      if (kept && start < end) {
        const std::string_view middle =
            std::string_view(now).substr(front, now.size() - front - (old.size() - end));
        const std::string_view section = std::string_view(old).substr(start, end - start);
        size_t from = 0;
        for (size_t line = 0; kept && line < middle.size();) {
          const size_t bodyEnd = regtext::FindLineEnd(middle, line);
          const size_t lineEnd = regtext::SkipLineEnd(middle, bodyEnd);
          const std::string_view text = middle.substr(line, lineEnd - line);
          const std::string_view body = middle.substr(line, bodyEnd - line);
          const size_t at = section.find(text, from);
          const bool blank = body.find_first_not_of(" \t") == std::string_view::npos;
          kept = at != std::string_view::npos &&
                 (regtext::IsStructureLine(body) || regtext::IsCommentLine(body) || blank);
          from = at + text.size();
          line = lineEnd;
        }
      }
      if (result != 0 || !kept || (start >= end && now != old)) {
        Fail("removing " + std::to_string(n) + " (" + std::to_string(start) + ".." +
             std::to_string(end) + ") gave " + Quoted(File()));
      }
      InStep("remove");
      return;
    }

    const char* name = kNames[changes.Byte() % 6];
    uint32_t type = 0;
    std::string data;
    switch (kind) {
      case 0:
        type = kRegDword;
        data = changes.Bytes(4);
        break;
      case 1:
        type = kRegSz;
        data = changes.Bytes(changes.Byte() % 24);
        break;
      case 2:
        type = kRegBinary;
        data = changes.Bytes(1 + changes.Byte() % 40);
        break;
      case 3:
        type = kRegMultiSz;
        data = changes.Bytes(2 * (changes.Byte() % 10));
        break;
      default:
        type = 2;  // a type without a written form: the name alone
        break;
    }
    const uint32_t size = type == kRegSz ? static_cast<uint32_t>(data.size() + 1)
                                         : static_cast<uint32_t>(data.size());
    const std::string formatted = regtext::FormatValueLine(name, type, data.c_str(), size);
    // What the line holds after the name: the rest of a replaced line (its
    // name as written, its comment) may differ.
    const std::string line = formatted.substr(std::min(formatted.size(), std::strlen(name) + 3));
    const uint32_t result = store_.SetValue(n, name, type, data.c_str(), size);
    const std::string& now = File();
    const std::string what = std::string("setting ") + name + " of " + std::to_string(n) +
                             " (type " + std::to_string(type) + ")";
    if (!InStep(what.c_str())) return;
    if (result != 0) {
      if (now != old) Fail(what + " was refused but changed the file");
      return;
    }

    // Outside the section (or, without one, before the end of the file)
    // nothing moves, and the new line stands in between.
    // A key written twice may have its value in a later section: the store
    // itself tells whether the text after this section holds one.
    RegFile rest;
    const bool twice = start < end &&
                       rest.OpenText(std::string_view(old).substr(end), path_) == 0 &&
                       rest.TemplateSectionExists(n) != 0;
    const size_t keepFront = start < end ? start : old.size();
    const size_t keepBack = start < end && !twice ? old.size() - end : 0;
    if (now.size() < keepFront + keepBack + line.size() ||
        now.compare(0, keepFront, old, 0, keepFront) != 0 ||
        now.compare(now.size() - keepBack, keepBack, old, old.size() - keepBack, keepBack) != 0) {
      Fail(what + " changed bytes outside the section " + std::to_string(start) + ".." +
           std::to_string(end) + ": " + Quoted(old) + " became " + Quoted(now));
      return;
    }
    const std::string_view middle =
        std::string_view(now).substr(keepFront, now.size() - keepFront - keepBack);
    if (middle.find(line) == std::string_view::npos) {
      Fail(what + ": the line " + Quoted(line) + " is not in " + Quoted(middle));
      return;
    }
    if (!ownHeader) return;

    // Read back.
    uint8_t buffer[64] = {};
    uint32_t gotType = 0, gotSize = 0;
    const int32_t read = store_.QueryValue(n, name, &gotType, buffer, &gotSize, sizeof buffer);
    bool same = read == 0 && gotType == type;
    switch (type) {
      case kRegDword:
      case kRegBinary:
        same = same && gotSize == data.size() && std::memcmp(buffer, data.data(), gotSize) == 0;
        break;
      case kRegSz:
        if (!ReadsBackAsString(data.c_str())) return;
        same = same && gotSize == std::strlen(data.c_str()) &&
               std::memcmp(buffer, data.c_str(), gotSize) == 0;
        break;
      default:
        return;
    }
    if (!same) {
      Fail(what + " wrote " + Quoted(data) + " but reads back " +
           Quoted(std::string_view(reinterpret_cast<const char*>(buffer),
                                   gotSize < sizeof buffer ? gotSize : sizeof buffer)) +
           " of type " + std::to_string(gotType) + " (result " + std::to_string(read) +
           ") from " + Quoted(now));
    }
  }

  std::string path_;
  MemoryFileSystem files_;
  RegFile store_;
  std::string failure_;
  std::string opened_;  // the text the store opened
};

}  // namespace

std::string CheckStore(const uint8_t* data, size_t size) {
  if (size == 0) return {};
  size_t changeBytes = data[size - 1];
  if (changeBytes > size - 1) changeBytes = size - 1;
  const size_t textSize = size - 1 - changeBytes;
  Reader changes(data + textSize, changeBytes);
  const uint8_t pathChoice = changes.Byte();
  StoreChecker checker(std::string(reinterpret_cast<const char*>(data), textSize), pathChoice);
  return checker.Run(changes);
}

}  // namespace zuv::fuzz
