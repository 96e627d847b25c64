#include "templates/template_document.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <map>

#include <nlohmann/json.hpp>

#include "templates/ao_setting_text.h"
#include "templates/template_rules.h"

namespace zuv {

namespace {

using Json = nlohmann::ordered_json;

Json AoJson(const AoSetting& setting) {
  const int range = FindAoRange(setting);
  if (range >= 0 && setting.RefHigh == AoRangeTable[range].RefHigh &&
      setting.RefLow == AoRangeTable[range].RefLow) {
    if (setting.Code == 0) return AoRangeTable[range].Label;
    return Json{{"range", AoRangeTable[range].Label}, {"code", setting.Code}};
  }
  Json ao{{"refHigh", SavedAoEnd(setting.RefHigh)}, {"refLow", SavedAoEnd(setting.RefLow)}};
  if (setting.Code != 0) ao["code"] = setting.Code;
  return ao;
}

// A refusal of the document's form (where in it, and why) is thrown as the
// Status the parse returns: Condition::kRuleRefused.
Status FormError(std::string message) {
  return Status::Of(Condition::kRuleRefused, std::move(message));
}

std::string Quoted(const char* field) { return std::string("\"") + field + "\""; }

// At most about kQuoteLimit bytes of `text`, cut at a character's start, with
// "..." when cut: a message never carries a whole large value.
std::string Shortened(const std::string& text) {
  if (text.size() <= kQuoteLimit) return text;
  size_t end = kQuoteLimit - 3;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end) + "...";
}

// A value as JSON text for a message, shortened.
std::string Excerpt(const Json& value) {
  return Shortened(value.dump(-1, ' ', false, Json::error_handler_t::replace));
}

// The whole number in `value` within [low, high]; otherwise a FormError
// naming the field. A number too large for a whole number of 64 bits is read
// as a float: when it has no fraction it is out of range as well.
int64_t WholeNumber(const Json& value, const std::string& where, const char* field, int64_t low,
                    int64_t high) {
  const std::string range = std::to_string(low) + " to " + std::to_string(high);
  const std::string outOfRange =
      where + ": " + Quoted(field) + " " + Excerpt(value) + " is out of range (" + range + ")";
  if (value.is_number_float()) {
    const double number = value.get<double>();
    if (number == std::trunc(number) && (number < static_cast<double>(low) ||
                                         number > static_cast<double>(high))) {
      throw FormError(outOfRange);
    }
  }
  if (!value.is_number_integer()) {
    throw FormError(where + ": " + Quoted(field) + " must be a whole number " + range + ", not " +
                    Excerpt(value));
  }
  const bool negative = !value.is_number_unsigned() && value.get<int64_t>() < 0;
  if (negative ? value.get<int64_t>() < low
               : value.get<uint64_t>() > static_cast<uint64_t>(high)) {
    throw FormError(outOfRange);
  }
  return negative ? value.get<int64_t>() : static_cast<int64_t>(value.get<uint64_t>());
}

const Json& Field(const Json& object, const std::string& where, const char* field) {
  auto found = object.find(field);
  if (found == object.end()) throw FormError(where + ": " + Quoted(field) + " is missing");
  return *found;
}

void OnlyKnownFields(const Json& object, const std::string& where,
                     const std::vector<const char*>& known) {
  for (auto item = object.begin(); item != object.end(); ++item) {
    bool found = false;
    for (const char* name : known) found = found || item.key() == name;
    if (!found) throw FormError(where + ": unknown field " + Excerpt(Json(item.key())));
  }
}

int RangeOfLabel(const Json& value, const std::string& where, const std::string& field) {
  if (value.is_string()) {
    if (std::optional<int> range = ParseAoRangeLabel(value.get<std::string>())) return *range;
  }
  throw FormError(where + ": " + field + " " + Excerpt(value) + ": " +
                  RefusalText(Rule::kNoSuchRange));
}

AoSetting ParseAo(const Json& value, const std::string& where, const char* name) {
  AoSetting setting = kDefaultAoSetting;
  if (value.is_string()) {
    // A label RangeOfLabel found names a range: the setting takes it.
    static_cast<void>(SetAoRange(setting, RangeOfLabel(value, where, Quoted(name))));
    return setting;
  }
  if (!value.is_object()) {
    throw FormError(where + ": " + Quoted(name) + " must be a range label or an object, not " +
                    Excerpt(value));
  }
  const std::string inner = where + "." + name;
  OnlyKnownFields(value, inner, {"range", "refHigh", "refLow", "code"});
  if (value.contains("code")) {
    setting.Code = static_cast<uint32_t>(WholeNumber(value["code"], inner, "code", 0, 0xFFFF));
  }
  if (value.contains("range")) {
    if (value.contains("refHigh") || value.contains("refLow")) {
      throw FormError(inner + ": give \"range\" or \"refHigh\" with \"refLow\", not both");
    }
    static_cast<void>(SetAoRange(setting, RangeOfLabel(value["range"], inner, "\"range\"")));
    return setting;
  }
  setting.RefHigh = static_cast<float>(
      WholeNumber(Field(value, inner, "refHigh"), inner, "refHigh", INT32_MIN, INT32_MAX));
  setting.RefLow = static_cast<float>(
      WholeNumber(Field(value, inner, "refLow"), inner, "refLow", INT32_MIN, INT32_MAX));
  return setting;
}

// An iterator over the document's text that records how far the parser has
// read, so that a refusal made while parsing can name its line and column.
class TrackingIterator {
 public:
  using iterator_category = std::input_iterator_tag;
  using value_type = char;
  using difference_type = std::ptrdiff_t;
  using pointer = const char*;
  using reference = const char&;

  TrackingIterator(const char* at, const char** read) : at_(at), read_(read) {}
  reference operator*() const { return *at_; }
  TrackingIterator& operator++() {
    *read_ = ++at_;
    return *this;
  }
  TrackingIterator operator++(int) {
    TrackingIterator old = *this;
    ++*this;
    return old;
  }
  bool operator==(const TrackingIterator& other) const { return at_ == other.at_; }
  bool operator!=(const TrackingIterator& other) const { return at_ != other.at_; }

 private:
  const char* at_;
  const char** read_;
};

// "line L, column C" of the byte at `offset`, counted as the parser counts:
// lines end at LF, columns are bytes from 1.
std::string LineAndColumn(std::string_view text, size_t offset) {
  offset = std::min(offset, text.size());
  const std::string_view before = text.substr(0, offset);
  const size_t lines = static_cast<size_t>(std::count(before.begin(), before.end(), '\n'));
  const size_t lastLf = before.rfind('\n');
  const size_t lineStart = lastLf == std::string_view::npos ? 0 : lastLf + 1;
  return "line " + std::to_string(lines + 1) + ", column " + std::to_string(offset - lineStart + 1);
}

// Builds the document's tree from the parser's events, refusing while it
// parses what no document holds and what would make the tree large: nesting
// deeper than kDocumentDepthLimit, a field given twice in one object, more
// than kTemplateCount templates, more than kDocumentValueLimit values.
class DocumentReader final : public nlohmann::json_sax<Json> {
 public:
  DocumentReader(std::string_view text, const char* const* read) : text_(text), read_(read) {}

  Json root;
  std::string error;

  bool null() override { return Add(Json(nullptr)) != nullptr; }
  bool boolean(bool value) override { return Add(Json(value)) != nullptr; }
  bool number_integer(number_integer_t value) override { return Add(Json(value)) != nullptr; }
  bool number_unsigned(number_unsigned_t value) override { return Add(Json(value)) != nullptr; }
  bool number_float(number_float_t value, const string_t&) override {
    return Add(Json(value)) != nullptr;
  }
  bool string(string_t& value) override { return Add(Json(std::move(value))) != nullptr; }
  bool binary(binary_t&) override { return Refuse("binary data"); }
  bool start_object(std::size_t) override { return Open(Json::object()); }
  bool start_array(std::size_t) override { return Open(Json::array()); }
  bool end_object() override { return Close(); }
  bool end_array() override { return Close(); }

  bool key(string_t& name) override {
    if (open_.back()->contains(name)) {
      return Refuse("the field " + Excerpt(Json(name)) + " is given twice");
    }
    key_ = std::move(name);
    return true;
  }

  bool parse_error(std::size_t position, const std::string& lastToken,
                   const Json::exception& e) override {
    if (e.id == 406) {  // a number beyond what a double holds
      const std::string field =
          !open_.empty() && open_.back()->is_object() ? Excerpt(Json(key_)) + " " : "";
      error = LineAndColumn(text_, position > 0 ? position - 1 : 0) + ": " + field +
              Shortened(lastToken) + " is out of range";
      return false;
    }
    // "[json.exception.parse_error.101] parse error at line 2, column 5: ...;
    // last read: '...'": the token shortened, the exception's name left out.
    std::string what = e.what();
    const size_t start = what.find("] ");
    if (start != std::string::npos) what.erase(0, start + 2);
    const std::string lastRead = "last read: '" + lastToken;
    const size_t at = what.find(lastRead);
    if (at != std::string::npos && lastToken.size() > kQuoteLimit) {
      what.replace(at + 12, lastToken.size(), Shortened(lastToken));
    }
    error = "not JSON: " + TextToUtf8(what);
    return false;
  }

 private:
  bool Refuse(const std::string& why) {
    const size_t read = static_cast<size_t>(*read_ - text_.data());
    error = LineAndColumn(text_, read > 0 ? read - 1 : 0) + ": " + why;
    return false;
  }

  // Places a value in the open object or list; null when refused.
  Json* Add(Json&& value) {
    if (++values_ > kDocumentValueLimit) {
      Refuse("the document holds more than " + std::to_string(kDocumentValueLimit) + " values");
      return nullptr;
    }
    if (open_.empty()) {
      root = std::move(value);
      return &root;
    }
    Json& parent = *open_.back();
    if (parent.is_object()) {
      Json& placed = parent[key_];
      placed = std::move(value);
      return &placed;
    }
    if (&parent == templates_ && parent.size() == kTemplateCount) {
      Refuse("more than " + std::to_string(kTemplateCount) +
             " templates: " + RefusalText(Rule::kNoFreeSlot));
      return nullptr;
    }
    parent.push_back(std::move(value));
    return &parent.back();
  }

  bool Open(Json&& container) {
    if (open_.size() == kDocumentDepthLimit) {
      return Refuse("nested more than " + std::to_string(kDocumentDepthLimit) + " deep");
    }
    const bool isTemplates =
        open_.size() == 1 && open_[0]->is_object() && key_ == "templates" && container.is_array();
    Json* placed = Add(std::move(container));
    if (placed == nullptr) return false;
    if (isTemplates) templates_ = placed;
    open_.push_back(placed);
    return true;
  }

  bool Close() {
    open_.pop_back();
    return true;
  }

  std::string_view text_;
  const char* const* read_;
  std::vector<Json*> open_;  // the objects and lists being read, outermost first
  std::string key_;
  Json* templates_ = nullptr;
  size_t values_ = 0;
};

// A template's channel mask: `pairs`, a list of the differential pairs, or
// "channelMask", the mask itself; 0 when neither is given.
uint32_t ParseChannels(const Json& value, const std::string& where, const char* pairs) {
  if (value.contains(pairs) && value.contains("channelMask")) {
    throw FormError(where + ": give " + Quoted(pairs) + " or \"channelMask\", not both");
  }
  if (value.contains("channelMask")) {
    return static_cast<uint32_t>(
        WholeNumber(value["channelMask"], where, "channelMask", 0, UINT32_MAX));
  }
  uint32_t mask = 0;
  if (value.contains(pairs)) {
    const Json& list = value[pairs];
    if (!list.is_array()) {
      throw FormError(where + ": " + Quoted(pairs) + " must be a list of pair numbers, not " +
                      Excerpt(list));
    }
    for (const Json& pair : list) {
      mask |= PairBits(static_cast<int>(WholeNumber(pair, where, pairs, 0, kChannelPairCount - 1)));
    }
  }
  return mask;
}

DocumentTemplate ParseTemplate(const Json& value, size_t index) {
  DocumentTemplate parsed;
  parsed.where = "templates[" + std::to_string(index) + "]";
  if (!value.is_object()) throw FormError(parsed.where + " must be an object");
  // A channel mask is "differentialPairs" or, when not whole pairs, "channelMask".
  static const std::vector<const char*> known = [] {
    std::vector<const char*> fields = {"number", "channelMask"};
    for (const TemplateValueInfo& row : kTemplateValues) fields.push_back(row.field);
    return fields;
  }();
  OnlyKnownFields(value, parsed.where, known);
  if (value.contains("number")) {
    parsed.number = static_cast<uint32_t>(
        WholeNumber(value["number"], parsed.where, "number", 0, kTemplateCount - 1));
    parsed.where += " (number " + std::to_string(*parsed.number) + ")";
  }
  for (const TemplateValueInfo& row : kTemplateValues) {
    switch (row.kind) {
      case ValueKind::kBoardId:
        parsed.boardId = static_cast<uint32_t>(WholeNumber(Field(value, parsed.where, row.field),
                                                           parsed.where, row.field, 0, UINT32_MAX));
        break;
      case ValueKind::kChannelMask:
        parsed.channelMask = ParseChannels(value, parsed.where, row.field);
        break;
      case ValueKind::kAoRange:
        parsed.ao[row.output] =
            ParseAo(Field(value, parsed.where, row.field), parsed.where, row.field);
        break;
    }
  }
  return parsed;
}

}  // namespace

std::string ExportTemplateDocument(const TemplateTable& table) {
  Json templates = Json::array();
  for (uint32_t n = 0; n < kTemplateCount; ++n) {
    const DeviceTemplate& slot = table[n];
    if (slot.Used == 0) continue;
    Json entry{{"number", n}};
    for (const TemplateValueInfo& row : kTemplateValues) {
      switch (row.kind) {
        case ValueKind::kBoardId:
          entry[row.field] = slot.*row.dword;
          break;
        case ValueKind::kChannelMask:
          if (IsPairMask(slot.*row.dword)) {
            entry[row.field] = DifferentialPairs(slot.*row.dword);
          } else {
            entry["channelMask"] = slot.*row.dword;
          }
          break;
        case ValueKind::kAoRange:
          entry[row.field] = AoJson(slot.AOSettings[row.output]);
          break;
      }
    }
    templates.push_back(std::move(entry));
  }
  const Json document{{"format", kTemplateDocumentFormat},
                      {"version", kTemplateDocumentVersion},
                      {"templates", std::move(templates)}};
  return document.dump(2) + "\n";
}

namespace {

Status Refused(std::string why) { return Status::Of(Condition::kRuleRefused, std::move(why)); }

}  // namespace

Status ParseTemplateDocument(std::string_view text, std::vector<DocumentTemplate>* templates) {
  // The parser takes a NUL for the end of the text; JSON has none outside
  // strings, and none unescaped inside them.
  const size_t nul = text.find('\0');
  if (nul != std::string_view::npos) {
    return Refused("not JSON: a NUL byte at " + LineAndColumn(text, nul));
  }
  const char* read = text.data();
  DocumentReader reader(text, &read);
  if (!Json::sax_parse(TrackingIterator(text.data(), &read),
                       TrackingIterator(text.data() + text.size(), &read), &reader)) {
    return Refused(reader.error);
  }
  const Json& document = reader.root;
  try {
    if (!document.is_object()) throw FormError("the document must be a JSON object");
    OnlyKnownFields(document, "the document", {"format", "version", "templates"});
    const Json& format = Field(document, "the document", "format");
    if (format != kTemplateDocumentFormat) {
      throw FormError("\"format\" " + Excerpt(format) + " is not \"" + kTemplateDocumentFormat +
                      "\"");
    }
    const Json& version = Field(document, "the document", "version");
    if (version != kTemplateDocumentVersion) {
      throw FormError("format version " + Excerpt(version) + " is not known (this zuv8620 reads " +
                      "version " + std::to_string(kTemplateDocumentVersion) + ")");
    }
    const Json& list = Field(document, "the document", "templates");
    if (!list.is_array()) throw FormError("\"templates\" must be a list, not " + Excerpt(list));
    std::vector<DocumentTemplate> parsed;
    for (size_t i = 0; i < list.size(); ++i) parsed.push_back(ParseTemplate(list[i], i));
    *templates = std::move(parsed);
  } catch (const Status& refusal) {
    return refusal;
  }
  return {};
}

Status ApplyTemplateDocument(TemplateTable& table, const std::vector<DocumentTemplate>& templates) {
  if (templates.size() > kTemplateCount) {
    return Refused("the document has " + std::to_string(templates.size()) +
                   " templates: " + RefusalText(Rule::kNoFreeSlot));
  }
  // The slots keep the file's values until the document's replace them: the
  // board-id rule lets a template keep an id above 15 that it already has. A
  // reserved slot (the device reads it otherwise than the load shows it;
  // export leaves it out) stays as it is unless the document names it.
  TemplateTable result = table;
  for (uint32_t n = 0; n < kTemplateCount; ++n) {
    if (!table.IsReserved(n)) result[n].Used = 0;
  }
  std::map<uint32_t, const DocumentTemplate*> byNumber;

  // A board id the file already holds in several slots (the load accepts
  // such a file) may stay in those slots: every template placed with it so
  // far, and slot n, had it in the file. A duplicate the file does not hold
  // is refused, as the editor and `set` refuse it.
  auto keepsDuplicate = [&](uint32_t n, uint32_t boardId) {
    auto hadIt = [&](uint32_t m) { return table[m].Used != 0 && table[m].SwitchID == boardId; };
    if (!hadIt(n)) return false;
    for (uint32_t m = 0; m < kTemplateCount; ++m) {
      if (result[m].Used != 0 && result[m].SwitchID == boardId && !hadIt(m)) return false;
    }
    return true;
  };

  auto place = [&](const DocumentTemplate& wanted, uint32_t n) -> std::string {
    DeviceTemplate& slot = result[n];
    slot.Used = 0;  // not counted among the templates placed so far
    Status refusal;
    if (keepsDuplicate(n, wanted.boardId)) {
      slot.SwitchID = wanted.boardId;
    } else if (result.IsSwitchIdUsed(wanted.boardId, n)) {
      refusal = RuleRefusal(Rule::kSwitchIdUsed);
    } else {
      refusal = SetBoardId(result, slot, wanted.boardId);
    }
    if (!refusal.ok()) {
      return wanted.where + ": \"boardId\" " + std::to_string(wanted.boardId) + ": " +
             ReasonText(refusal);
    }
    slot.Used = 1;
    slot.ChanConfig = wanted.channelMask;
    for (int i = 0; i < kAoOutputCount; ++i) slot.AOSettings[i] = wanted.ao[i];
    return std::string();
  };

  // Numbered templates first, so that one without a number cannot take a
  // slot that a later template names.
  for (const DocumentTemplate& wanted : templates) {
    if (!wanted.number) continue;
    auto first = byNumber.emplace(*wanted.number, &wanted);
    if (!first.second) {
      return Refused(wanted.where + ": \"number\" " + std::to_string(*wanted.number) +
                     " is also the number of " + first.first->second->where);
    }
    std::string refusal = place(wanted, *wanted.number);
    if (!refusal.empty()) return Refused(refusal);
  }
  for (const DocumentTemplate& wanted : templates) {
    if (wanted.number) continue;
    uint32_t n = 0;
    if (!AddTemplate(result, &n).ok()) {
      return Refused(wanted.where + ": " + RefusalText(Rule::kNoFreeSlot));
    }
    std::string refusal = place(wanted, n);
    if (!refusal.empty()) return Refused(refusal);
  }
  table = result;
  return {};
}

}  // namespace zuv
