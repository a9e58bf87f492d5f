// The programs' switches.
#include "program_switches.h"

#include "text_compare.h"

namespace {
TRunMode runMode = rmInteractive;

// The text after "/NAME=" when the argument is that switch (case ignored).
std::optional<std::string> SwitchValue(const std::string& argument, const char* name) {
  const std::string prefix = std::string(name) + "=";
  if (argument.size() < prefix.size() || !SameTextAscii(argument.substr(0, prefix.size()), prefix)) return std::nullopt;
  return argument.substr(prefix.size());
}
}  // namespace

TRunMode CurrentRunMode() { return runMode; }
void SetRunMode(TRunMode mode) { runMode = mode; }

ProgramSwitches ParseProgramSwitches(const std::vector<std::string>& arguments, bool setupSwitches) {
  ProgramSwitches switches;
  bool argumentSeen = false;
  for (const std::string& argument : arguments) {
    if (SameTextAscii(argument, "/SILENT")) {
      switches.mode = rmSilent;
    } else if (SameTextAscii(argument, "/VERYSILENT")) {
      switches.mode = rmVerySilent;
    } else if (SameTextAscii(argument, "/LOG")) {
      switches.log = true;
      switches.logFile.clear();
    } else if (auto file = SwitchValue(argument, "/LOG")) {
      switches.log = true;
      switches.logFile = *file;
    } else if (auto dir = setupSwitches ? SwitchValue(argument, "/DIR") : std::nullopt) {
      switches.dir = *dir;
    } else if (auto ide = setupSwitches ? SwitchValue(argument, "/IDE") : std::nullopt) {
      switches.ide = *ide;
    } else if (!argumentSeen) {
      switches.argument = argument;
      argumentSeen = true;
    }
  }
  return switches;
}
