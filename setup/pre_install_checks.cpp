// The two warnings before the destination is asked.
#include "pre_install_checks.h"

#include <windows.h>

#include "message_box.h"
#include "setup_error.h"
#include "setup_settings.h"
#include "setup_texts.h"
#include "uninstall_entry.h"

bool CheckPreviousVersion() {
  if (!SetupSettings.CheckPrevVersion) return true;
  if (!UninstallEntryExists(SetupSettings.AppName)) return true;
  return ShowMessageBox(PreviousVersionText(SetupSettings.AppName), kInstallationErrorCaption,
                        MB_OKCANCEL | MB_ICONERROR) == IDOK;
}

bool IsIdeRunning() {
  bool all = true;
  // Every lookup is made, whatever the earlier ones found.
  for (const char* windowClass : {"TAlignPalette", "TPropertyInspector", "TAppBuilder"})
    if (FindWindowA(windowClass, nullptr) == nullptr) all = false;
  return all;
}

bool CheckRunningIde() {
  if (!SetupSettings.CheckDelphi) return true;
  if (!IsIdeRunning()) return true;
  // Unattended, the installation stops: the running IDE would write its own copy of the settings back.
  return ShowMessageBox(RunningIdeText(SetupSettings.AppName), kInstallationWarningCaption, MB_OKCANCEL | MB_ICONERROR,
                        IDCANCEL) == IDOK;
}
