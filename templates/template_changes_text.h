// The words of the editor's boxes about a Save that met another program's
// changes: the prompt that asks about conflicting templates (what each side
// did and both values) and the note about added templates that took another
// board id. Also the breaking of long paths in box texts.
#ifndef ZUV_TEMPLATES_TEMPLATE_CHANGES_TEXT_H
#define ZUV_TEMPLATES_TEMPLATE_CHANGES_TEXT_H

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "templates/template_changes.h"

namespace zuv {

// The names of the values, as the pages show them (each row's shownAs in
// kTemplateValues: "BoardID", "differential pairs", ...), in the table's
// order; joined with "and" for several bits.
std::string ValueNames(uint32_t values);
// A template's value as its page shows it: "7", "0,3" (or "none", or the mask
// when that says no more), "-5 ~ 5V".
std::string ValueText(const DeviceTemplate& slot, TemplateValue value);

// The question of a Save whose merge has `conflicts` (one text for all):
// for each template what each side did and, per value, the file's value and
// the editor's; then what Yes, No and Cancel do. `merged.file` gives the
// file's values.
std::string ConflictPrompt(const std::vector<TemplateConflict>& conflicts,
                           const TemplateTable& edited, const MergedTemplates& merged);

// The note after a Save that gave added templates other board ids than the
// editor showed (a template of the file had theirs); empty when none did.
std::string MovedTemplatesNote(const MergedTemplates& merged);

// The text with every run of more than `width` characters without a blank (a
// path) broken onto lines of at most `width` characters, after a "\" or "/"
// where there is one: a box is never wider than such a line.
std::string BreakLongWords(std::string_view text, size_t width = 120);

// Text for a box: valid UTF-8 (text that is not UTF-8 taken as its
// Windows-1252 characters, see TextToUtf8), long words broken (BreakLongWords),
// and short enough for a box whose buttons a 1,024 x 768 screen shows
// (FitBoxText).
std::string BoxText(std::string_view text);

// The text cut to at most `lines` lines as a box shows them (a line wraps
// every `columns` characters): its last paragraph (what the buttons do, what
// to do) is always kept whole, and of what comes before, the first lines and
// a line "... and N more lines" in place of the rest.
std::string FitBoxText(std::string_view text, size_t lines = 25, size_t columns = 64);

// Check's "template 3" as the tree names it: "Template3".
std::string TreeNames(std::string_view text);

}  // namespace zuv

#endif  // ZUV_TEMPLATES_TEMPLATE_CHANGES_TEXT_H
