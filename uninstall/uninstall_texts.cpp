// The uninstaller's texts that take values.
#include "uninstall_texts.h"

#include "setup_error.h"

std::string ConfirmRemovalText(const std::string& appName) {
  return FormatText("Are you sure you want to completely remove the %s?", appName.c_str());
}
