// Where a driver's registry text file lies inside an OS image tree.
#ifndef ZUV_TEMPLATES_DRIVER_PATH_H
#define ZUV_TEMPLATES_DRIVER_PATH_H

#include <string>
#include <string_view>

#include "fileio/file.h"

namespace zuv {

// root (taken unchanged, so it must end with a separator when one is wanted)
// + "Public" sep "Korvalent" sep "Device_Drivers" sep D sep D ".reg", where D
// is the first 7 characters of driverName (all of it when shorter).
std::string ComposeDriverFilePath(std::string_view root, std::string_view driverName,
                                  char separator);

// The path the driver's keys are derived from. With a driver name, the
// path that name gives in an image tree (the file may have any name, and any
// folders may lie above it); without one, fileSystem.RealPath(path): the
// file's absolute real path (a relative path, or a link of another name,
// keeps the keys of the file it names).
std::string DriverKeyPath(const std::string& path, FileSystem& fileSystem,
                          const std::string& driverName = {});

}  // namespace zuv

#endif  // ZUV_TEMPLATES_DRIVER_PATH_H
