// The driver's test subject: shows the windows its arguments ask for, in order, logs the answers and exits with the
// code asked for.
//   log=FILE             append one line per answered window to FILE
//   box=ICON,BUTTONS     a message box; ICON info|warning|error|question|none, BUTTONS ok|okcancel|yesno|yesnocancel;
//                        logs "box N RESULT"
//   dialog               dialog 201 (edit field 1000, OK, Cancel, button 3 that shows an owned box and stays);
//                        logs "dialog N ok TEXT" or "dialog N cancel"
//   progress             passive window 202 showing "Step 1" to "Step 3" without processing messages
//   hang                 sleeps for ever
//   exit=N               the exit code (default 0)
#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <string>

#include "unique_handle.h"

namespace {
std::string logFile;

void Log(const std::string& line) {
  if (logFile.empty()) return;
  UniqueFile file(CreateFileA(logFile.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  std::string text = line + "\r\n";
  DWORD written = 0;
  if (file) WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

UINT IconStyle(const std::string& icon) {
  if (icon == "info") return MB_ICONINFORMATION;
  if (icon == "warning") return MB_ICONWARNING;
  if (icon == "error") return MB_ICONERROR;
  if (icon == "question") return MB_ICONQUESTION;
  return 0;
}

UINT ButtonStyle(const std::string& buttons) {
  if (buttons == "okcancel") return MB_OKCANCEL;
  if (buttons == "yesno") return MB_YESNO;
  if (buttons == "yesnocancel") return MB_YESNOCANCEL;
  return MB_OK;
}

void ShowBox(int number, const std::string& request) {
  const std::string icon = request.substr(0, request.find(','));
  const std::string buttons = request.find(',') == std::string::npos ? "ok" : request.substr(request.find(',') + 1);
  std::string text = "Box " + std::to_string(number) + "\r\nicon " + icon;
  int result = MessageBoxA(nullptr, text.c_str(), ("Subject box " + std::to_string(number)).c_str(),
                           IconStyle(icon) | ButtonStyle(buttons));
  Log("box " + std::to_string(number) + " " + std::to_string(result));
}

std::string dialogText;

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) return TRUE;
  if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return FALSE;
  switch (LOWORD(wParam)) {
    case IDOK: {
      char text[256];
      UINT length = GetDlgItemTextA(dialog, 1000, text, sizeof text);
      dialogText.assign(text, length < sizeof text ? length : sizeof text - 1);
      EndDialog(dialog, IDOK);
      return TRUE;
    }
    case IDCANCEL:
      EndDialog(dialog, IDCANCEL);
      return TRUE;
    case 3:
      MessageBoxA(dialog, "Button 3 pressed", "Subject", MB_OK | MB_ICONINFORMATION);
      return TRUE;
  }
  return FALSE;
}

void ShowDialog(int number) {
  INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(201), nullptr, DialogProc, 0);
  Log("dialog " + std::to_string(number) + (result == IDOK ? " ok " + dialogText : " cancel"));
}

INT_PTR CALLBACK PassiveProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

void ShowProgress() {
  UniqueWindow window(CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(202), nullptr, PassiveProc, 0));
  for (const char* step : {"Step 1", "Step 2", "Step 3"}) {
    SetDlgItemTextA(window.get(), 1001, step);
    Sleep(400);
  }
  Log("progress done");
}
}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  InitCommonControls();
  int exitCode = 0;
  int boxes = 0;
  int dialogs = 0;
  for (int index = 1; index < __argc; ++index) {
    const std::string argument = __argv[index];
    const std::string value = argument.substr(argument.find('=') + 1);
    if (argument.rfind("log=", 0) == 0) logFile = value;
    if (argument.rfind("box=", 0) == 0) ShowBox(++boxes, value);
    if (argument == "dialog") ShowDialog(++dialogs);
    if (argument == "progress") ShowProgress();
    if (argument == "hang") Sleep(INFINITE);
    if (argument.rfind("exit=", 0) == 0) exitCode = std::atoi(value.c_str());
  }
  return exitCode;
}
