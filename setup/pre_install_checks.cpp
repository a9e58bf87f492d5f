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
  return ShowMessageBox(PreviousVersionText(SetupSettings.AppName), "Installation Error", MB_OKCANCEL | MB_ICONERROR) ==
         IDOK;
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
  std::string text = FormatText(
      "You have one or more of the following applications running. It is highly recommended that you shut down "
      "these applications before you can install %s.\r\n\r\nBorland Delphi\r\nBorland C++ Builder\r\n",
      SetupSettings.AppName.c_str());
  // Unattended, the installation stops: the running IDE would write its own copy of the settings back.
  return ShowMessageBox(text, "Installation Warning", MB_OKCANCEL | MB_ICONERROR, IDCANCEL) == IDOK;
}
