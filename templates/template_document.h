// The template table as one JSON document, for keeping a driver file's
// templates in version control and applying them from a build:
//
//   {"format": "zuv8620-templates", "version": 1, "templates": [
//     {"number": 0, "boardId": 0, "differentialPairs": [0],
//      "ao0": "0 ~ 10V", "ao1": "-5 ~ 5V"}, ...]}
//
// docs/template-document.schema.json describes it. A template's channels are
// "differentialPairs" (pair k is channels 2k and 2k+1) or, for a mask that
// is not whole pairs (a pair half set, bits above 15), "channelMask". An
// output is the label of its range, or an object {"range": LABEL, "code": C}
// when its code is not 0, or {"refHigh": H, "refLow": L, "code": C} when its
// ends match none of the four ranges ("code" optional, 0 when left out).
#ifndef ZUV_TEMPLATES_TEMPLATE_DOCUMENT_H
#define ZUV_TEMPLATES_TEMPLATE_DOCUMENT_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"
#include "regfile/text_encoding.h"  // TextToUtf8, for text from a file put in JSON
#include "templates/device_template.h"

namespace zuv {

constexpr const char* kTemplateDocumentFormat = "zuv8620-templates";
constexpr int kTemplateDocumentVersion = 1;

// What a document may be: bytes, depth of nesting, values (numbers, strings,
// objects and lists; a document of 16 templates has a few hundred), and bytes
// of one value quoted in a message.
constexpr size_t kDocumentByteLimit = 16u << 20;
constexpr size_t kDocumentDepthLimit = 64;
constexpr size_t kDocumentValueLimit = 10000;
constexpr size_t kQuoteLimit = 80;

// The used templates of the table, in number order, indented by two blanks,
// with a closing newline. Applying it to a file whose templates were saved in
// the standard form changes no byte.
std::string ExportTemplateDocument(const TemplateTable& table);

// One template as a document gives it, with the defaults of the fields left out.
struct DocumentTemplate {
  std::string where;              // "templates[2]", for messages
  std::optional<uint32_t> number;
  uint32_t boardId = 0;
  uint32_t channelMask = 0;       // left out: 0, as a slot the editor's Add takes
  AoSetting ao[kAoOutputCount] = {kDefaultAoSetting, kDefaultAoSetting};
};

// Reads a document. Condition::kRuleRefused saying where and why: not JSON, a NUL
// byte, bytes after the document, nesting, values or templates beyond the
// limits above, a field given twice (each with its line and column); another
// format or version, a field missing, of the wrong type or out of range, an
// unknown field, a range label that is none of the four. Never throws but
// std::bad_alloc.
Status ParseTemplateDocument(std::string_view text, std::vector<DocumentTemplate>* templates);

// Makes the used templates of `table` exactly the document's: slots the
// document does not name become free; a template without a number takes the
// first slot left free, as the editor's Add does. Refused
// (Condition::kRuleRefused naming the template; the table is unchanged): more
// than 16 templates, a number used twice, a board id used twice (but for one
// that the file already holds in those same slots, so that a file's own
// export applies to it), a board id above 15 that the template of that number
// does not have already.
Status ApplyTemplateDocument(TemplateTable& table, const std::vector<DocumentTemplate>& templates);

}  // namespace zuv

#endif  // ZUV_TEMPLATES_TEMPLATE_DOCUMENT_H
