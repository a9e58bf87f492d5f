// Install counters and the installed-products record.
#include "install_records.h"

#include <algorithm>
#include <climits>
#include <unordered_map>
#include <unordered_set>
#include <vector>

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

namespace {
bool IsAscii(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// The counter names of the key, read at once when that takes fewer registry calls than reading a counter per file:
// a file that surely has no counter yet is then written without being read first. Value names compare without
// case, and which non-ASCII letters fold together is the registry's business: as soon as one name is not ASCII,
// every counter is read.
class KnownCounterNames {
 public:
  KnownCounterNames(const RegistryKey& installedFiles, size_t fileCount) {
    const DWORD count = installedFiles.ValueCount();
    if (count >= fileCount) return;
    const std::vector<std::string> names = installedFiles.ValueNames();
    if (names.size() != count) return;
    complete_ = true;
    for (const std::string& name : names) Add(name);
  }

  bool SurelyAbsent(const std::string& path) const {
    return complete_ && IsAscii(path) && names_.count(LowerCaseAscii(path)) == 0;
  }

 private:
  // A name that is not ASCII makes the list of no use.
  void Add(const std::string& path) {
    if (!complete_) return;
    if (IsAscii(path)) {
      names_.insert(LowerCaseAscii(path));
    } else {
      complete_ = false;
      names_.clear();
    }
  }

  bool complete_ = false;
  std::unordered_set<std::string> names_;
};

}  // namespace

void CountInstalledFiles(const StringList& files) {
  RegistryKey installedFiles = RegistryKey::Create(HKEY_CURRENT_USER, kInstalledFilesKey);
  KnownCounterNames known(installedFiles, files.Count());
  // Read first, then recorded in the journal at once and written in a row. A line listed again counts on from what
  // its first listing writes.
  std::vector<RegistryKey::DwordWrite> writes;
  std::unordered_map<std::string, size_t> listed;
  try {
    for (const auto& path : files) {
      const std::string key = LowerCaseLocale(path);
      const auto earlier = listed.find(key);
      std::optional<DWORD> was, had;
      if (earlier != listed.end()) {
        was = writes[earlier->second].value;
        had = writes[earlier->second].had;
      } else {
        had = was = known.SurelyAbsent(path) ? std::nullopt : installedFiles.ReadDword(path);
      }
      listed[key] = writes.size();
      writes.push_back({path, was.value_or(0) + 1, was, had});
    }
  } catch (...) {
    // The counters before one that cannot be counted are written all the same.
    installedFiles.WriteDwords(writes);
    throw;
  }
  installedFiles.WriteDwords(writes);
}

StringList UncountedFiles(const StringList& files) {
  StringList uncounted;
  if (files.Empty()) return uncounted;
  RegistryKey installedFiles = RegistryKey::Open(HKEY_CURRENT_USER, kInstalledFilesKey, KEY_READ);
  for (const auto& path : files)
    if (!installedFiles.ValueExists(path)) uncounted.Add(path);
  return uncounted;
}

long GetInstalledFileCount(const std::string& path) {
  auto count = RegistryKey::Open(HKEY_CURRENT_USER, kInstalledFilesKey).ReadDword(path);
  return count ? static_cast<long>(*count) : -1;
}

long ReleaseInstalledFile(const RegistryKey& installedFiles, const std::string& path, std::optional<DWORD> count) {
  if (!count) return -1;
  // Written back one lower, a counter that counts no installation would wrap round to zero at the next installation
  // of the file and keep that file for ever.
  const bool broken = *count == 0 || *count > static_cast<DWORD>(LONG_MAX);
  const long remaining = broken ? -1 : static_cast<long>(*count) - 1;
  if (remaining <= 0)
    installedFiles.DeleteValue(path);
  else
    installedFiles.WriteDword(path, static_cast<DWORD>(remaining));
  return remaining;
}

void DeleteInstalledFilesKeyWhenEmpty(RegistryKey& installedFiles) {
  if (!installedFiles.valid() || installedFiles.ValueCount() != 0) return;
  installedFiles.Close();
  DeleteRegistryKey(HKEY_CURRENT_USER, kInstalledFilesKey);
  DeleteCompanyKeyWhenEmpty();
}

void DeleteCompanyKeyWhenEmpty() {
  RegistryKey company = RegistryKey::Open(HKEY_CURRENT_USER, kCompanyKey);
  if (!company.valid() || company.SubKeyCount() != 0 || company.ValueCount() != 0) return;
  company.Close();
  DeleteRegistryKey(HKEY_CURRENT_USER, kCompanyKey);
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
