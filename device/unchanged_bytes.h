// The second half of a Save's proof: beside the device's reading of both
// texts, the bytes the store says it did not touch are compared with the old
// text's, byte for byte, so that a change the device reads alike (a comment,
// a blank, a line of another key) cannot slip through either.
#ifndef ZUV_DEVICE_UNCHANGED_BYTES_H
#define ZUV_DEVICE_UNCHANGED_BYTES_H

#include <string>
#include <string_view>
#include <vector>

#include "base/text_changes.h"

namespace zuv {

// Empty when `after` is `before` with only `changes` made (spans of `before`
// replaced by spans of `after`, in order); else which line of `before` is
// not as it was, or that the changes do not fit the two texts.
std::string BytesChangedOutside(std::string_view before, std::string_view after,
                                const std::vector<TextChange>& changes);

}  // namespace zuv

#endif  // ZUV_DEVICE_UNCHANGED_BYTES_H
