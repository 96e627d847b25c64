// Where a driver's registry text file lies inside an OS image tree.
#ifndef ZUV_TEMPLATES_DRIVER_PATH_H
#define ZUV_TEMPLATES_DRIVER_PATH_H

#include <string>
#include <string_view>

namespace zuv {

// root (taken unchanged, so it must end with a separator when one is wanted)
// + "Public" sep "Korvalent" sep "Device_Drivers" sep D sep D ".reg", where D
// is the first 7 characters of driverName (all of it when shorter).
std::string ComposeDriverFilePath(std::string_view root, std::string_view driverName,
                                  char separator);

}  // namespace zuv

#endif  // ZUV_TEMPLATES_DRIVER_PATH_H
