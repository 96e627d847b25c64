// zuv8620-host: loads ZUV8620Ude.dll the way a host configuration utility
// does, calls DriverConfig on a driver tree and dispatches window messages
// until no window of this thread is visible any more (Close hides the
// editor).
//
//   zuv8620-host.exe [--close-after MILLISECONDS] [ROOT [DRIVER]]
//
// ROOT must end with a path separator; it defaults to the sample tree of the
// checkout this program was built from, DRIVER to "USB8620A". With
// --close-after the host closes its visible windows (WM_CLOSE, as the
// window's close command would) after that time, for unattended runs.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "entry/driver_config.h"

namespace {

BOOL CALLBACK FindVisible(HWND hwnd, LPARAM found) {
  if (IsWindowVisible(hwnd)) {
    *reinterpret_cast<bool*>(found) = true;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK CloseVisible(HWND hwnd, LPARAM) {
  if (IsWindowVisible(hwnd)) PostMessageA(hwnd, WM_CLOSE, 0, 0);
  return TRUE;
}

bool ThreadHasVisibleWindow() {
  bool found = false;
  EnumThreadWindows(GetCurrentThreadId(), &FindVisible, reinterpret_cast<LPARAM>(&found));
  return found;
}

}  // namespace

int main(int argc, char** argv) {
  int next = 1;
  DWORD closeAfter = 0;
  if (argc > 2 && std::strcmp(argv[1], "--close-after") == 0) {
    closeAfter = static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10));
    next = 3;
  }
  const char* root = argc > next ? argv[next] : ZUV_SAMPLE_ROOT;
  const char* driver = argc > next + 1 ? argv[next + 1] : "USB8620A";

  HMODULE library = LoadLibraryA("ZUV8620Ude.dll");
  if (library == nullptr) {
    std::fprintf(stderr, "zuv8620-host: cannot load ZUV8620Ude.dll (error %lu)\n",
                 GetLastError());
    return 1;
  }
  auto driverConfig =
      reinterpret_cast<DriverConfigFunction>(reinterpret_cast<void*>(GetProcAddress(library, "DriverConfig")));
  if (driverConfig == nullptr) {
    std::fprintf(stderr, "zuv8620-host: ZUV8620Ude.dll has no DriverConfig\n");
    return 1;
  }

  int result = driverConfig(0, root, driver, "");
  std::printf("DriverConfig returned %d\n", result);
  std::fflush(stdout);

  // A thread timer wakes the loop now and then, so that the end is noticed
  // even when hiding the last window posts nothing.
  SetTimer(nullptr, 0, 250, nullptr);
  DWORD start = GetTickCount();
  bool closing = false;
  MSG message;
  while (ThreadHasVisibleWindow() && GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
    if (closeAfter != 0 && !closing && GetTickCount() - start >= closeAfter) {
      closing = true;
      EnumThreadWindows(GetCurrentThreadId(), &CloseVisible, 0);
    }
  }
  // The editor's windows go with the thread; the library stays loaded until then.
  return 0;
}
