// Hook DLL of the end-to-end tests: records inside a program under test what it sends to its progress dialog's
// status text and bar (see tests/support/progress_log.h).
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "../support/progress_log.h"
#include "unique_handle.h"

namespace {
bool IsControl(HWND window, int id, const char* className) {
  char name[32];
  return GetDlgCtrlID(window) == id && GetClassNameA(window, name, sizeof name) > 0 && lstrcmpiA(name, className) == 0;
}

void Append(const std::string& line) {
  char path[MAX_PATH];
  DWORD length = GetEnvironmentVariableA(kProgressLogVariable, path, sizeof path);
  if (length == 0 || length >= sizeof path) return;
  UniqueFile file(CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return;
  const std::string text = line + "\r\n";
  DWORD written = 0;
  WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

void Record(const CWPSTRUCT& message) {
  if (message.message == WM_INITDIALOG && GetDlgItem(message.hwnd, kProgressStatusControl) != nullptr) {
    char caption[256];
    int length = GetWindowTextA(message.hwnd, caption, sizeof caption);
    Append("dialog\t" + std::string(caption, length > 0 ? static_cast<size_t>(length) : 0));
  } else if (message.message == WM_SETTEXT && message.lParam != 0 &&
             IsControl(message.hwnd, kProgressStatusControl, "Static")) {
    Append(std::string("text\t") + reinterpret_cast<const char*>(message.lParam));
  } else if (message.message == PBM_SETRANGE32 && IsControl(message.hwnd, kProgressBarControl, PROGRESS_CLASSA)) {
    Append("range\t" + std::to_string(static_cast<long>(message.wParam)) + "\t" +
           std::to_string(static_cast<long>(message.lParam)));
  } else if (message.message == PBM_SETPOS && IsControl(message.hwnd, kProgressBarControl, PROGRESS_CLASSA)) {
    Append("position\t" + std::to_string(static_cast<long>(message.wParam)));
  }
}
}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK ProgressHookProc(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION) Record(*reinterpret_cast<const CWPSTRUCT*>(lParam));
  return CallNextHookEx(nullptr, code, wParam, lParam);
}
