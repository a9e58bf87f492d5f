// Per-user install records: file counters and the installed-products record.
#pragma once

#include <string>

// 0: no record (or empty product name; folder untouched); 1: a record of another version (folder := "");
// 2: a record of the same version, ASCII case ignored (folder := its "FolderName").
int FindPreviousInstallation(const std::string& productName, const std::string& version, std::string& folder);
