// Per-user install records: file counters and the installed-products record.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "registry.h"
#include "string_list.h"

// The installed-products record of one product, below HKEY_CURRENT_USER.
std::string InstalledProductKeyPath(const std::string& productName);

// "Version" and "FolderName" (ASCII case ignored) belong to the record itself: such a sub-product name is neither
// written by a setup nor deleted by an uninstallation.
bool IsReservedSubProductName(const std::string& name);
// The sub-product names of a SubProductName text: pieces between ";" (or line breaks), untrimmed; an empty middle
// piece stays (it names the default value), a final separator adds none.
StringList SubProductNames(const std::string& subProductName);

// Nothing at all for an empty product name. Otherwise creates the product's record, writes "Version", "FolderName"
// (the folder less one trailing backslash) and an empty value per sub-product (reserved names skipped; values of
// other sub-products stay), then regenerates the product include files from the installed files.
// Raises "Failed to set data for '%s'" when the record cannot be written.
void RecordInstalledProduct(const std::string& productName, const std::string& subProductName,
                            const std::string& version, const StringList& files, const std::string& installDir);

// One more installation counted for every line of the list (a line listed twice counts twice). The counters key is
// opened once for the whole list, the counters are read first, then recorded in the journal at once and written in
// a row. Raises "Invalid data type for '%s'" for a counter that is not REG_DWORD (the counters before it are
// written) and "Failed to set data for '%s'" when a counter cannot be written.
void CountInstalledFiles(const StringList& files);
// The lines of the list that have no counter (a counter of another type counts as one).
StringList UncountedFiles(const StringList& files);
// The file's counter, or -1 when it has none; nothing changes.
long GetInstalledFileCount(const std::string& path);
// Takes one installation off the file's counter, count being its value as just read from the open counters key
// (nullopt: none, nothing changes). Written one lower, or deleted at zero; returns the installations that still count
// the file, -1 without a counter. A counter at zero (or reading negative) counts no installation: it is deleted and
// gives -1, so that its file is kept, as one without a counter is. The key itself stays.
long ReleaseInstalledFile(const RegistryKey& installedFiles, const std::string& path, std::optional<DWORD> count);
// Deletes the counters key once its last value is gone, and then the maker's key when nothing else is left in it.
void DeleteInstalledFilesKeyWhenEmpty(RegistryKey& installedFiles);
// The maker's key goes with its last record key, so that a removal leaves no trace of it; anything in it keeps it.
void DeleteCompanyKeyWhenEmpty();

// 0: no record (or empty product name; folder untouched); 1: a record of another version (folder := "");
// 2: a record of the same version, ASCII case ignored (folder := its "FolderName").
int FindPreviousInstallation(const std::string& productName, const std::string& version, std::string& folder);
