// Start-menu shortcuts to installed programs, recorded as installed files.
#pragma once

#include <string>

// One shortcut per [Links] line in the user's Start menu Programs folder, each appended to Files once it was
// saved. When the shell gives no Programs folder, nothing is created or recorded.
void CreateLinks();
// Writes one shortcut file through the shell-link object; true when it was saved. Nothing is reported.
bool CreateShellLink(const std::string& linkFile, const std::string& target, const std::string& description,
                     const std::string& workingFolder);
