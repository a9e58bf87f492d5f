// Text forms of the driver's scripts and records: the command-line driver's script files and output, and the
// descriptions in problems and test messages.
//
// Script file: one answer is zero or more condition and setting lines ended by an action line.
//   caption <part>          the window's caption contains <part> (repeatable; all must hold)
//   text <part>             the message box text, or a control text of a dialog, contains <part> (repeatable)
//   controls <id> <id> ...  the window has these control ids
//   set <id> <text>         WM_SETTEXT <text> to control <id> before the action
//   press <button>          press OK, Cancel, Abort, Retry, Ignore, Yes, No, TryAgain, Continue or a control id
//   close                   close the window with WM_CLOSE
// Values are the rest of the line after one blank, taken literally. Empty lines and lines starting with # are skipped.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "window_driver.h"

// The name of a standard button id ("OK", "Cancel", ...), "WM_CLOSE" for kCloseWindow, else the number. Outside
// message boxes only OK, Cancel, Yes and No are named: other low ids are ordinary controls there.
std::string ButtonName(int id, WindowKind kind);
// A standard button name (ASCII case ignored, with or without "ID") or a decimal number.
std::optional<int> ButtonFromName(const std::string& name);
std::string IconKindName(IconKind kind);
std::string WindowKindName(WindowKind kind);
// C-style escapes for backslashes and control characters: \\ \r \n \t \xNN.
std::string EscapeText(const std::string& text);
std::string DescribeAnswer(const Answer& answer);
// One block per window, then the exit code, the time-out flag and the problems.
std::string FormatRunRecord(const RunRecord& record);
// Appends the answers of a script file's lines; false with a message naming the line when the script is faulty.
bool ParseScript(const std::vector<std::string>& lines, std::vector<Answer>& script, std::string& error);
