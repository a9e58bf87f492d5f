// A registry value as stored: its name, type and raw bytes.
#pragma once

#include <windows.h>

#include <string>

struct RegistryValue {
  std::string name;
  DWORD type = REG_NONE;
  std::string data;  // raw bytes as returned
};
