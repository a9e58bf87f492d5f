// Shared message texts of the setup program.
#include "setup_texts.h"

#include "setup_error.h"

std::string PreviousVersionText(const std::string& appName) {
  return FormatText(
      "Setup has detected that previous version of %s is already installed. It is highly recommended that you "
      "uninstall previous version before you can install %s.\r\n\r\nPress the OK button to continue the "
      "installation.\r\nPress the Cancel button to abort the installation.",
      appName.c_str(), appName.c_str());
}
