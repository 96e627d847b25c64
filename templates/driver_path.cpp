#include "templates/driver_path.h"

namespace zuv {

std::string ComposeDriverFilePath(std::string_view root, std::string_view driverName,
                                  char separator) {
  const std::string_view directory = driverName.substr(0, 7);
  std::string path(root);
  for (std::string_view part : {std::string_view("Public"), std::string_view("Korvalent"),
                                std::string_view("Device_Drivers"), directory}) {
    path += part;
    path += separator;
  }
  path += directory;
  path += ".reg";
  return path;
}

std::string DriverKeyPath(const std::string& path, FileSystem& fileSystem,
                          const std::string& driverName) {
  if (!driverName.empty()) return ComposeDriverFilePath("", driverName, '/');
  return fileSystem.RealPath(path);
}

}  // namespace zuv
