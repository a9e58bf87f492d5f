// The uninstaller's driver: program start, confirmation and the order of the removal steps.
#pragma once

#include <string>

// The product named by the first argument; set at start.
extern std::string AppName;

// Program start; returns the exit code.
int UninstallMain();
