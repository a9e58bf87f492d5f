// Removal of installed files, records, folders and IDE entries.
#include "removal_steps.h"

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <deque>
#include <optional>
#include <unordered_set>

#include "file_deletions.h"
#include "help_contents.h"
#include "ide_editions.h"
#include "install_records.h"
#include "library_path.h"
#include "path_utils.h"
#include "product_includes.h"
#include "progress_updates.h"
#include "registry_names.h"
#include "program_switches.h"
#include "resource_dialog.h"
#include "run_log.h"
#include "setup_error.h"
#include "resource_ids.h"
#include "text_compare.h"
#include "uninstall_entry.h"

std::string AppName;

namespace {
// Two threads deleting keep the Wine server busy beside the counters; a handful of files ahead is enough for that.
constexpr int kDeletionThreads = 2;
constexpr size_t kDeletionsInFlight = 16;

// The products key once no record is left in it (or it is gone), then the maker's key when empty.
void DeleteProductsKeyWhenEmpty() {
  RegistryKey products = RegistryKey::Open(HKEY_CURRENT_USER, kInstalledProductsKey);
  if (products.valid() && products.SubKeyCount() != 0) return;
  products.Close();
  DeleteRegistryKey(HKEY_CURRENT_USER, kInstalledProductsKey);
  DeleteCompanyKeyWhenEmpty();
}

// Deletes a file no installation counts any more and says what became of it. The running program cannot go while
// it runs: its batch deletes it once it has ended. A file that another program holds goes at the next restart; one
// that is missing needs nothing.
std::string DeleteInstalledFile(const std::string& path, const std::string& ownPath) {
  if (SameTextLocale(path, ownPath))
    return "Left " + path + " to the batch that deletes this program once it has ended";
  std::string outcome;
  DeleteFileNowOrAtRestart(path, outcome);
  return outcome;
}
}  // namespace

void RemoveInstalledFiles(StringList& keptFiles) {
  // Created visible from its template: a run without any window has none.
  std::optional<TOrvResDialog> dialog;
  if (CurrentRunMode() != rmVerySilent) dialog.emplace(IDD_PROGRESS);
  const HWND dialogWindow = dialog ? dialog->Handle() : nullptr;
  StringList files;
  files.SetText(ReadUninstallValue(AppName, kFilesValue));
  // A removal that was killed half-way is run again: the files whose shared counters it already released are
  // passed over, so that no other installation loses a count.
  RegistryKey entry = RegistryKey::Open(HKEY_LOCAL_MACHINE, UninstallEntryKeyPath(AppName));
  const size_t released = std::min<size_t>(entry.ReadDword(kFilesReleasedValue).value_or(0), files.Count());
  if (dialogWindow != nullptr) {
    SendDlgItemMessageA(dialogWindow, IDC_PROGRESS_BAR, PBM_SETRANGE32, 0, static_cast<LPARAM>(files.Count()));
    ShowWindow(dialogWindow, SW_SHOWDEFAULT);
  }
  // One open of the counters key for the whole pass, and one look whether it is left empty at its end: a file
  // listed after the last counter went finds no counter either way.
  RegistryKey installedFiles = RegistryKey::Open(HKEY_CURRENT_USER, kInstalledFilesKey);
  ProgressUpdates progress(dialogWindow, IDC_STATUS_TEXT, IDC_PROGRESS_BAR);
  const std::string ownPath = ModuleFileName();
  // Files whose counter is their last are deleted beside the counters' work; each counter goes once its file's
  // deletion is done (killed in between, the next run finds the counter and finishes), and everything is logged in
  // the list's order.
  FileDeletions deletions([&ownPath](const std::string& path) { return DeleteInstalledFile(path, ownPath); },
                          kDeletionThreads);
  std::deque<size_t> deleting;
  std::unordered_multiset<std::string> deletingNames;
  auto settle = [&](size_t keep) {
    while (auto outcome = deletions.TakeOutcome(deleting.size() > keep)) {
      const size_t index = deleting.front();
      deleting.pop_front();
      deletingNames.erase(deletingNames.find(LowerCaseLocale(files[index])));
      LogLine(*outcome);
      ReleaseInstalledFile(installedFiles, files[index], 1u);
      progress.Show(files[index], index);
    }
  };
  try {
    for (size_t index = released; index < files.Count(); ++index) {
      const std::string& path = files[index];
      // A file listed twice is counted as often: its second listing waits for the first.
      if (deletingNames.count(LowerCaseLocale(path)) != 0) settle(0);
      const std::optional<DWORD> count = installedFiles.ReadDword(path);
      if (count == 1u) {
        deletions.Delete(path);
        deleting.push_back(index);
        deletingNames.insert(LowerCaseLocale(path));
        settle(kDeletionsInFlight);
        continue;
      }
      // The mark below says every file before it is done.
      settle(0);
      // Marked before the counter goes down: killed in between, a count stays too high and the file is kept, never
      // deleted while another installation needs it.
      if (count && *count > 1u) entry.WriteDword(kFilesReleasedValue, static_cast<DWORD>(index + 1));
      const long remaining = ReleaseInstalledFile(installedFiles, path, count);
      LogLine("Kept " + path +
              (remaining > 0 ? FormatText(": %ld other installations count it", remaining)
                             : std::string(": no installation counts it (no counter, or one at zero)")));
      keptFiles.Add(path);
      progress.Show(path, index);
    }
    settle(0);
  } catch (...) {
    // The files deleted so far lose their counters before the error passes on.
    try {
      settle(0);
    } catch (...) {
    }
    throw;
  }
  // Also when this run deleted no counter: one killed right after its last counter went left the key empty.
  DeleteInstalledFilesKeyWhenEmpty(installedFiles);
}

void GetOtherSubProducts(const std::string& productName, StringList& names) {
  RegistryKey record = RegistryKey::Open(HKEY_CURRENT_USER, InstalledProductKeyPath(productName));
  for (const auto& name : record.ValueNames()) names.Add(name);
  record.Close();
  for (const char* reserved : {kVersionValue, kFolderNameValue}) {
    for (size_t i = 0; i < names.Count(); ++i) {
      if (SameTextAscii(names[i], reserved)) {
        names.Delete(i);
        break;
      }
    }
  }
}

void RemoveProductRecord(const std::string& productName, const std::string& subProductNames,
                         const StringList& keptFiles) {
  if (productName.empty()) return;
  RegistryKey record = RegistryKey::Open(HKEY_CURRENT_USER, InstalledProductKeyPath(productName));
  // A removal killed right after the record went left the keys above it.
  if (!record.valid()) return DeleteProductsKeyWhenEmpty();
  for (const auto& name : SubProductNames(subProductNames))
    if (!IsReservedSubProductName(name)) record.DeleteValue(name);
  StringList others;
  GetOtherSubProducts(productName, others);
  if (others.Empty()) {
    record.DeleteValue(kVersionValue);
    record.DeleteValue(kFolderNameValue);
    record.Close();
    DeleteRegistryTree(HKEY_CURRENT_USER, InstalledProductKeyPath(productName));
    DeleteProductsKeyWhenEmpty();
  }
  UpdateProductIncludes(keptFiles);
}

namespace {
// True when the folder is the program's own folder or one of its parents.
bool HoldsRunningProgram(const std::string& folder) {
  std::string own = UpperCaseLocale(ExtractFilePath(ModuleFileName()));
  std::string candidate = UpperCaseLocale(AddTrailingBackslash(folder));
  return !candidate.empty() && own.compare(0, candidate.size(), candidate) == 0;
}
}  // namespace

std::vector<std::string> RemoveInstalledFolders() {
  StringList list;
  list.SetText(ReadUninstallValue(AppName, kFoldersValue));
  std::vector<std::string> folders(list.begin(), list.end());
  std::stable_sort(folders.begin(), folders.end(),
                   [](const std::string& a, const std::string& b) { return CompareTextLocale(a, b) < 0; });
  std::vector<std::string> left;
  for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder) {
    if (!RemoveDirectoryA(folder->c_str()) && FolderExists(*folder) && HoldsRunningProgram(*folder))
      left.push_back(*folder);
  }
  return left;
}

namespace {
// The editions the entry names ("DelphiVer", codes separated by ";"): an empty or unknown code stands for Delphi 5.
std::vector<IdeEdition> EntryEditions() {
  std::vector<IdeEdition> editions;
  std::vector<std::string> codes = EditionCodes(ReadUninstallValue(AppName, kDelphiVerValue));
  if (codes.empty()) codes.push_back(std::string());
  for (const std::string& code : codes) {
    const IdeEdition edition = EditionFromCode(code);
    if (!ListsEdition(editions, edition)) editions.push_back(edition);
  }
  return editions;
}
}  // namespace

void RemoveInstalledPaths() {
  const std::string path = ReadUninstallValue(AppName, kInstalledPathsValue);
  for (IdeEdition edition : EntryEditions()) {
    // An installation into several editions recorded each one's entry; one into a single edition, just the entry.
    const std::string own = ReadUninstallValue(AppName, std::string(kInstalledPathsValue) + "." + EditionCode(edition));
    const std::string folder = own.empty() ? path : own;
    // Another installation's units or the user's files still need the entry.
    if (!folder.empty() && FolderExists(folder)) continue;
    RemoveLibraryPath(edition, folder);
  }
}

void RemoveInstalledHelps() {
  StringList helps;
  helps.SetText(ReadUninstallValue(AppName, kInstalledHelpsValue));
  for (IdeEdition edition : EntryEditions()) {
    const std::string contentsFile = IdeHelpContentsFile(edition);
    if (!FileExists(contentsFile)) continue;
    const std::string helpFolder = ExtractFilePath(contentsFile);
    for (const auto& help : helps) {
      const std::string name = ExtractFileName(help);
      // The file step left the help file in place (another installation still counts it): it stays registered.
      if (!name.empty() && FileExists(helpFolder + name)) continue;
      RemoveHelpFromContents(name, contentsFile);
    }
  }
}
