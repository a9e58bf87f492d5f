// Message processing between work items.
#include "message_pump.h"

#include <windows.h>

namespace {
constexpr DWORD kPumpIntervalMs = 30;
DWORD lastPump = 0;
}  // namespace

std::optional<int> DispatchPendingMessages() {
  std::optional<int> quitCode;
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      quitCode = static_cast<int>(message.wParam);
      continue;
    }
    HWND dialog = GetAncestor(message.hwnd, GA_ROOT);
    if (dialog != nullptr && IsDialogMessageA(dialog, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return quitCode;
}

void PumpPendingMessagesNow() {
  lastPump = GetTickCount();
  // Leave the quit request for the loop that owns it.
  if (auto quitCode = DispatchPendingMessages()) PostQuitMessage(*quitCode);
}

void PumpPendingMessages() {
  if (GetTickCount() - lastPump < kPumpIntervalMs) return;
  PumpPendingMessagesNow();
}
