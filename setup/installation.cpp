// The installation sequence.
#include "installation.h"

#include <windows.h>

#include "message_box.h"
#include "setup_error.h"
#include "setup_settings.h"

bool ConfirmWelcome() {
  std::string title = SetupSettings.AppName;
  if (!SetupSettings.Version.empty()) title += " Version " + SetupSettings.Version;
  std::string text = FormatText(
      "This program will install %s onto your computer.\r\nPress the OK button to start the installation.\r\n"
      "You can press the Cancel button if you do not want to install this software.",
      title.c_str());
  return ShowMessageBox(text, "Welcome!", MB_OKCANCEL | MB_ICONINFORMATION) == IDOK;
}

void RunInstallation() {
  if (!ConfirmWelcome()) return;
}
