// The installation sequence.
#include "installation.h"

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <optional>

#include "change_observer.h"
#include "edition_choice.h"
#include "entry_values.h"
#include "free_space.h"
#include "ide_installation.h"
#include "install_transaction.h"
#include "install_records.h"
#include "message_box.h"
#include "message_pump.h"
#include "path_utils.h"
#include "pre_install_checks.h"
#include "registry_names.h"
#include "program_switches.h"
#include "run_log.h"
#include "rar_extraction.h"
#include "resource_dialog.h"
#include "resource_ids.h"
#include "select_dir_dialog.h"
#include "setup_error.h"
#include "setup_files.h"
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

namespace {
// The archive library and the progress dialog, for the installation's steps from the counting pass to the last
// edition; a run without any window has no dialog.
class InstallationProgress {
 public:
  explicit InstallationProgress(const std::string& libraryName) {
    LoadUnrarLibrary(libraryName);
    // Created visible from its template.
    if (CurrentRunMode() != rmVerySilent) dialog_.emplace(IDD_PROGRESS);
    RarProgressDialog = dialog_ ? dialog_->Handle() : nullptr;
    // Painted before the first pass begins, which would otherwise pay for it (several milliseconds under Wine).
    if (dialog_) PumpPendingMessagesNow();
  }
  InstallationProgress(const InstallationProgress&) = delete;
  InstallationProgress& operator=(const InstallationProgress&) = delete;
  ~InstallationProgress() {
    RarProgressDialog = nullptr;
    dialog_.reset();
    UnloadUnrarLibrary();
  }

 private:
  std::optional<TOrvResDialog> dialog_;
};

// The help files copied into further editions' help folders need room there too.
void AddHelpCopiesToSizes() {
  const TSetupSettings& s = SetupSettings;
  const auto routed = RarSizeByFolder.find(s.HelpDir);
  if (s.HelpDir.empty() || routed == RarSizeByFolder.end()) return;
  const long long size = routed->second;
  for (IdeEdition edition : s.Editions) {
    const std::string helpDir = ExtractFilePath(HelpContentsFileOf(edition));
    if (!helpDir.empty() && !SameTextLocale(helpDir, s.HelpDir)) RarSizeByFolder[helpDir] += size;
  }
}

// The archive into the destination, system and help files routed, then the help files copied to further editions.
bool ExtractArchive() {
  TSetupSettings& s = SetupSettings;
  if (!ExtractRarArchive(s.RarFile, s.InstallDir, ExtractRarEntry, &s.Files, &s.Folders, &s.SystemFiles)) return false;
  CopyHelpFilesToEditions();
  return true;
}
}  // namespace

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
  if (!ConfirmWelcome() || !CheckPreviousVersion() || !CheckRunningIde() || !SelectInstallDir() || !ChooseEditions())
    return ioRefused;
  const std::string archivePath = FullPathName(s.RarFile);
  bool extracted = false;
  // A failure, an error or a Cancel undoes everything the installation wrote; it commits after its last step.
  try {
    extracted = TimedStep("installation", [&] {
      InstallationProgress progress(ExtractFileName(s.UnRarDll));
      ShowProgressStatus(kStartingSetupStatus);
      TimedStep("count", [&] { CountRarArchive(s.RarFile, s.InstallDir); });
      AddHelpCopiesToSizes();
      // Nothing is written before every volume has room; from here on everything written is journaled.
      if (!TimedStep("space", [] { return ConfirmFreeSpace(RarSizeByFolder); })) throw InstallationCancelled();
      BeginInstallTransaction(s.AppName);
      if (!TimedStep("extract", ExtractArchive)) return false;
      TimedStep("product",
                [&] { RecordInstalledProduct(s.ProductName, s.SubProductName, s.Version, s.Files, s.InstallDir); });
      TimedStep("links", CreateLinks);
      TimedStep("records", [&] {
        WriteProductRecord();
        SetUninstallValue(s.AppName, kVersionValue, s.Version);
      });
      TimedStep("ide", InstallIntoEditions);
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
