// Install counters and the installed-products record.
#include "install_records.h"

#include <windows.h>

#include "registry.h"
#include "registry_names.h"
#include "text_compare.h"

int FindPreviousInstallation(const std::string& productName, const std::string& version, std::string& folder) {
  if (productName.empty()) return 0;
  RegistryKey key = RegistryKey::Open(HKEY_CURRENT_USER, std::string(kInstalledProductsKey) + "\\" + productName);
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
