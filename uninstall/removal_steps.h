// The removal steps of an uninstallation, each withdrawing what the setup program recorded.
#pragma once

#include <string>
#include <vector>

#include "string_list.h"

// The product whose Add/Remove Programs entry the steps read: the uninstaller's argument, set at its start.
extern std::string AppName;

// Deletes every file of the entry's "Files" whose install counter drops to zero (read-only ones too), with the
// progress dialog up; the other files go to keptFiles in list order. A file that cannot be deleted (a program holds
// it) loses its counter all the same and is left to be deleted at the next restart; the running program is left to
// its batch. Raises "Invalid data type for '%s'" for a counter that is not REG_DWORD.
void RemoveInstalledFiles(StringList& keptFiles);
// Deletes the sub-products' values from the product's record (never "Version" or "FolderName"), the record and
// the empty products key (and the maker's key, when empty) when no sub-product is left, then brings the include files
// among keptFiles up to date.
void RemoveProductRecord(const std::string& productName, const std::string& subProductNames,
                         const StringList& keptFiles);
// The record's value names except "Version" and "FolderName".
void GetOtherSubProducts(const std::string& productName, StringList& names);
// Removes the entry's "Folders" deepest first, each only when empty. Folders that hold the running program (it
// cannot leave them while it runs) are returned, deepest first, for the self-deleting batch.
std::vector<std::string> RemoveInstalledFolders();
// Withdraws the entry's "InstalledPaths" (an edition's own "InstalledPaths.<code>" where recorded) from the library
// search path of each edition "DelphiVer" names, unless that folder still exists (another installation's units or
// the user's files are in it).
void RemoveInstalledPaths();
// Withdraws the entry's "InstalledHelps" from the help contents file of each edition "DelphiVer" names, when that
// file exists; a help file still present in the contents file's folder (another installation counts it) keeps its
// entries.
void RemoveInstalledHelps();
