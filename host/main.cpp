// zuv8620-host: loads ZUV8620Ude.dll the way a host configuration utility
// does, calls DriverConfig on a driver tree and dispatches window messages
// until no window of this thread is visible any more (Close hides the
// editor).
//
//   zuv8620-host.exe [--close-after MILLISECONDS] [--tab N] [--drop-down] [ROOT [DRIVER]]
//
// ROOT must end with a path separator; it defaults to the sample tree of the
// checkout this program was built from (in a release build: the folder
// examples\Image\ beside this program), DRIVER to "USB8620A". With
// --close-after the host closes its visible windows (WM_CLOSE, as the
// window's close command would) after that time, for unattended runs. With
// --tab the host clicks the editor's tab N (0 Device ... 4 Counter) once the
// editor is up, for pictures of the other pages; with --drop-down it then
// opens the first drop-down list of the page shown (BoardID, AO channel 0).
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

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

BOOL CALLBACK FindEditor(HWND hwnd, LPARAM found) {
  char caption[64] = {};
  GetWindowTextA(hwnd, caption, sizeof(caption));
  if (IsWindowVisible(hwnd) && std::strcmp(caption, "USB-8620A device setting templates") == 0) {
    *reinterpret_cast<HWND*>(found) = hwnd;
    return FALSE;
  }
  return TRUE;
}

// A mouse click in the middle of the editor's tab `index`.
void ClickEditorTab(int index) {
  HWND editor = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), &FindEditor, reinterpret_cast<LPARAM>(&editor));
  HWND tabs = editor != nullptr ? GetDlgItem(editor, 1077) : nullptr;
  RECT item = {};
  if (tabs == nullptr || !SendMessageA(tabs, TCM_GETITEMRECT, static_cast<WPARAM>(index),
                                       reinterpret_cast<LPARAM>(&item))) {
    std::fprintf(stderr, "zuv8620-host: the editor has no tab %d\n", index);
    return;
  }
  LPARAM point = MAKELPARAM((item.left + item.right) / 2, (item.top + item.bottom) / 2);
  SendMessageA(tabs, WM_LBUTTONDOWN, MK_LBUTTON, point);
  SendMessageA(tabs, WM_LBUTTONUP, 0, point);
}

// The sample tree the host opens when given no root.
std::string DefaultRoot() {
#ifdef ZUV_SAMPLE_ROOT
  return ZUV_SAMPLE_ROOT;
#else
  char path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, length < MAX_PATH ? length : 0);
  folder.erase(folder.find_last_of("\\/") + 1);  // npos + 1 == 0 leaves nothing
  return folder + "examples\\Image\\";
#endif
}

BOOL CALLBACK FindVisibleComboBox(HWND hwnd, LPARAM found) {
  char name[16] = {};
  GetClassNameA(hwnd, name, sizeof(name));
  if (IsWindowVisible(hwnd) && std::strcmp(name, "ComboBox") == 0) {
    *reinterpret_cast<HWND*>(found) = hwnd;
    return FALSE;
  }
  return TRUE;
}

// Opens the first drop-down list shown in the editor, as a click on its
// arrow would, once the editor has settled (its activation and focus
// changes would close the list again).
void DropDownEditorList() {
  for (DWORD start = GetTickCount(); GetTickCount() - start < 1000;) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    Sleep(20);
  }
  HWND editor = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), &FindEditor, reinterpret_cast<LPARAM>(&editor));
  HWND list = nullptr;
  if (editor != nullptr)
    EnumChildWindows(editor, &FindVisibleComboBox, reinterpret_cast<LPARAM>(&list));
  if (list == nullptr) {
    std::fprintf(stderr, "zuv8620-host: the editor shows no drop-down list\n");
    return;
  }
  SetFocus(list);
  SendMessageA(list, CB_SHOWDROPDOWN, TRUE, 0);
}

bool ThreadHasVisibleWindow() {
  bool found = false;
  EnumThreadWindows(GetCurrentThreadId(), &FindVisible, reinterpret_cast<LPARAM>(&found));
  return found;
}

const char kUsage[] =
    "Usage: zuv8620-host [--close-after MILLISECONDS] [--tab N] [--drop-down] [ROOT [DRIVER]]\n"
    "\n"
    "Loads ZUV8620Ude.dll, opens its template editor (DriverConfig) on the\n"
    "driver DRIVER (default USB8620A) of the image tree ROOT (ending with a\n"
    "path separator; default: the sample tree examples\\Image\\ beside this\n"
    "program) and runs until the editor is closed.\n"
    "\n"
    "  --close-after MS  closes the editor after MS milliseconds\n"
    "  --tab N           clicks the editor's tab N (0 Device ... 4 Counter)\n"
    "  --drop-down       then opens the first drop-down list of the page\n"
    "  --help, -h        this text\n";

// A window program started from a console writes nowhere unless its output
// is redirected: then what it prints goes to the console it was started
// from, if there is one. Output already redirected stays where it goes.
void WriteToParentConsole() {
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out != nullptr && out != INVALID_HANDLE_VALUE) return;
  if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
  if (std::freopen("CONOUT$", "w", stdout) == nullptr) return;
  if (std::freopen("CONOUT$", "w", stderr) == nullptr) return;
}

}  // namespace

int main(int argc, char** argv) {
  WriteToParentConsole();
  // Options come first and in this order; a word with a dash that is none of
  // them is never taken as the root.
  for (int i = 1; i < argc && argv[i][0] == '-'; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg != "--close-after" && arg != "--tab" && arg != "--drop-down") {
      std::fprintf(stderr, "zuv8620-host: unknown option '%s'\n%s", arg.c_str(), kUsage);
      return 2;
    }
    if (arg != "--drop-down") ++i;  // its value
  }
  int next = 1;
  DWORD closeAfter = 0;
  int tab = -1;
  if (argc > next + 1 && std::strcmp(argv[next], "--close-after") == 0) {
    closeAfter = static_cast<DWORD>(std::strtoul(argv[next + 1], nullptr, 10));
    next += 2;
  }
  if (argc > next + 1 && std::strcmp(argv[next], "--tab") == 0) {
    tab = std::atoi(argv[next + 1]);
    next += 2;
  }
  bool dropDown = false;
  if (argc > next && std::strcmp(argv[next], "--drop-down") == 0) {
    dropDown = true;
    ++next;
  }
  const std::string root = argc > next ? argv[next] : DefaultRoot();
  const char* driver = argc > next + 1 ? argv[next + 1] : "USB8620A";

  HMODULE library = LoadLibraryA("ZUV8620Ude.dll");
  if (library == nullptr) {
    std::fprintf(stderr, "zuv8620-host: cannot load ZUV8620Ude.dll (error %lu)\n",
                 GetLastError());
    return 1;
  }
  auto driverConfig = reinterpret_cast<DriverConfigFunction>(
      reinterpret_cast<void*>(GetProcAddress(library, "DriverConfig")));
  if (driverConfig == nullptr) {
    std::fprintf(stderr, "zuv8620-host: ZUV8620Ude.dll has no DriverConfig\n");
    return 1;
  }

  int result = driverConfig(0, root.c_str(), driver, "");
  if (tab >= 0) ClickEditorTab(tab);
  if (dropDown) DropDownEditorList();
  std::printf("DriverConfig returned %d\n", result);
  std::fflush(stdout);

  // A thread timer wakes the loop now and then, so that the end is noticed
  // even when hiding the last window posts nothing.
  SetTimer(nullptr, 0, 250, nullptr);
  DWORD start = GetTickCount();
  bool closing = false;
  MSG message;
  // The first message is taken even without a visible window: a box
  // DriverConfig left to show once it returned (a root too long) comes then.
  bool first = true;
  while ((first || ThreadHasVisibleWindow()) && GetMessageA(&message, nullptr, 0, 0) > 0) {
    first = false;
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
