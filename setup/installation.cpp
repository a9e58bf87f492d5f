// The installation sequence.
#include "installation.h"

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "change_observer.h"
#include "free_space.h"
#include "help_contents.h"
#include "install_transaction.h"
#include "install_records.h"
#include "known_packages.h"
#include "library_path.h"
#include "message_box.h"
#include "package_build.h"
#include "path_macros.h"
#include "path_utils.h"
#include "pre_install_checks.h"
#include "program_switches.h"
#include "run_log.h"
#include "rar_extraction.h"
#include "registry_names.h"
#include "resource_dialog.h"
#include "resource_ids.h"
#include "select_dir_dialog.h"
#include "self_delete.h"
#include "setup_error.h"
#include "setup_settings.h"
#include "setup_texts.h"
#include "shortcuts.h"
#include "step_timings.h"
#include "text_compare.h"
#include "uninstall_entry.h"
#include "unrar_library.h"

bool ConfirmWelcome() {
  std::string title = SetupSettings.AppName;
  if (!SetupSettings.Version.empty()) title += " Version " + SetupSettings.Version;
  return ShowMessageBox(WelcomeText(title), kWelcomeCaption, MB_OKCANCEL | MB_ICONINFORMATION) == IDOK;
}

std::string NormalizeInstallFolder(const std::string& typed) {
  std::string folder = TrimText(typed);
  if (folder.size() >= 2 && folder.front() == '"' && folder.back() == '"')
    folder = TrimText(folder.substr(1, folder.size() - 2));
  if (folder.empty()) return folder;
  return AddTrailingBackslash(FullPathName(folder));
}

bool SelectInstallDir() {
  TSetupSettings& s = SetupSettings;
  // /DIR= is the folder proposed; unattended it is taken as it is, or else the proposed one, as if typed.
  std::string proposed = s.DirSwitch ? *s.DirSwitch : s.InstallDir;
  std::string folder = NormalizeInstallFolder(proposed);
  if (IsUnattended()) {
    LogLine("Destination: " + (folder.empty() ? std::string("none given and none proposed: the setup stops") : folder));
    if (folder.empty()) return false;
    s.InstallDir = folder;
    return true;
  }
  // Without a folder to use, the dialog is shown even when the configuration asks not to prompt.
  if (!s.PromptInstallDir && !folder.empty()) {
    s.InstallDir = folder;
    LogLine("Destination: " + folder);
    return true;
  }
  for (;;) {
    {
      // Destroyed before the box below: its modal loop has ended, and left on the screen it would take no answer.
      TSelectDirDialog dialog(IDD_SELECT_DIR);
      dialog.SetDirectory(proposed);
      if (!dialog.Execute()) return false;
      proposed = dialog.GetDirectory();
    }
    folder = NormalizeInstallFolder(proposed);
    if (!folder.empty()) break;
    ShowMessageBox(kEnterDestinationText, kSetupCaption, MB_ICONWARNING | MB_OK);
  }
  s.InstallDir = folder;
  LogLine("Destination: " + folder);
  return true;
}

std::string LocateInstalledFile(const std::string& fileName) {
  for (const auto& path : SetupSettings.Files)
    if (SameTextLocale(ExtractFileName(path), fileName)) return path;
  return std::string();
}

void BuildListedPackages() {
  TSetupSettings& s = SetupSettings;
  const std::string outputDir = SystemDir();
  for (size_t i = 0; i < s.BuildPackages.Count(); ++i) {
    const std::string name = NamePart(s.BuildPackages[i]);
    const std::string source = LocateInstalledFile(name);
    if (source.empty()) continue;
    std::string outputPath, toolOutput;
    const bool built = BuildPackage(s.Edition, source, outputDir, "", outputPath, toolOutput);
    LogLine(built ? "Built " + source + " -> " + outputPath + ", registered" : "Not built: " + source);
    if (built) RegisterKnownPackage(s.Edition, s.BuildPackages.Value(name), outputPath);
  }
}

namespace {
// The running program, when it is one of the setup files to delete.
std::string setupProgramToDelete;

// The setup's own files as found and used: never a path the installation just put in place.
void DeleteSetupFiles(const std::string& archivePath) {
  TSetupSettings& s = SetupSettings;
  std::unordered_set<std::string> installed;
  for (const auto& path : s.Files) installed.insert(LowerCaseLocale(path));
  auto isOurs = [&](const std::string& path) { return installed.count(LowerCaseLocale(path)) == 0; };
  for (const std::string& path :
       {archivePath, ExpandFromExeDir(s.ConfigFileName), AppFolder() + s.UninstallerName, ExpandFromExeDir(s.UnRarDll)})
    if (isOurs(path)) DeleteFileA(path.c_str());
  std::string self = ModuleFileName();
  if (isOurs(self)) setupProgramToDelete = self;
}

void SetStatus(HWND dialog, const std::string& text) {
  SendDlgItemMessageA(dialog, IDC_STATUS_TEXT, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}
}  // namespace

bool ExtractAndBuild(const std::string& destination) {
  TSetupSettings& s = SetupSettings;
  LoadUnrarLibrary(ExtractFileName(s.UnRarDll));
  bool extracted = false;
  {
    auto unload = ScopeExit(UnloadUnrarLibrary);
    // Created visible from its template: a run without any window has none.
    std::optional<TOrvResDialog> progress;
    if (CurrentRunMode() != rmVerySilent) progress.emplace(IDD_PROGRESS);
    const HWND progressWindow = progress ? progress->Handle() : nullptr;
    RarProgressDialog = progressWindow;
    auto forget = ScopeExit([] { RarProgressDialog = nullptr; });
    SetStatus(progressWindow, kStartingSetupStatus);
    TimedStep("count", [&] { CountRarArchive(s.RarFile, destination); });
    // Nothing is written before every volume has room; from here on everything written is journaled.
    if (!TimedStep("space", [] { return ConfirmFreeSpace(RarSizeByFolder); })) throw InstallationCancelled();
    BeginInstallTransaction(s.AppName);
    extracted = TimedStep("extract", [&] {
      return ExtractRarArchive(s.RarFile, destination, ExtractRarEntry, &s.Files, &s.Folders, &s.SystemFiles);
    });
    if (extracted) {
      SetStatus(progressWindow, BuildingPackagesStatus(EditionDisplayName(s.Edition)));
      TimedStep("product",
                [&] { RecordInstalledProduct(s.ProductName, s.SubProductName, s.Version, s.Files, s.InstallDir); });
      TimedStep("packages", BuildListedPackages);
    }
  }
  return extracted;
}

void DeleteSetupProgram() {
  if (setupProgramToDelete.empty()) return;
  DeleteFileViaBatch(setupProgramToDelete, BatchWriteErrors::Ignore);
  setupProgramToDelete.clear();
}

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
  SetUninstallValue(s.AppName, kDelphiVerValue, EditionCode(s.Edition));
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

void RegisterPackages() {
  const TSetupSettings& s = SetupSettings;
  for (size_t i = 0; i < s.Packages.Count(); ++i) {
    const std::string name = NamePart(s.Packages[i]);
    const std::string path = LocateInstalledFile(name);
    if (!path.empty()) RegisterKnownPackage(s.Edition, s.Packages.Value(name), path);
  }
}

void InstallLibraryPath() {
  const std::string path = AddTrailingBackslash(SetupSettings.InstallDir) + "units";
  AddLibraryPath(SetupSettings.Edition, path);
  SetUninstallValue(SetupSettings.AppName, kInstalledPathsValue, path);
}

void RegisterHelpFiles() {
  TSetupSettings& s = SetupSettings;
  if (s.HelpContentsFile.empty()) return;
  for (size_t i = 0; i < s.HelpFiles.Count(); ++i) {
    const std::string name = NamePart(s.HelpFiles[i]);
    if (!SameTextAscii(ExtractFileExt(name), ".hlp")) continue;
    AddHelpToContents(name, ValuePart(s.HelpFiles[i]), s.HelpContentsFile);
    s.InstalledHelps.Add(name);
  }
  SetUninstallValue(s.AppName, kInstalledHelpsValue, s.InstalledHelps.Text());
}

void OfferRunAfterInstall() {
  const TSetupSettings& s = SetupSettings;
  if (s.RunAfterInstall.empty()) return;
  // Unattended, nothing is started: nobody is there to use it.
  if (ShowMessageBox(RunAfterInstallText(s.RunAfterInstall), kWelcomeCaption, MB_OKCANCEL | MB_ICONINFORMATION,
                     IDCANCEL) != IDOK)
    return;
  SetCurrentDirectoryA(s.InstallDir.c_str());
  ShellExecuteA(nullptr, nullptr, (AddTrailingBackslash(s.InstallDir) + s.RunAfterInstall).c_str(), nullptr, nullptr,
                SW_SHOW);
}

TInstallOutcome RunInstallation() {
  TSetupSettings& s = SetupSettings;
  if (!ConfirmWelcome() || !CheckPreviousVersion() || !CheckRunningIde() || !SelectInstallDir()) return ioRefused;
  const std::string archivePath = FullPathName(s.RarFile);
  bool extracted = false;
  // A failure, an error or a Cancel undoes everything the installation wrote; it commits after its last step.
  try {
    extracted = TimedStep("installation", [&] {
      if (!ExtractAndBuild(s.InstallDir)) return false;
      TimedStep("links", CreateLinks);
      TimedStep("records", [&] {
        WriteProductRecord();
        SetUninstallValue(s.AppName, kVersionValue, s.Version);
      });
      TimedStep("ide", [] {
        RegisterPackages();
        InstallLibraryPath();
        RegisterHelpFiles();
      });
      return true;
    });
    if (extracted)
      CommitInstallTransaction();
    else
      UndoInstallTransaction();
  } catch (const InstallationCancelled&) {
    // Cancelled is a refusal only when the machine is as it was.
    if (!UndoInstallTransaction()) {
      LogLine("The installation was cancelled; its undo could not restore everything yet");
      return ioFailed;
    }
    LogLine("The installation was cancelled and undone");
    return ioRefused;
  } catch (...) {
    LogLine("The installation failed and was undone");
    UndoInstallTransaction();
    throw;
  }
  // Only now: undoing needed the archive. A failed extraction deletes them too, as configured.
  if (s.DeleteSetupFiles) DeleteSetupFiles(archivePath);
  if (!extracted) {
    LogLine("The archive could not be extracted whole: the installation was undone");
    ShowMessageBox(kExtractionFailedText, kSetupCaption, MB_ICONWARNING | MB_OK);
    return ioFailed;
  }
  OfferRunAfterInstall();
  // Not shown to nobody: an unattended run reports success by its exit code and log.
  if (s.SuccessMessage && !IsUnattended())
    ShowMessageBox(kInstallationCompletedText, kSetupCaption, MB_ICONINFORMATION | MB_OK);
  return ioCompleted;
}
