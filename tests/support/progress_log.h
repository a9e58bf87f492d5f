// What a program under test sends to the controls of its progress dialog, as recorded by the progress hook DLL
// (tests/helpers/progress_hook.cpp) inside that program.
//
// The driver samples a progress dialog's texts from outside and misses what changes between two samples; the hook
// sees every message. The test names a log file in the environment, starts the program (which inherits it) and,
// once the program's first window is up, hooks its thread (WH_CALLWNDPROC). From then on the hook appends one line
// per message to the log: "dialog\t<caption>" for each progress dialog created, "text\t<status text>",
// "range\t<minimum>\t<maximum>" or "position\t<position>".
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "unique_handle.h"

// Environment variable that names the log file.
constexpr const char* kProgressLogVariable = "ORV_PROGRESS_LOG";
// The hook procedure exported undecorated by the hook DLL, and the DLL's file name in the helpers' folder.
constexpr const char* kProgressHookProcedure = "ProgressHookProc";
constexpr const char* kProgressHookDllName = "progress_hook.dll";

// Status line and bar of the progress dialogs (template 104): static 1001, progress bar 1000.
constexpr int kProgressStatusControl = 1001;
constexpr int kProgressBarControl = 1000;

struct ProgressLog {
  std::vector<std::string> dialogs;  // the captions of the progress dialogs created, in order
  std::vector<std::string> texts;    // every status text, in the order sent
  long long rangeMinimum = -1;       // the last range sent (-1: none)
  long long rangeMaximum = -1;
  std::vector<long long> positions;  // every bar position, in the order sent
};

// Names a new log file in this process's environment for the programs it starts, and hooks their threads.
class ProgressRecorder {
 public:
  // The log goes into the folder (with a trailing backslash); the variable is removed again by the destructor.
  explicit ProgressRecorder(const std::string& folder);
  ~ProgressRecorder();
  ProgressRecorder(const ProgressRecorder&) = delete;
  ProgressRecorder& operator=(const ProgressRecorder&) = delete;

  // Hooks the thread of the window (a window of the program under test, shown before its progress dialog).
  // Returns false (and the test should fail) when the DLL or the hook is not available.
  bool Attach(HWND window);
  // Removes the hooks; the log stays.
  void Detach();
  // What was recorded so far.
  ProgressLog Read() const;

 private:
  struct HookTraits {
    using Handle = HHOOK;
    static Handle Invalid() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { UnhookWindowsHookEx(h); }
  };

  std::string logPath_;
  UniqueModule module_;
  // Declared after the module: the hooks go before the DLL is unloaded.
  std::vector<UniqueHandle<HookTraits>> hooks_;
};
