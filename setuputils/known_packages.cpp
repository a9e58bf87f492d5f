// Known Packages values: one per package file, named by its path, with its description as data.
#include "known_packages.h"

#include "registry.h"
#include "string_list.h"
#include "text_compare.h"
#include "uninstall_entry.h"

void RegisterKnownPackage(IdeEdition edition, const std::string& description, const std::string& packagePath) {
  UnregisterKnownPackage(edition, description, packagePath);
  const std::string keyPath = KnownPackagesKey(edition);
  if (keyPath.empty()) return;
  RegistryKey key = OpenRegKey(HKEY_CURRENT_USER, keyPath);
  if (!key.valid()) return;
  WriteRegString(key.get(), packagePath, description);
}

void UnregisterKnownPackage(IdeEdition edition, const std::string& description, const std::string& packagePath) {
  const std::string keyPath = KnownPackagesKey(edition);
  if (keyPath.empty()) return;
  RegistryKey key = OpenRegKey(HKEY_CURRENT_USER, keyPath);
  if (!key.valid()) return;
  RegDeleteValueA(key.get(), packagePath.c_str());
  DeleteValuesWithData(key.get(), description);
}

void DeleteValuesWithData(HKEY key, const std::string& description) {
  StringList names;
  CollectValuesWithData(key, names, LowerCaseLocale(description));
  for (const auto& name : names) RegDeleteValueA(key, name.c_str());
}

void CollectValuesWithData(HKEY key, StringList& names, const std::string& loweredText) {
  DWORD count = 0, longestName = 0, longestData = 0;
  if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, &longestName, &longestData,
                       nullptr, nullptr) != ERROR_SUCCESS)
    return;
  std::string name(static_cast<size_t>(longestName) + 1, '\0');
  std::string data(static_cast<size_t>(longestData) + 1, '\0');
  for (DWORD index = 0; index < count; ++index) {
    DWORD nameLength = static_cast<DWORD>(name.size());
    DWORD dataSize = static_cast<DWORD>(data.size());
    if (RegEnumValueA(key, index, &name[0], &nameLength, nullptr, nullptr, reinterpret_cast<BYTE*>(&data[0]),
                      &dataSize) != ERROR_SUCCESS)
      continue;
    if (nameLength > name.size()) nameLength = static_cast<DWORD>(name.size());
    if (dataSize > data.size()) dataSize = static_cast<DWORD>(data.size());
    if (LowerCaseLocale(RegistryDataToText(data.substr(0, dataSize))) != loweredText) continue;
    std::string valueName = name.substr(0, nameLength);
    if (names.IndexOf(valueName) < 0) names.Add(valueName);
  }
}
