// The build a process runs in: a CE build window's environment names one,
// every variable of the build set or not.
#ifndef ZUV_TEMPLATES_BUILD_ENVIRONMENT_H
#define ZUV_TEMPLATES_BUILD_ENVIRONMENT_H

#include <optional>
#include <string>

#include "device/build_condition.h"
#include "fileio/file.h"

namespace zuv {

// Every variable of this process's environment whose name a build can test
// (letters, digits and '_'), as one configuration: the variables it leaves
// out are unset.
BuildConfiguration EnvironmentConfiguration();

// EnvironmentConfiguration when this process runs in a CE build window (its
// environment holds _WINCEROOT or _FLATRELEASEDIR), else nullopt.
std::optional<BuildConfiguration> BuildWindowConfiguration();

// In words, on one line, the build a driver file is read for: "Every build
// configuration", or "Build: the build window's (with BSP_X, without
// BSP_Y)", naming the variables the file at `path` tests.
std::string BuildLineText(const std::string& path, FileSystem& fileSystem,
                          const BuildConfiguration* configuration);

}  // namespace zuv

#endif  // ZUV_TEMPLATES_BUILD_ENVIRONMENT_H
