#include "base/driver_keys.h"

namespace zuv {

namespace {

constexpr std::string_view kDriversRoot = "[HKEY_LOCAL_MACHINE\\Drivers\\";
constexpr std::string_view kDeviceDrivers = "Device_Drivers";

bool IsPathSeparator(char c) { return c == '\\' || c == '/'; }

// The driver key: the name of the folder after "Device_Drivers" and its
// separator, up to 7 characters and never past the next separator; without
// such a folder, the file's name up to 7 characters before its extension.
std::string_view DriverKeyOf(std::string_view path) {
  for (size_t at = path.find(kDeviceDrivers); at != std::string_view::npos;
       at = path.find(kDeviceDrivers, at + 1)) {
    size_t start = at + kDeviceDrivers.size();
    if (start < path.size() && IsPathSeparator(path[start])) {
      ++start;
      size_t end = start;
      while (end < path.size() && end - start < 7 && !IsPathSeparator(path[end])) ++end;
      return path.substr(start, end - start);
    }
  }
  size_t nameStart = path.size();
  while (nameStart > 0 && !IsPathSeparator(path[nameStart - 1])) --nameStart;
  std::string_view name = path.substr(nameStart);
  size_t dot = name.rfind('.');
  if (dot != std::string_view::npos && dot > 0) name = name.substr(0, dot);
  return name.substr(0, 7);
}

// The first of PCI, MXB, USB that the driver key holds; else the first that
// the whole path holds; else USB, this module's bus.
int32_t BusTypeOf(std::string_view driverKey, std::string_view path) {
  static const struct {
    std::string_view marker;
    int32_t bus;
  } kMarkers[] = {{"PCI", kBusPci}, {"MXB", kBusMxb}, {"USB", kBusUsb}};
  for (std::string_view text : {driverKey, path}) {
    for (const auto& marker : kMarkers) {
      if (text.find(marker.marker) != std::string_view::npos) return marker.bus;
    }
  }
  return kBusUsb;
}

}  // namespace

DriverKeys DeriveDriverKeys(std::string_view path) {
  DriverKeys keys;
  keys.driverKey = std::string(DriverKeyOf(path));
  const std::string_view driverKey = keys.driverKey;
  const std::string_view piece = driverKey.size() > 3 ? driverKey.substr(3, 4) : std::string_view();

  keys.builtInKey = "QDR";
  keys.builtInKey += piece;
  keys.builtInKey += 'S';

  keys.busType = BusTypeOf(driverKey, path);
  std::string& prefix = keys.sectionPrefix;
  prefix = kDriversRoot;
  switch (keys.busType) {
    case kBusPci:
      prefix += "BuiltIn\\PCI\\Template\\";
      prefix += keys.builtInKey;
      if (keys.builtInKey.find("2369") == std::string::npos) prefix += "\\Template";
      break;
    case kBusMxb:
      prefix += "BuiltIn\\";
      prefix += keys.builtInKey;
      break;
    default:
      prefix += "USB\\ClientDrivers\\VOD";
      prefix += piece;
      prefix += "_Uzore\\Template";
      break;
  }
  return keys;
}

}  // namespace zuv
