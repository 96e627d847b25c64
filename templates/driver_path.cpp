#include "templates/driver_path.h"

#include <filesystem>
#include <system_error>

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
#ifndef _WIN32
  // Only a path through a symbolic link changes: any other keeps the name it
  // was given, so its keys and bus come from the same text as always.
  if (&fileSystem == &NativeFileSystem()) {
    std::error_code error;
    const std::filesystem::path real = std::filesystem::canonical(path, error);
    if (!error) {
      const std::filesystem::path plain = std::filesystem::absolute(path, error).lexically_normal();
      if (!error && plain != real) return real.string();
    }
  }
#else
  (void)fileSystem;
#endif
  return path;
}

}  // namespace zuv
