// The driver's hook DLL: answers the icon query (icon kind and error mode) inside the program under test (see
// icon_query.h).
#include <windows.h>

#include <cstdint>

#include "icon_query.h"

// The headers declare it only for Vista and later; the driver runs on those.
extern "C" __declspec(dllimport) UINT WINAPI GetErrorMode();

namespace {
BOOL CALLBACK FindIconControl(HWND child, LPARAM lParam) {
  if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) return TRUE;
  char className[32];
  if (GetClassNameA(child, className, sizeof className) == 0 || lstrcmpiA(className, "Static") != 0) return TRUE;
  *reinterpret_cast<HWND*>(lParam) = child;
  return FALSE;
}

IconKind IconKindOf(HWND box) {
  HWND iconControl = nullptr;
  EnumChildWindows(box, FindIconControl, reinterpret_cast<LPARAM>(&iconControl));
  if (iconControl == nullptr || !IsWindowVisible(iconControl)) return IconKind::None;
  HICON icon = reinterpret_cast<HICON>(SendMessageA(iconControl, STM_GETICON, 0, 0));
  if (icon == nullptr) return IconKind::None;
  // The system icons are shared: the box holds the very handles LoadIconA gives in this process.
  struct Known {
    LPCSTR resource;
    IconKind kind;
  };
  static const Known known[] = {{IDI_ASTERISK, IconKind::Information},
                                {IDI_EXCLAMATION, IconKind::Warning},
                                {IDI_HAND, IconKind::Error},
                                {IDI_QUESTION, IconKind::Question}};
  for (const Known& entry : known)
    if (LoadIconA(nullptr, entry.resource) == icon) return entry.kind;
  return IconKind::Other;
}
}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK IconHookProc(int code, WPARAM wParam, LPARAM lParam) {
  static const UINT queryMessage = RegisterWindowMessageA(kIconQueryMessage);
  if (code == HC_ACTION) {
    const MSG* message = reinterpret_cast<const MSG*>(lParam);
    if (message->message == queryMessage && message->hwnd != nullptr) {
      SetPropA(message->hwnd, kErrorModeProperty,
               reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(GetErrorMode())));
      SetPropA(message->hwnd, kIconKindProperty,
               reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(IconKindOf(message->hwnd))));
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}
