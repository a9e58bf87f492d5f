// The values of the product's Add/Remove Programs entry that the installation writes, and the entry itself.
#include "entry_values.h"

#include <windows.h>

#include <algorithm>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "ide_editions.h"
#include "install_records.h"
#include "path_utils.h"
#include "rar_extraction.h"
#include "registry.h"
#include "registry_names.h"
#include "setup_error.h"
#include "setup_settings.h"
#include "string_list.h"
#include "text_compare.h"
#include "uninstall_entry.h"

std::string UninstallCommandLine() {
  const TSetupSettings& s = SetupSettings;
  return QuoteStr(s.InstallDir + s.UninstallerName, '"') + " " + QuoteStr(s.AppName, '"');
}

namespace {
// A repeated installation under the same name merges its lists into the entry's: the old lines first, then the
// new ones that are not among the old (case ignored). Returns the merged list; added receives the new lines, and
// relisted the old lines listed again, spelt as the entry keeps them. Without an old list the new one is taken as
// it is.
StringList MergeWithEntry(const std::string& valueName, const StringList& current, StringList& added,
                          StringList& relisted) {
  auto old = FindUninstallValue(SetupSettings.AppName, valueName);
  if (!old) {
    added = current;
    return current;
  }
  StringList merged;
  merged.SetText(*old);
  std::unordered_map<std::string, std::string> known;
  for (const auto& line : merged) known.emplace(LowerCaseLocale(line), line);
  for (const auto& line : current) {
    auto listed = known.find(LowerCaseLocale(line));
    if (listed == known.end()) {
      merged.Add(line);
      added.Add(line);
    } else {
      relisted.Add(listed->second);
    }
  }
  return merged;
}

// The files a repeated installation counts: the new ones, and the old ones that no longer count this entry. A
// removal that stopped half-way marked how many lines of the old list it released (their counters went, or went
// down while other installations still count them): those lines are counted again and the mark goes. So is a
// relisted file whose counter is gone: left uncounted, the next removal would keep it for ever.
StringList FilesToCount(const StringList& merged, const StringList& added, const StringList& relisted) {
  RegistryKey entry = RegistryKey::Open(HKEY_LOCAL_MACHINE, UninstallEntryKeyPath(SetupSettings.AppName));
  const size_t oldCount = merged.Count() - added.Count();
  const size_t released = std::min<size_t>(entry.ReadDword(kFilesReleasedValue).value_or(0), oldCount);
  entry.DeleteValue(kFilesReleasedValue);
  StringList counted = added, stillCounting;
  std::unordered_set<std::string> recounted;
  for (size_t index = 0; index < released; ++index) {
    counted.Add(merged[index]);
    recounted.insert(LowerCaseLocale(merged[index]));
  }
  for (const auto& path : relisted)
    if (recounted.count(LowerCaseLocale(path)) == 0) stillCounting.Add(path);
  for (const auto& path : UncountedFiles(stillCounting)) counted.Add(path);
  return counted;
}
}  // namespace

std::string MergedEditionCodes() {
  const TSetupSettings& s = SetupSettings;
  std::vector<std::string> codes;
  if (std::optional<std::string> old = FindUninstallValue(s.AppName, kDelphiVerValue)) codes = EditionCodes(*old);
  for (IdeEdition edition : s.Editions) {
    const std::string code = EditionCode(edition);
    if (std::none_of(codes.begin(), codes.end(), [&](const std::string& known) { return SameTextAscii(known, code); }))
      codes.push_back(code);
  }
  std::string joined;
  for (const std::string& code : codes) joined += (joined.empty() ? "" : ";") + code;
  return joined;
}

void WriteProductRecord() {
  const TSetupSettings& s = SetupSettings;
  SetUninstallValue(s.AppName, kProductNameValue, s.ProductName);
  SetUninstallValue(s.AppName, kSubProductNameValue, s.SubProductName);
  StringList addedFiles, relistedFiles, addedFolders, relistedFolders;
  StringList files = MergeWithEntry(kFilesValue, s.Files, addedFiles, relistedFiles);
  StringList folders = MergeWithEntry(kFoldersValue, s.Folders, addedFolders, relistedFolders);
  SetUninstallValue(s.AppName, kFilesValue, files.Text());
  CountInstalledFiles(FilesToCount(files, addedFiles, relistedFiles));
  SetUninstallValue(s.AppName, kFoldersValue, folders.Text());
  SetUninstallValue(s.AppName, kRegKeysValue, s.RegKeys.Text());
  SetUninstallValue(s.AppName, kAppNameValue, s.AppName);
  SetUninstallValue(s.AppName, kDelphiVerValue, MergedEditionCodes());
  WriteProgramDetails();
  CreateUninstallEntry(s.AppName, UninstallCommandLine());
}

void WriteProgramDetails() {
  const TSetupSettings& s = SetupSettings;
  SetUninstallValue(s.AppName, kQuietUninstallStringValue, UninstallCommandLine() + " /SILENT");
  SetUninstallValue(s.AppName, kDisplayVersionValue, s.Version);
  if (!s.Publisher.empty()) SetUninstallValue(s.AppName, kPublisherValue, s.Publisher);
  if (!s.URL.empty()) SetUninstallValue(s.AppName, kUrlInfoAboutValue, s.URL);
  SetUninstallValue(s.AppName, kInstallLocationValue, StripTrailingBackslash(s.InstallDir));
  SetUninstallDword(s.AppName, kEstimatedSizeValue, static_cast<DWORD>((RarTotalSize + 1023) / 1024));
  SYSTEMTIME today;
  GetLocalTime(&today);
  SetUninstallValue(s.AppName, kInstallDateValue, FormatText("%04u%02u%02u", today.wYear, today.wMonth, today.wDay));
  SetUninstallValue(s.AppName, kDisplayIconValue, s.InstallDir + s.UninstallerName);
  SetUninstallDword(s.AppName, kNoModifyValue, 1);
  SetUninstallDword(s.AppName, kNoRepairValue, 1);
}
