// The uninstaller's driver: program start, confirmation and the order of the removal steps.
#pragma once

#include <string>

// Program start; returns the exit code (1 when an error ended the removal).
int UninstallMain();
// The product's name from a command line: its first argument. A line that begins with the program's own full path
// unquoted (entries written by earlier setups) takes that path as one piece, blanks and all.
std::string AppNameFromCommandLine(const std::string& commandLine, const std::string& ownPath);
// "Are you sure ...?" box; true only for Yes.
bool ConfirmRemoval();
// The removal sequence in its fixed order; nothing is changed when the user answers No.
void RunUninstall();
