// The IDE's per-user library search path: putting a folder at its front and taking it out again.
#pragma once

#include <string>

#include "ide_editions.h"

// "SearchPath" for Delphi 3, "Search Path" for every other edition.
std::string SearchPathValueName(IdeEdition edition);

// Deletes every entry equal to the folder (user-locale case ignored) and writes the rest back, each entry followed
// by ";", as REG_SZ. Does nothing when the edition's Library key is missing (it is never created). A value that is
// not text raises "Invalid data type for '%s'"; a refused write raises "Failed to set data for '%s'".
void RemoveLibraryPath(IdeEdition edition, const std::string& folder);
// RemoveLibraryPath, then the folder written as the first entry; same failures.
void AddLibraryPath(IdeEdition edition, const std::string& folder);
