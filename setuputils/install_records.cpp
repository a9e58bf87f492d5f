// Install counters and the installed-products record.
#include "install_records.h"

#include "path_utils.h"
#include "product_includes.h"
#include "registry_names.h"
#include "string_list.h"
#include "text_compare.h"

std::string InstalledProductKeyPath(const std::string& productName) {
  return std::string(kInstalledProductsKey) + "\\" + productName;
}

bool IsReservedSubProductName(const std::string& name) {
  return SameTextAscii(name, kVersionValue) || SameTextAscii(name, kFolderNameValue);
}

StringList SubProductNames(const std::string& subProductName) {
  StringList names;
  SplitText(subProductName, ';', names);
  return names;
}

void RecordInstalledProduct(const std::string& productName, const std::string& subProductName,
                            const std::string& version, const StringList& files, const std::string& installDir) {
  if (productName.empty()) return;
  RegistryKey record = RegistryKey::Create(HKEY_CURRENT_USER, InstalledProductKeyPath(productName));
  record.WriteString(kVersionValue, version);
  record.WriteString(kFolderNameValue, StripTrailingBackslash(installDir));
  for (const auto& name : SubProductNames(subProductName))
    if (!IsReservedSubProductName(name)) record.WriteString(name, std::string());
  UpdateProductIncludes(files);
}

void CountInstalledFiles(const StringList& files) {
  RegistryKey installedFiles = RegistryKey::Create(HKEY_CURRENT_USER, kInstalledFilesKey);
  for (const auto& path : files) IncInstalledFileCount(installedFiles, path);
}

DWORD IncInstalledFileCount(const std::string& path) {
  return IncInstalledFileCount(RegistryKey::Create(HKEY_CURRENT_USER, kInstalledFilesKey), path);
}

DWORD IncInstalledFileCount(const RegistryKey& installedFiles, const std::string& path) {
  DWORD count = installedFiles.ReadDword(path).value_or(0) + 1;
  installedFiles.WriteDword(path, count);
  return count;
}

int FindPreviousInstallation(const std::string& productName, const std::string& version, std::string& folder) {
  if (productName.empty()) return 0;
  RegistryKey key = RegistryKey::Open(HKEY_CURRENT_USER, InstalledProductKeyPath(productName));
  if (!key.valid()) {
    folder.clear();
    return 0;
  }
  if (SameTextAscii(key.ReadStringOrEmpty(kVersionValue), version)) {
    folder = key.ReadStringOrEmpty(kFolderNameValue);
    return 2;
  }
  folder.clear();
  return 1;
}
