// The two _com_util conversions that the library's isnt.cpp needs and mingw does not provide.
#include <windows.h>
#include <oleauto.h>

namespace _com_util {
BSTR __stdcall ConvertStringToBSTR(const char* text) {
  if (text == nullptr) return nullptr;
  int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (length <= 0) return nullptr;
  BSTR result = SysAllocStringLen(nullptr, static_cast<UINT>(length - 1));
  if (result != nullptr) MultiByteToWideChar(CP_ACP, 0, text, -1, result, length);
  return result;
}

char* __stdcall ConvertBSTRToString(BSTR text) {
  if (text == nullptr) return nullptr;
  int length = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return nullptr;
  char* result = new char[length];
  WideCharToMultiByte(CP_ACP, 0, text, -1, result, length, nullptr, nullptr);
  return result;
}
}  // namespace _com_util
