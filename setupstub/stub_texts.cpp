// The single-file setup's texts that take values.
#include "stub_texts.h"

#include "setup_error.h"

std::string UnpackFailedText(const std::string& folder, const std::string& reason) {
  return FormatText("The setup files could not be unpacked into %s.\r\n%s", folder.c_str(), reason.c_str());
}

std::string StartFailedText(const std::string& program, const std::string& reason) {
  return FormatText("The setup program %s could not be started.\r\n%s", program.c_str(), reason.c_str());
}
