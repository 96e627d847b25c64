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

}  // namespace zuv::cli

#endif  // ZUV_CLI_UNIFIED_DIFF_H
