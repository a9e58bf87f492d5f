// The removal steps of an uninstallation, each withdrawing what the setup program recorded.
#pragma once

#include <string>
#include <vector>

#include "registry.h"
#include "string_list.h"

// The product whose Add/Remove Programs entry the steps read: the uninstaller's argument, set at its start.
extern std::string AppName;

// Deletes every file of the entry's "Files" whose install counter drops to zero (read-only ones too), with the
// progress dialog up; the other files go to keptFiles in list order.
void RemoveInstalledFiles(StringList& keptFiles);
// Subtracts one from the file's counter and returns the result, or -1 when it has no counter. At zero the value
// goes, and the counters key with its last value (the maker's key too when nothing else is left in it). A counter
// that was already zero or negative goes the same way and gives -1, so that its file is kept. Raises "Invalid data
// type for '%s'" for a counter that is not REG_DWORD.
long ReleaseInstalledFile(const std::string& path);
// The same on an already opened counters key (not valid: -1).
long ReleaseInstalledFile(RegistryKey& installedFiles, const std::string& path);
// The file's counter, or -1 when it has none; nothing changes.
long GetInstalledFileCount(const std::string& path);
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
// Withdraws the entry's "InstalledPaths" from the recorded edition's library search path, unless that folder
// still exists (another installation's units or the user's files are in it).
void RemoveInstalledPaths();
// Withdraws the entry's "InstalledHelps" from the recorded edition's help contents file, when that file exists; a
// help file still present in the contents file's folder (another installation counts it) keeps its entries.
void RemoveInstalledHelps();
