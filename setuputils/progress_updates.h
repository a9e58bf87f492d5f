// Status line and bar of a progress dialog, updated at the screen's pace.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

// Sends WM_SETTEXT to the status control and then PBM_SETPOS to the bar for each item, in item order. Items that
// follow the last sent one within a few tens of milliseconds are held back and only the latest held item is sent
// (with the next one due, or by Flush), so the dialog shows the current item without paying a repaint per item.
// Pending window messages are processed between items, which keeps the dialog responsive.
class ProgressUpdates {
 public:
  // clock: milliseconds as GetTickCount counts them (wrapping); tests pass one they set.
  ProgressUpdates(HWND dialog, int statusControl, int barControl, std::function<DWORD()> clock = GetTickCount);
  ProgressUpdates(const ProgressUpdates&) = delete;
  ProgressUpdates& operator=(const ProgressUpdates&) = delete;
  // Flushes what is held back.
  ~ProgressUpdates();

  // now: send at once whatever the pace, for an item that is going to stay on the screen for a while.
  void Show(const std::string& status, WPARAM position, bool now = false);
  // Sends the held item, if any.
  void Flush();

 private:
  void Send();

  HWND dialog_;
  int statusControl_;
  int barControl_;
  std::function<DWORD()> clock_;
  std::string status_;
  WPARAM position_ = 0;
  bool held_ = false;
  DWORD lastSent_ = 0;
  bool sentOnce_ = false;
};
