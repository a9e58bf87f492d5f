// Coalesced progress dialog updates.
#include "progress_updates.h"

#include <commctrl.h>

#include <utility>

#include "message_pump.h"

namespace {
// Twenty updates a second, faster than a status line can be read; under Wine one update costs about 2 ms.
constexpr DWORD kUpdateIntervalMs = 50;
}  // namespace

ProgressUpdates::ProgressUpdates(HWND dialog, int statusControl, int barControl, std::function<DWORD()> clock)
    : dialog_(dialog), statusControl_(statusControl), barControl_(barControl), clock_(std::move(clock)) {}

ProgressUpdates::~ProgressUpdates() { Flush(); }

void ProgressUpdates::Show(const std::string& status, WPARAM position, bool now) {
  status_ = status;
  position_ = position;
  held_ = true;
  if (now || !sentOnce_ || clock_() - lastSent_ >= kUpdateIntervalMs) Send();
  PumpPendingMessages();
}

void ProgressUpdates::Flush() {
  if (held_) Send();
}

void ProgressUpdates::Send() {
  held_ = false;
  sentOnce_ = true;
  lastSent_ = clock_();
  SendDlgItemMessageA(dialog_, statusControl_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(status_.c_str()));
  SendDlgItemMessageA(dialog_, barControl_, PBM_SETPOS, position_, 0);
}
