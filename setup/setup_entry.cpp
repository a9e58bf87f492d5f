// SetupMain: configuration, the installation and the catch-all that reports any escaped error.
#include <windows.h>
#include <commctrl.h>

#include <exception>
#include <optional>

#include "install_journal.h"
#include "installation.h"
#include "message_box.h"
#include "program_switches.h"
#include "run_log.h"
#include "setup_error.h"
#include "setup_files.h"
#include "setup_settings.h"
#include "setup_texts.h"
#include "unique_handle.h"

namespace {
void ClearLists() {
  TSetupSettings& s = SetupSettings;
  for (StringList* list : {&s.SystemFiles, &s.HelpFiles, &s.InstalledHelps, &s.Packages, &s.BuildPackages, &s.Links,
                           &s.Files, &s.Folders, &s.RegKeys})
    list->Clear();
}

TInstallOutcome RunUnderCom() {
  ComApartment com;
  ClearLists();
  auto destroyLists = ScopeExit(ClearLists);
  return LoadSetupSettings() ? RunInstallation() : ioRefused;
}

// 0 for a completed installation and, asked in person, for every refusal; 1 for everything else.
int ExitCodeOf(TInstallOutcome outcome) {
  if (outcome == ioCompleted) return 0;
  return outcome == ioRefused && !IsUnattended() ? 0 : 1;
}

// The installation under the catch-all: its exit code.
int RunReportingErrors() {
  std::string error;
  try {
    // A log that cannot be created is an error like any other.
    InitConfigFileName();
    // One installation at a time: the journal folder stays locked until this program ends.
    const std::optional<JournalLock> lock = JournalLock::Acquire(JournalFolder());
    if (!lock) {
      ShowMessageBox(kAnotherInstallationRunningText, kSetupCaption, MB_ICONWARNING | MB_OK);
      LogLine("Outcome: another installation is running, exit code 1");
      return 1;
    }
    if (!FinishInterruptedInstallationAtStart(*lock, kSetupCaption)) {
      LogLine("Outcome: an interrupted installation could not be undone completely, exit code 1");
      return 1;
    }
    const TInstallOutcome outcome = RunUnderCom();
    const int exitCode = ExitCodeOf(outcome);
    LogOwnTime();
    LogLine(FormatText("Outcome: %s, exit code %d",
                       outcome == ioCompleted ? "completed"
                       : outcome == ioRefused ? "not installed"
                                              : "failed",
                       exitCode));
    return exitCode;
  } catch (const std::exception& e) {
    error = e.what();
  } catch (...) {
    error = "Unknown error";
  }
  LogLine("Error: " + error);
  ShowMessageBox(kInstallationFailedText, kInstallationFailedCaption, MB_ICONWARNING | MB_OK);
  ShowMessageBox(error, kApplicationErrorCaption, MB_ICONERROR | MB_OK);
  LogLine("Outcome: failed, exit code 1");
  return 1;
}
}  // namespace

int SetupMain() {
  SuppressSystemErrorBoxes();
  InitCommonControls();
  const int exitCode = RunReportingErrors();
  DeleteSetupProgram();
  return exitCode;
}
