// The Add/Remove Programs entry under HKEY_LOCAL_MACHINE and the small registry routines other parts share.
#pragma once

#include <windows.h>

#include <string>

#include "registry.h"
#include "registry_names.h"

// The Add/Remove Programs list, always below HKEY_LOCAL_MACHINE.
constexpr const char* UninstallKeyPath = kUninstallKeyPath;

// RegCreateKeyExA under the parent (non-volatile, full access); not valid when that fails.
RegistryKey CreateRegSubKey(HKEY parent, const std::string& name);
// RegOpenKeyExA with full access, never creating; not valid when that fails.
RegistryKey OpenRegKey(HKEY root, const std::string& path);
// REG_SZ with the terminating NUL counted; a refused write is ignored.
void WriteRegString(HKEY key, const std::string& valueName, const std::string& text);

struct UninstallKeys {
  RegistryKey root;     // UninstallKeyPath
  RegistryKey product;  // its subkey named by the application
};
// Opens (creating when missing) the list and the application's entry below it. A key that could not be opened or
// created is not valid; the product key is never valid when the list is not, nor for an empty name, which would
// otherwise stand for the whole list.
UninstallKeys OpenUninstallKey(const std::string& appName);

// Writes one REG_SZ value into the application's entry, creating the entry when missing. Failures are ignored.
void SetUninstallValue(const std::string& appName, const std::string& valueName, const std::string& text);
// Writes "DisplayName" := the application's name and "UninstallString" := the command. Failures are ignored.
void CreateUninstallEntry(const std::string& appName, const std::string& uninstallCommand);
// True when the application's entry exists and opens with full access; never for an empty name.
bool UninstallEntryExists(const std::string& appName);
