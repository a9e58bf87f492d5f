// Texts of the shared layers' boxes.
#include "shared_texts.h"

#include "setup_error.h"

std::string FileInUseText(const std::string& path) {
  return FormatText(
      "The file %s is used by another program.\r\nClose that program and press Retry, or press Cancel to undo the "
      "installation.",
      path.c_str());
}

std::string NotRestoredText(const std::string& appName, const std::string& list) {
  return FormatText(
      "The installation of %s could not be undone completely. These files could not be restored yet:\r\n\r\n%s\r\n"
      "Please close the programs that use them. The next start of the setup or of an uninstaller will finish "
      "restoring them.",
      appName.c_str(), list.c_str());
}

std::string InterruptedInstallationUndoneText(const std::string& appName) {
  return FormatText("The interrupted installation of %s was undone.", appName.c_str());
}
