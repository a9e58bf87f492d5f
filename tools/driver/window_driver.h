// The end-to-end driver: starts a program under test, records every dialog and message box it shows, answers them
// from a script and records the exit code, with a time limit.
//
// The driver watches the visible top-level windows of class "#32770" of the started process (and, asked to, of the
// processes it starts), and sorts each into:
// - a message box: push buttons and statics only, with the text static (id 0xFFFF); recorded with caption, text,
//   icon kind and buttons;
// - a dialog: any other window with a push button (one with check boxes, say); recorded with caption and every
//   control (id, class, text read with WM_GETTEXT from the control itself, style, and whether a check box or radio
//   button is checked);
// - a passive window: no push button at all (a progress dialog); recorded with caption, controls and the distinct
//   texts of its statics seen while it was up, and never answered.
// Message boxes and dialogs are answered by the script's answers in order. A window that no answer expects is
// recorded as a problem and dismissed (Cancel, else No, else OK, else WM_CLOSE) so that the run goes on.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "icon_query.h"

enum class WindowKind { MessageBox, Dialog, Passive };

struct ControlRecord {
  int id = 0;  // GetDlgCtrlID, 0xFFFF for the usual "-1" of statics
  std::string className;
  std::string text;
  DWORD style = 0;
  // Check boxes and radio buttons of message boxes and dialogs: BM_GETCHECK's answer (BST_UNCHECKED, BST_CHECKED or
  // BST_INDETERMINATE). Nothing for other controls, for passive windows and when the control did not answer.
  std::optional<LRESULT> checkState;
};

// The pseudo button of an answer that closes the window with WM_CLOSE instead of pressing a button.
constexpr int kCloseWindow = 0;
// No answer was given (passive windows).
constexpr int kNotAnswered = -1;

struct WindowRecord {
  WindowKind kind = WindowKind::Dialog;
  std::string caption;
  DWORD style = 0;
  DWORD exStyle = 0;
  // Message boxes: the text, the icon kind and the visible push buttons' ids from left to right.
  std::string text;
  IconKind icon = IconKind::Unknown;
  // Message boxes: the program's error mode (GetErrorMode) while the box was up; told with the icon kind.
  UINT errorMode = 0;
  std::vector<int> buttons;
  // Every control in creation order (printed for dialogs and passive windows only).
  std::vector<ControlRecord> controls;
  // Passive windows: the distinct non-empty texts of their statics, in the order first seen.
  std::vector<std::string> statusTexts;
  // The answer that handled the window (index into the script), or -1 when no answer expected it.
  int answerIndex = -1;
  // The button id pressed, kCloseWindow, or kNotAnswered.
  int pressed = kNotAnswered;
  // The window was answered before and came up again after another window had been answered.
  bool again = false;

  // The control with this id, or nullptr.
  const ControlRecord* Control(int id) const;
};

// One step of a script. The window must match every condition given; then the control texts are set, the callback
// runs and the button is pressed (or the window is closed).
struct Answer {
  std::vector<std::string> captionContains;
  // Substrings of the text of a message box, or of any control text of a dialog.
  std::vector<std::string> textContains;
  // Control ids the window must have (a dialog identified by its controls).
  std::vector<int> requiredControls;
  // WM_SETTEXT to these controls before the button is pressed.
  std::vector<std::pair<int, std::string>> controlTexts;
  // IDOK, IDCANCEL, IDYES, IDNO or any control id; kCloseWindow for WM_CLOSE.
  int button = IDOK;
  // Runs while the window is up, after it has been recorded and before it is answered.
  std::function<void(HWND window, const WindowRecord& record)> whileShown;

  static Answer Press(int button);
  static Answer Close();
  Answer& Caption(const std::string& part);
  Answer& Text(const std::string& part);
  Answer& Controls(const std::vector<int>& ids);
  Answer& SetText(int controlId, const std::string& text);
  Answer& WhileShown(std::function<void(HWND window, const WindowRecord& record)> callback);
};

struct RunOptions {
  // As CreateProcessA takes it: the program's path first (quote it when it has blanks; see CommandLine).
  std::string commandLine;
  // The program's current folder; "" keeps the driver's.
  std::string workingFolder;
  DWORD timeLimitMs = 30000;
  // How often the program's windows are looked at. Every look is a few round trips to the Wine server, which the
  // program under test shares: a benchmark looks less often so as not to slow down what it measures.
  DWORD pollIntervalMs = 10;
  std::vector<Answer> script;
  // Runs for every new window (passive ones included) after it has been recorded, before it is answered.
  std::function<void(HWND window, const WindowRecord& record)> onWindow;
  // The hook DLL that tells icon kinds; "" looks for it next to the running program, then in the build folder.
  std::string hookDll;
  // The windows of the programs it starts count as its own (a single-file setup runs the setup program); a job
  // gathers them, and at the time limit they are ended with it. Off where the program is itself a driver.
  bool descendants = false;
};

// The exit code the driver gives a program it ends because the time limit was reached.
constexpr DWORD kTimeLimitExitCode = 258;

struct RunRecord {
  bool started = false;
  std::string startError;
  std::vector<WindowRecord> windows;
  DWORD exitCode = 0;
  bool timedOut = false;
  // Everything that did not go as the script said: unexpected windows, answers that could not be applied, answers
  // never used, a missing hook DLL.
  std::vector<std::string> problems;

  // Started, ended within the time limit and without problems.
  bool Clean() const { return started && !timedOut && problems.empty(); }
  // The windows of one kind, in order.
  std::vector<WindowRecord> WindowsOfKind(WindowKind kind) const;
};

// Starts the program, watches it until it ends or the time limit is reached (then ends it), answering its windows.
RunRecord RunProgram(const RunOptions& options);
RunRecord RunProgram(const std::string& commandLine, const std::string& workingFolder,
                     const std::vector<Answer>& script, DWORD timeLimitMs = 30000);

// One argument quoted as the C runtime splits it again (quotes only when needed).
std::string QuoteArgument(const std::string& argument);
// A command line from the program path and its arguments, each quoted as needed.
std::string CommandLine(const std::string& program, const std::vector<std::string>& arguments);
