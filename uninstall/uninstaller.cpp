// The uninstaller's driver.
#include "uninstaller.h"

#include <windows.h>
#include <commctrl.h>

#include <exception>
#include <optional>

#include "command_line.h"
#include "install_journal.h"
#include "install_records.h"
#include "message_box.h"
#include "path_utils.h"
#include "program_switches.h"
#include "registry_names.h"
#include "removal_steps.h"
#include "run_log.h"
#include "self_delete.h"
#include "setup_error.h"
#include "step_timings.h"
#include "string_list.h"
#include "text_compare.h"
#include "uninstall_entry.h"
#include "uninstall_texts.h"

ProgramSwitches UninstallerSwitches(const std::string& commandLine, const std::string& ownPath) {
  size_t start = 0;
  while (start < commandLine.size() && static_cast<unsigned char>(commandLine[start]) <= ' ') ++start;
  std::string head = commandLine.substr(start, ownPath.size());
  size_t after = start + ownPath.size();
  // The entry's command names the program unquoted, blanks and all: its own path is taken off whole.
  std::vector<std::string> arguments =
      !ownPath.empty() && SameTextLocale(head, ownPath) &&
              (after >= commandLine.size() || static_cast<unsigned char>(commandLine[after]) <= ' ')
          ? SplitCommandLine("-" + commandLine.substr(after))
          : SplitCommandLine(commandLine);
  if (!arguments.empty()) arguments.erase(arguments.begin());
  return ParseProgramSwitches(arguments, false);
}

bool ConfirmRemoval() {
  return ShowMessageBox(ConfirmRemovalText(AppName), kUninstallCaption, MB_YESNO | MB_ICONQUESTION, IDYES) == IDYES;
}

namespace {
// A folder the removal never needs, so that none of the product's folders is held as the current folder.
void LeaveInstalledFolders() {
  char temp[MAX_PATH + 1];
  DWORD length = GetTempPathA(sizeof temp, temp);
  if (length > 0 && length < sizeof temp && SetCurrentDirectoryA(temp)) return;
  char windows[MAX_PATH + 1];
  UINT windowsLength = GetWindowsDirectoryA(windows, sizeof windows);
  if (windowsLength > 0 && windowsLength < sizeof windows) SetCurrentDirectoryA(windows);
}
}  // namespace

bool RunUninstall() {
  if (!ConfirmRemoval()) return false;
  StepTimer uninstallation("uninstallation");
  LeaveInstalledFolders();
  StringList keptFiles;
  TimedStep("files", [&] { RemoveInstalledFiles(keptFiles); });
  TimedStep("product", [&] {
    std::string productName = ReadUninstallValue(AppName, kProductNameValue);
    std::string subProductName = ReadUninstallValue(AppName, kSubProductNameValue);
    RemoveProductRecord(productName, subProductName, keptFiles);
  });
  std::vector<std::string> foldersLeft = TimedStep("folders", RemoveInstalledFolders);
  TimedStep("ide", [] {
    RemoveInstalledPaths();
    RemoveInstalledHelps();
  });
  TimedStep("entry", [&] {
    DeleteUninstallEntry(AppName);
    std::string ownPath = ModuleFileName();
    if (GetInstalledFileCount(ownPath) < 0) DeleteFileViaBatch(ownPath, BatchWriteErrors::Raise, foldersLeft);
  });
  return true;
}

int UninstallMain() {
  SuppressSystemErrorBoxes();
  InitCommonControls();
  const char* commandLine = GetCommandLineA();
  const ProgramSwitches switches = UninstallerSwitches(commandLine != nullptr ? commandLine : "", ModuleFileName());
  SetRunMode(switches.mode);
  AppName = switches.argument;
  try {
    if (switches.log) {
      OpenRunLog(FullPathName(switches.logFile.empty() ? DefaultRunLogPath("uninstall", AppName) : switches.logFile));
      LogLine(std::string("Command line: ") + (commandLine != nullptr ? commandLine : ""));
    }
    if (AppName.empty()) {
      ShowMessageBox(kDirectCallText, kUninstallCaption, MB_ICONERROR | MB_OK);
      // Asked in person, an orderly end; unattended, nothing was removed that was asked for.
      LogLine(IsUnattended() ? "Outcome: nothing removed, exit code 1" : "Outcome: nothing removed, exit code 0");
      return IsUnattended() ? 1 : 0;
    }
    // An installation that did not finish is undone first: its journal names what it changed. A journal folder that
    // a running setup holds has no interrupted installation in it.
    const std::string journalFolder = JournalFolder();
    if (JournalLeftIn(journalFolder)) {
      const std::optional<JournalLock> lock = JournalLock::Acquire(journalFolder);
      if (lock && !FinishInterruptedInstallationAtStart(*lock, kUninstallCaption)) {
        LogLine("Outcome: not removed: an interrupted installation could not be undone completely, exit code 1");
        return 1;
      }
    }
    // Nobody confirms an unattended run's name: one without an entry names no installation, and nothing is touched.
    if (IsUnattended() && !UninstallEntryExists(AppName)) {
      LogLine(AppName + " is not installed");
      LogLine("Outcome: nothing removed, exit code 1");
      return 1;
    }
    const bool removed = RunUninstall();
    LogOwnTime();
    LogLine(removed ? "Outcome: removed, exit code 0" : "Outcome: not removed, exit code 0");
  } catch (const std::exception& e) {
    LogLine(std::string("Error: ") + e.what());
    ShowMessageBox(e.what(), kUninstallCaption, MB_ICONERROR | MB_OK);
    LogLine("Outcome: failed, exit code 1");
    return 1;
  }
  return 0;
}
