// The one error type of the lower layers: its message is exactly the text the user sees.
#pragma once

#include <windows.h>

#include <stdexcept>
#include <string>

class SetupError : public std::runtime_error {
 public:
  explicit SetupError(const std::string& message) : std::runtime_error(message) {}
};

// printf-style formatting into a std::string (the texts keep their "%s" as written).
std::string FormatText(const char* format, ...);

// The texts of the lower layers, one function per kind.
SetupError InvalidDataTypeError(const std::string& valueName);  // "Invalid data type for '%s'"
SetupError FailedToSetDataError(const std::string& valueName);  // "Failed to set data for '%s'"
SetupError CannotOpenFileError(const std::string& path);        // "Cannot open file %s"
// "Cannot create file %s", followed by the system's reason when an error code is given.
SetupError CannotCreateFileError(const std::string& path, DWORD systemError = ERROR_SUCCESS);
SetupError CannotLoadLibraryError(const std::string& library);  // "Can not load %s"

// The system's text for a Win32 error code, trailing blanks, control characters and full stops removed.
std::string Win32ErrorText(DWORD code);
