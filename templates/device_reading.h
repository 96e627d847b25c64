// The device's reading of a driver file: the text read as the image build
// reads it, the files it #includes read from beside it.
#ifndef ZUV_TEMPLATES_DEVICE_READING_H
#define ZUV_TEMPLATES_DEVICE_READING_H

#include <string>
#include <string_view>

#include "device/build_condition.h"
#include "device/device_view.h"
#include "fileio/file.h"

namespace zuv {

// The view of `text`, the driver file `path`'s text, under `configuration`
// (every configuration when null). An #include's path is taken from the
// folder of the file that includes it unless it is a full one (a drive or a
// leading slash); its file is read whole and decoded as a driver file is.
// The text must outlive the view.
DeviceView ReadDevice(std::string_view text, const std::string& path, FileSystem& fileSystem,
                      const BuildConfiguration* configuration);

}  // namespace zuv

#endif  // ZUV_TEMPLATES_DEVICE_READING_H
