// The library's export, as the host calls it.
#ifndef ZUV_ENTRY_DRIVER_CONFIG_H
#define ZUV_ENTRY_DRIVER_CONFIG_H

#include <windows.h>

extern "C" {

// Opens the template editor on the driver file
//   rootPath + "Public\Korvalent\Device_Drivers\" + D + "\" + D + ".reg"
// where D is the first 7 characters of driverName, and returns at once; the
// editor then runs on the calling thread's message dispatching. When an editor
// is already open on that file, it is brought to the front instead. hostValue and
// extraText are kept but not used. Always returns 1; with a null argument no
// editor is created, and with a path longer than 259 characters a box names
// the root and the limit instead. The first call pins the library: a host may
// free it after the call, and the editor keeps working.
int WINAPI DriverConfig(DWORD hostValue, const char* rootPath, const char* driverName,
                        const char* extraText);

// The type a host gets from GetProcAddress(module, "DriverConfig").
typedef int(WINAPI* DriverConfigFunction)(DWORD, const char*, const char*, const char*);
}

#endif  // ZUV_ENTRY_DRIVER_CONFIG_H
