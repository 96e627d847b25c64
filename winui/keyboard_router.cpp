#include "winui/keyboard_router.h"

#include <algorithm>
#include <vector>

#include "winui/lock.h"

namespace winui {
namespace {

struct RoutedDialog {
  HWND dialog;
  DWORD thread;
  KeyFilter filter;
};

struct ThreadHook {
  DWORD thread;
  HHOOK hook;
};

// All windows run on threads of the host, each thread with its own hook; a
// thread changes only its own entries, but the lists are shared, so every
// use holds the lock (never while a filter or the dialog manager runs, which
// may create or destroy dialogs). Editors are rare, so linear lists do.
std::vector<RoutedDialog> g_dialogs;
std::vector<ThreadHook> g_hooks;
SRWLOCK g_lock = SRWLOCK_INIT;

// Callers hold g_lock.
HHOOK HookOfThread(DWORD thread) {
  for (const ThreadHook& entry : g_hooks) {
    if (entry.thread == thread) return entry.hook;
  }
  return nullptr;
}

// Callers hold g_lock.
const RoutedDialog* FindRouted(HWND dialog) {
  for (const RoutedDialog& entry : g_dialogs) {
    if (entry.dialog == dialog) return &entry;
  }
  return nullptr;
}

// The filter first, then the dialog manager.
bool TakeKey(HWND root, const MSG& message) {
  KeyFilter filter = nullptr;
  {
    ExclusiveLock lock(g_lock);
    const RoutedDialog* routed = FindRouted(root);
    if (routed == nullptr) return false;
    filter = routed->filter;
  }
  if (filter != nullptr && filter(root, message)) return true;
  return IsDialogMessageA(root, const_cast<MSG*>(&message)) != FALSE;
}

LRESULT CALLBACK GetMessageHook(int code, WPARAM wParam, LPARAM lParam) {
  HHOOK hook = nullptr;
  {
    ExclusiveLock lock(g_lock);
    hook = HookOfThread(GetCurrentThreadId());
  }
  if (code == HC_ACTION && wParam == PM_REMOVE) {
    MSG* message = reinterpret_cast<MSG*>(lParam);
    if (message->message >= WM_KEYFIRST && message->message <= WM_KEYLAST &&
        message->hwnd != nullptr) {
      HWND root = GetAncestor(message->hwnd, GA_ROOT);
      if (root != nullptr && TakeKey(root, *message)) {
        message->message = WM_NULL;
        message->wParam = 0;
        message->lParam = 0;
      }
    }
  }
  return CallNextHookEx(hook, code, wParam, lParam);
}

}  // namespace

bool RouteKeyboard(HWND dialog, KeyFilter filter) {
  DWORD thread = GetCurrentThreadId();
  ExclusiveLock lock(g_lock);
  if (HookOfThread(thread) == nullptr) {
    HHOOK hook = SetWindowsHookExA(WH_GETMESSAGE, &GetMessageHook, nullptr, thread);
    if (hook == nullptr) return false;
    g_hooks.push_back({thread, hook});
  }
  g_dialogs.push_back({dialog, thread, filter});
  return true;
}

void StopRoutingKeyboard(HWND dialog) {
  ExclusiveLock lock(g_lock);
  auto found = std::find_if(g_dialogs.begin(), g_dialogs.end(),
                            [dialog](const RoutedDialog& entry) { return entry.dialog == dialog; });
  if (found == g_dialogs.end()) return;
  DWORD thread = found->thread;
  g_dialogs.erase(found);
  bool threadHasMore =
      std::any_of(g_dialogs.begin(), g_dialogs.end(),
                  [thread](const RoutedDialog& entry) { return entry.thread == thread; });
  if (threadHasMore) return;
  auto hook = std::find_if(g_hooks.begin(), g_hooks.end(),
                           [thread](const ThreadHook& entry) { return entry.thread == thread; });
  if (hook != g_hooks.end()) {
    UnhookWindowsHookEx(hook->hook);
    g_hooks.erase(hook);
  }
}

}  // namespace winui
