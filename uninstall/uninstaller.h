// The uninstaller's driver: program start, confirmation and the order of the removal steps.
#pragma once

#include <string>

#include "program_switches.h"

// Program start; returns the exit code (1 when an error ended the removal, or an unattended run had no name or one
// without an Add/Remove Programs entry).
int UninstallMain();
// The switches of a command line; the product's name is its first argument that is not a switch. A line that
// begins with the program's own full path unquoted (entries written by earlier setups) takes that path as one
// piece, blanks and all.
ProgramSwitches UninstallerSwitches(const std::string& commandLine, const std::string& ownPath);
// "Are you sure ...?" box; true only for Yes (unattended: Yes).
bool ConfirmRemoval();
// The removal sequence in its fixed order; false, with nothing changed, when the user answers No.
bool RunUninstall();
