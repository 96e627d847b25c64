#include "winui/accessibility.h"

#include <initguid.h>  // the GUIDs of oleacc.h defined here, without oleacc.lib
#include <oleacc.h>
#include <objbase.h>

#include <string>

namespace winui {
namespace {

// The system's annotation service, or null (no COM on this thread, or none).
IAccPropServices* PropServices() {
  IAccPropServices* services = nullptr;
  if (FAILED(CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IAccPropServices, reinterpret_cast<void**>(&services)))) {
    return nullptr;
  }
  return services;
}

}  // namespace

void AnnotateAccessibleName(HWND control) {
  const int length = GetWindowTextLengthW(control);
  if (length <= 0) return;
  std::wstring name(static_cast<size_t>(length) + 1, L'\0');
  name.resize(static_cast<size_t>(GetWindowTextW(control, &name[0], length + 1)));
  IAccPropServices* services = PropServices();
  if (services == nullptr) return;
  // E_NOTIMPL under wine: the window text names the control all the same.
  services->SetHwndPropStr(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                           PROPID_ACC_NAME, name.c_str());
  services->Release();
}

void ClearAccessibleName(HWND control) {
  IAccPropServices* services = PropServices();
  if (services == nullptr) return;
  MSAAPROPID name = PROPID_ACC_NAME;
  services->ClearHwndProps(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, &name, 1);
  services->Release();
}

}  // namespace winui
