// Small helpers shared by the test programs: error texts, raw registry values, processes, polling, the windows of
// a running IDE and the traffic a progress dialog's controls receive.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "unique_handle.h"

using Texts = std::vector<std::string>;

// The SetupError text the action raised, or "(nothing raised)".
std::string ErrorText(const std::function<void()>& action);

// Creates the key when needed and stores the bytes under the type given; a refused write fails the test.
void WriteRawValue(HKEY root, const std::string& path, const std::string& name, DWORD type, const std::string& bytes);
std::string DwordBytes(DWORD value);

// Marks the file immutable on the Linux side (chattr +i: not even root may rename, change or delete it, and Windows
// programs are refused with "access denied"), or clears the mark. "" when done, otherwise why not.
std::string SetImmutable(const std::string& path, bool immutable);

// Polls the condition every 100 ms until it holds or the time is up.
bool WaitFor(const std::function<bool()>& condition, DWORD timeMs);
// The files (not folders) directly in the folder.
int FilesIn(const std::string& folder);

// Hidden top-level windows of the given classes, owned by this process (the main windows of a running IDE).
class FakeIdeWindows {
 public:
  explicit FakeIdeWindows(const std::vector<const char*>& classNames);

 private:
  std::vector<UniqueWindow> windows_;
};

// A stand-in for the progress dialog (template 104): a window with a status control (1001) and a bar (1000) that
// do nothing with what they get.
class ProgressStandIn {
 public:
  ProgressStandIn();
  HWND get() const { return window_.get(); }

 private:
  UniqueWindow window_;
};

// Records, while it lives, what this thread's windows send to the controls of a progress dialog: "text <status>"
// (WM_SETTEXT to 1001), "range <min> <max>" (PBM_SETRANGE32 to 1000) and "position <n>" (PBM_SETPOS to 1000).
class ProgressTraffic {
 public:
  ProgressTraffic();
  ~ProgressTraffic();
  ProgressTraffic(const ProgressTraffic&) = delete;
  ProgressTraffic& operator=(const ProgressTraffic&) = delete;
  const std::vector<std::string>& lines() const;

  // The (text, position) pairs that follow the range line; false when the traffic is not a range followed by
  // pairs.
  bool Pairs(std::vector<std::pair<std::string, long long>>& pairs) const;

 private:
  HHOOK hook_;
};
