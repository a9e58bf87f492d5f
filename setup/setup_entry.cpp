// SetupMain: configuration, the installation and the catch-all that reports any escaped error.
#include <windows.h>
#include <commctrl.h>

#include <exception>

#include "install_journal.h"
#include "installation.h"
#include "message_box.h"
#include "setup_settings.h"
#include "unique_handle.h"

namespace {
void ClearLists() {
  TSetupSettings& s = SetupSettings;
  for (StringList* list : {&s.SystemFiles, &s.HelpFiles, &s.InstalledHelps, &s.Packages, &s.BuildPackages, &s.Links,
                           &s.Files, &s.Folders, &s.RegKeys})
    list->Clear();
}

void RunUnderCom() {
  ComApartment com;
  ClearLists();
  auto destroyLists = ScopeExit(ClearLists);
  if (LoadSetupSettings()) RunInstallation();
}

// The installation under the catch-all: its exit code.
int RunReportingErrors() {
  std::string error;
  try {
    UndoInterruptedInstallationAtStart("Setup");
    RunUnderCom();
    return 0;
  } catch (const std::exception& e) {
    error = e.what();
  } catch (...) {
    error = "Unknown error";
  }
  ShowMessageBox("Installation failed.", "An error occured during installation.", MB_ICONWARNING | MB_OK);
  ShowMessageBox(error, "Application Error", MB_ICONERROR | MB_OK);
  return 1;
}
}  // namespace

int SetupMain() {
  InitConfigFileName();
  InitCommonControls();
  const int exitCode = RunReportingErrors();
  DeleteSetupProgram();
  return exitCode;
}
