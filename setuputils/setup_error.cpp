// Error texts of the lower layers and the system's error messages.
#include "setup_error.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

std::string FormatText(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string result;
  if (length > 0) {
    std::vector<char> buffer(static_cast<size_t>(length) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    result.assign(buffer.data(), static_cast<size_t>(length));
  }
  va_end(args);
  return result;
}

SetupError InvalidDataTypeError(const std::string& valueName) {
  return SetupError(FormatText("Invalid data type for '%s'", valueName.c_str()));
}

SetupError FailedToSetDataError(const std::string& valueName) {
  return SetupError(FormatText("Failed to set data for '%s'", valueName.c_str()));
}

SetupError CannotOpenFileError(const std::string& path) {
  return SetupError(FormatText("Cannot open file %s", path.c_str()));
}

SetupError CannotCreateFileError(const std::string& path, DWORD systemError) {
  std::string text = FormatText("Cannot create file %s", path.c_str());
  const std::string reason = systemError != ERROR_SUCCESS ? Win32ErrorText(systemError) : std::string();
  if (!reason.empty()) text += ". " + reason;
  return SetupError(text);
}

SetupError CannotLoadLibraryError(const std::string& library) {
  return SetupError(FormatText("Can not load %s", library.c_str()));
}

std::string Win32ErrorText(DWORD code) {
  char buffer[256];
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, buffer,
                                sizeof buffer, nullptr);
  if (length >= sizeof buffer) length = 0;
  std::string text(buffer, length);
  while (!text.empty() && (static_cast<unsigned char>(text.back()) <= 32 || text.back() == '.')) text.pop_back();
  return text;
}
