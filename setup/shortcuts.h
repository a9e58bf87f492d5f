// Start-menu shortcuts to installed programs, recorded as installed files.
#pragma once

#include <string>

// One shortcut per [Links] line in the user's Start menu Programs folder, each appended to Files. When the shell
// gives no Programs folder, nothing is created or recorded.
void CreateLinks();
// Writes one shortcut file through the shell-link object; failures are not reported.
void CreateShellLink(const std::string& linkFile, const std::string& target, const std::string& description,
                     const std::string& workingFolder);
