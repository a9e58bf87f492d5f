// The Add/Remove Programs entry under HKEY_LOCAL_MACHINE and the small registry routines other parts share.
#pragma once

#include <windows.h>

#include <string>

#include "registry.h"

// RegCreateKeyExA under the parent (non-volatile, full access); not valid when that fails.
RegistryKey CreateRegSubKey(HKEY parent, const std::string& name);
// RegOpenKeyExA with full access, never creating; not valid when that fails.
RegistryKey OpenRegKey(HKEY root, const std::string& path);
// REG_SZ with the terminating NUL counted; a refused write is ignored.
void WriteRegString(HKEY key, const std::string& valueName, const std::string& text);
