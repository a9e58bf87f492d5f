// The uninstaller's driver.
#include "uninstaller.h"

#include <windows.h>
#include <commctrl.h>

#include "command_line.h"
#include "message_box.h"

std::string AppName;

int UninstallMain() {
  InitCommonControls();
  AppName = CommandLineArgument(1);
  if (AppName.empty()) {
    ShowMessageBox("Do not call this program directly.\r\nUse Add/Remove Programs to remove this application.",
                   "Uninstall", MB_ICONERROR | MB_OK);
    return 0;
  }
  return 0;
}
