// How many values each template section of a driver file holds. The store's
// table of them (templates/device_template.h) and the names the proof of a
// Save expects the device to read (device/device_check.cpp) are both this
// long; they are kept apart so that the proof reads nothing of the code it
// checks.
#ifndef ZUV_BASE_TEMPLATE_VALUES_H
#define ZUV_BASE_TEMPLATE_VALUES_H

namespace zuv {

constexpr int kTemplateValueCount = 4;

}  // namespace zuv

#endif  // ZUV_BASE_TEMPLATE_VALUES_H
