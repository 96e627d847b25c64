// The names a driver file's templates go by, derived from the file's path:
// the driver key, the bus and the key path that every template's section
// header starts with.
#ifndef ZUV_BASE_DRIVER_KEYS_H
#define ZUV_BASE_DRIVER_KEYS_H

#include <cstdint>
#include <string>
#include <string_view>

namespace zuv {

// The bus a driver sits on, chosen from the driver file's path.
enum BusType : int32_t {
  kBusPci = 0,
  kBusUsb = 1,
  kBusMxb = 2,
};

struct DriverKeys {
  // The folder after "Device_Drivers" (or the file's name), up to 7 characters.
  std::string driverKey;
  // "QDR" + the driver key's characters 4 to 7 + "S".
  std::string builtInKey;
  int32_t busType = kBusUsb;
  // "[HKEY_LOCAL_MACHINE\Drivers\" and the bus's key path, up to the word
  // that precedes a template's number ("...\Template", or the built-in key).
  std::string sectionPrefix;
};

DriverKeys DeriveDriverKeys(std::string_view path);

}  // namespace zuv

#endif  // ZUV_BASE_DRIVER_KEYS_H
