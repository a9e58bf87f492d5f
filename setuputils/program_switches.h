// The switches both programs take beside their described argument: how much of the program is shown, the
// destination of an unattended installation and the log.
//   orvsetup.exe [CONFIG] [/SILENT | /VERYSILENT] [/DIR=folder] [/IDE=codes] [/LOG[=file]]
//   uninstall.exe "AppName" [/SILENT | /VERYSILENT] [/LOG[=file]]
// Case is ignored; the first argument that is not a switch is the described argument.
#pragma once

#include <optional>
#include <string>
#include <vector>

enum TRunMode { rmInteractive, rmSilent, rmVerySilent };

struct ProgramSwitches {
  std::string argument;  // the first argument that is not a switch, or ""
  TRunMode mode = rmInteractive;
  std::optional<std::string> dir;  // /DIR=, as typed
  std::optional<std::string> ide;  // /IDE=, as typed: edition codes separated by ";" or ","
  bool log = false;                // /LOG or /LOG=
  std::string logFile;             // /LOG= as typed; "" for a name of the program's own in the TEMP folder
};

// How this run shows itself: set once at the start from the switches.
TRunMode CurrentRunMode();
void SetRunMode(TRunMode mode);
// /SILENT or /VERYSILENT: no question is asked and no message box shown.
inline bool IsUnattended() { return CurrentRunMode() != rmInteractive; }

// The arguments after the program itself (SplitCommandLine's elements 1 and on). setupSwitches: /DIR= and /IDE=
// are known.
ProgramSwitches ParseProgramSwitches(const std::vector<std::string>& arguments, bool setupSwitches);
