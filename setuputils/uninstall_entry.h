// The Add/Remove Programs entry under HKEY_LOCAL_MACHINE: the one place that names its keys, writes, reads and
// deletes it.
#pragma once

#include <optional>
#include <string>

#include "registry.h"
#include "registry_names.h"

// The application's entry below the Add/Remove Programs list.
std::string UninstallEntryKeyPath(const std::string& appName);

struct UninstallKeys {
  RegistryKey root;     // kUninstallKeyPath
  RegistryKey product;  // its subkey named by the application
};
// Opens (creating when missing) the list and the application's entry below it. A key that could not be opened or
// created is not valid; the product key is never valid when the list is not, nor for an empty name, which would
// otherwise stand for the whole list.
UninstallKeys OpenUninstallKey(const std::string& appName);

// Writes one REG_SZ value into the application's entry, creating the entry when missing. Raises "Failed to set data
// for '%s'" when the entry cannot be created or written.
void SetUninstallValue(const std::string& appName, const std::string& valueName, const std::string& text);
// Writes one REG_DWORD value into the application's entry; raises as above.
void SetUninstallDword(const std::string& appName, const std::string& valueName, DWORD value);
// Writes "DisplayName" := the application's name and "UninstallString" := the command; raises as above.
void CreateUninstallEntry(const std::string& appName, const std::string& uninstallCommand);
// True when the application's entry exists and opens with full access; never for an empty name.
bool UninstallEntryExists(const std::string& appName);

// The setup program's look at an earlier installation: the value as text, nullopt when the entry or the value is
// absent. Nothing is created.
std::optional<std::string> FindUninstallValue(const std::string& appName, const std::string& valueName);
// The uninstaller's read: the value as text whatever its type, or "". Opens the list and the entry as the setup
// left them, creating them when missing (the uninstaller deletes the entry at its end).
std::string ReadUninstallValue(const std::string& appName, const std::string& valueName);
// Deletes the application's entry key.
void DeleteUninstallEntry(const std::string& appName);
