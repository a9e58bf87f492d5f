// Message processing between work items.
#include "message_pump.h"

#include <windows.h>

namespace {
constexpr DWORD kPumpIntervalMs = 30;
DWORD lastPump = 0;
}  // namespace

void PumpPendingMessagesNow() {
  lastPump = GetTickCount();
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      // Leave the quit request for the loop that owns it.
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    HWND dialog = GetAncestor(message.hwnd, GA_ROOT);
    if (dialog != nullptr && IsDialogMessageA(dialog, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

void PumpPendingMessages() {
  if (GetTickCount() - lastPump < kPumpIntervalMs) return;
  PumpPendingMessagesNow();
}
