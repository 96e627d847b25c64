// A line-based unified diff of two texts, enough to show what a save would
// change in a driver file.
#ifndef ZUV_CLI_UNIFIED_DIFF_H
#define ZUV_CLI_UNIFIED_DIFF_H

#include <string>
#include <string_view>

namespace zuv::cli {

// The unified diff (three lines of context) that turns `before` into `after`,
// headed "--- fromLabel" / "+++ toLabel"; empty when the texts are equal.
// Lines are split after each LF and printed with their bytes as they are (a CR
// before the LF stays); a last line without LF gets the "\ No newline at end of
// file" marker.
std::string UnifiedDiff(std::string_view before, std::string_view after,
                        const std::string& fromLabel, const std::string& toLabel);

// A header's "NAME<TAB>LABEL" as GNU diff writes "NAME<TAB>DATE", so that patch
// and git apply take the name whatever it holds: a name with a blank, a double
// quote, a backslash, a control byte or a byte above 0x7E is quoted as a C
// string ("my file.reg", "caf\303\251.reg"); other names stand as they are.
std::string DiffHeaderName(std::string_view path, std::string_view label);

}  // namespace zuv::cli

#endif  // ZUV_CLI_UNIFIED_DIFF_H
