// The Add/Remove Programs entry.
#include "uninstall_entry.h"

#include "registry_names.h"

RegistryKey CreateRegSubKey(HKEY parent, const std::string& name) { return RegistryKey::Create(parent, name); }

RegistryKey OpenRegKey(HKEY root, const std::string& path) { return RegistryKey::Open(root, path); }

void WriteRegString(HKEY key, const std::string& valueName, const std::string& text) {
  RegSetValueExA(key, valueName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                 static_cast<DWORD>(text.size() + 1));
}
