// The setup program's texts that take values.
#include "setup_texts.h"

#include "setup_error.h"

std::string WelcomeText(const std::string& title) {
  return FormatText(
      "This program will install %s onto your computer.\r\nPress the OK button to start the installation.\r\n"
      "You can press the Cancel button if you do not want to install this software.",
      title.c_str());
}

std::string PreviousVersionText(const std::string& appName) {
  return FormatText(
      "Setup has detected that previous version of %s is already installed. It is highly recommended that you "
      "uninstall previous version before you can install %s.\r\n\r\nPress the OK button to continue the "
      "installation.\r\nPress the Cancel button to abort the installation.",
      appName.c_str(), appName.c_str());
}

std::string RunningIdeText(const std::string& appName) {
  return FormatText(
      "You have one or more of the following applications running. It is highly recommended that you shut down "
      "these applications before you can install %s.\r\n\r\nBorland Delphi\r\nBorland C++ Builder\r\n",
      appName.c_str());
}

std::string NotEnoughSpaceText(const std::string& volume, const std::string& needed, const std::string& free) {
  return FormatText(
      "There is not enough free space on drive %s.\r\nThe installation needs %s there, and %s is free.\r\n"
      "Free some space and press Retry, or press Cancel to end the setup.",
      volume.c_str(), needed.c_str(), free.c_str());
}

std::string RunAfterInstallText(const std::string& program) {
  return FormatText("Would you like to run %s right now?", program.c_str());
}

std::string BuildingPackagesStatus(const std::string& editionName) {
  return FormatText("Building %s packages...", editionName.c_str());
}
