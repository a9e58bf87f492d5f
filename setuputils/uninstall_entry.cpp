// The Add/Remove Programs entry.
#include "uninstall_entry.h"

RegistryKey CreateRegSubKey(HKEY parent, const std::string& name) { return RegistryKey::Create(parent, name); }

RegistryKey OpenRegKey(HKEY root, const std::string& path) { return RegistryKey::Open(root, path); }

void WriteRegString(HKEY key, const std::string& valueName, const std::string& text) {
  RegSetValueExA(key, valueName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                 static_cast<DWORD>(text.size() + 1));
}

UninstallKeys OpenUninstallKey(const std::string& appName) {
  UninstallKeys keys;
  keys.root = CreateRegSubKey(HKEY_LOCAL_MACHINE, UninstallKeyPath);
  if (keys.root.valid() && !appName.empty()) keys.product = CreateRegSubKey(keys.root.get(), appName);
  return keys;
}

void SetUninstallValue(const std::string& appName, const std::string& valueName, const std::string& text) {
  UninstallKeys keys = OpenUninstallKey(appName);
  if (keys.product.valid()) WriteRegString(keys.product.get(), valueName, text);
}

void CreateUninstallEntry(const std::string& appName, const std::string& uninstallCommand) {
  UninstallKeys keys = OpenUninstallKey(appName);
  if (!keys.product.valid()) return;
  WriteRegString(keys.product.get(), kDisplayNameValue, appName);
  WriteRegString(keys.product.get(), kUninstallStringValue, uninstallCommand);
}

bool UninstallEntryExists(const std::string& appName) {
  return !appName.empty() && OpenRegKey(HKEY_LOCAL_MACHINE, std::string(UninstallKeyPath) + "\\" + appName).valid();
}
