// The Add/Remove Programs entry.
#include "uninstall_entry.h"

std::string UninstallEntryKeyPath(const std::string& appName) {
  return std::string(kUninstallKeyPath) + "\\" + appName;
}

UninstallKeys OpenUninstallKey(const std::string& appName) {
  UninstallKeys keys;
  keys.root = RegistryKey::Create(HKEY_LOCAL_MACHINE, kUninstallKeyPath);
  // By its whole path: the installation's journal names the keys it creates by theirs.
  if (keys.root.valid() && !appName.empty())
    keys.product = RegistryKey::Create(HKEY_LOCAL_MACHINE, UninstallEntryKeyPath(appName));
  return keys;
}

// An entry that cannot be written fails the installation: an installation nobody can remove is no installation.
void SetUninstallValue(const std::string& appName, const std::string& valueName, const std::string& text) {
  OpenUninstallKey(appName).product.WriteString(valueName, text);
}

void SetUninstallDword(const std::string& appName, const std::string& valueName, DWORD value) {
  OpenUninstallKey(appName).product.WriteDword(valueName, value);
}

void CreateUninstallEntry(const std::string& appName, const std::string& uninstallCommand) {
  UninstallKeys keys = OpenUninstallKey(appName);
  keys.product.WriteString(kDisplayNameValue, appName);
  keys.product.WriteString(kUninstallStringValue, uninstallCommand);
}

bool UninstallEntryExists(const std::string& appName) {
  return !appName.empty() && RegistryKey::Open(HKEY_LOCAL_MACHINE, UninstallEntryKeyPath(appName)).valid();
}

std::optional<std::string> FindUninstallValue(const std::string& appName, const std::string& valueName) {
  if (appName.empty()) return std::nullopt;
  auto value = RegistryKey::Open(HKEY_LOCAL_MACHINE, UninstallEntryKeyPath(appName), KEY_READ).ReadRaw(valueName);
  if (!value) return std::nullopt;
  return RegistryDataToText(value->data);
}

std::string ReadUninstallValue(const std::string& appName, const std::string& valueName) {
  RegistryKey list = RegistryKey::Create(HKEY_LOCAL_MACHINE, kUninstallKeyPath);
  if (!list.valid()) return std::string();
  auto value = RegistryKey::Create(list.get(), appName).ReadRaw(valueName);
  return value ? RegistryDataToText(value->data) : std::string();
}

void DeleteUninstallEntry(const std::string& appName) {
  RegistryKey list = RegistryKey::Open(HKEY_LOCAL_MACHINE, kUninstallKeyPath);
  // An empty name would name the list itself.
  if (!list.valid() || appName.empty()) return;
  DeleteRegistryKey(HKEY_LOCAL_MACHINE, UninstallEntryKeyPath(appName));
  RegFlushKey(list.get());
}
