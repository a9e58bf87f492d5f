// Known Packages values: one per package file, named by its path, with its description as data.
#include "known_packages.h"

#include "string_list.h"
#include "text_compare.h"

namespace {
// The edition's key, never created; not valid for an edition without package support or when the key is missing.
RegistryKey OpenKnownPackages(IdeEdition edition) {
  const std::string keyPath = KnownPackagesKey(edition);
  if (keyPath.empty()) return RegistryKey();
  return RegistryKey::Open(HKEY_CURRENT_USER, keyPath);
}
}  // namespace

void RegisterKnownPackage(IdeEdition edition, const std::string& description, const std::string& packagePath) {
  UnregisterKnownPackage(edition, description, packagePath);
  OpenKnownPackages(edition).TryWriteString(packagePath, description);
}

void UnregisterKnownPackage(IdeEdition edition, const std::string& description, const std::string& packagePath) {
  RegistryKey key = OpenKnownPackages(edition);
  if (!key.valid()) return;
  key.DeleteValue(packagePath);
  DeleteValuesWithData(key, description);
}

void DeleteValuesWithData(const RegistryKey& key, const std::string& description) {
  StringList names;
  CollectValuesWithData(key, names, LowerCaseLocale(description));
  for (const auto& name : names) key.DeleteValue(name);
}

void CollectValuesWithData(const RegistryKey& key, StringList& names, const std::string& loweredText) {
  for (const RegistryValue& value : key.Values()) {
    if (LowerCaseLocale(RegistryDataToText(value.data)) != loweredText) continue;
    if (names.IndexOf(value.name) < 0) names.Add(value.name);
  }
}
