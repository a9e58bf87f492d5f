// Helpers shared by the test programs.
#include "test_utils.h"

#include <commctrl.h>

#include <algorithm>

#include <gtest/gtest.h>

#include "e2e_support.h"
#include "process_runner.h"
#include "registry.h"
#include "setup_error.h"

std::string ErrorText(const std::function<void()>& action) {
  try {
    action();
  } catch (const SetupError& error) {
    return error.what();
  }
  return "(nothing raised)";
}

void WriteRawValue(HKEY root, const std::string& path, const std::string& name, DWORD type, const std::string& bytes) {
  RegistryKey key = RegistryKey::Create(root, path);
  ASSERT_TRUE(key.valid()) << path;
  ASSERT_EQ(RegSetValueExA(key.get(), name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                           static_cast<DWORD>(bytes.size())),
            ERROR_SUCCESS)
      << path << " " << name;
}

std::string DwordBytes(DWORD value) { return std::string(reinterpret_cast<const char*>(&value), sizeof value); }

std::string SetImmutable(const std::string& path, bool immutable) {
  // Wine's own export: the Unix name of a Windows path, on the process heap.
  using UnixFileName = char*(CDECL*)(LPCWSTR);
  const auto unixFileName = reinterpret_cast<UnixFileName>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (unixFileName == nullptr) return "not running under Wine";
  const std::wstring wide(path.begin(), path.end());
  char* unixName = unixFileName(wide.c_str());
  if (unixName == nullptr) return "no Unix name for " + path;
  const std::string command = std::string("/usr/bin/chattr ") + (immutable ? "+i" : "-i") + " \"" + unixName + "\"";
  HeapFree(GetProcessHeap(), 0, unixName);
  // Wine starts a Unix program as such, without a process to wait for: the mark is seen to take effect. Handed this
  // process's inheritable handles, such a program was seen to break the registry for this process.
  RunProgram(command, true);
  auto writable = [&] {
    return UniqueFile(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, 0, nullptr))
        .valid();
  };
  return WaitFor([&] { return writable() != immutable; }, 10000) ? std::string() : command + " had no effect";
}

bool WaitFor(const std::function<bool()>& condition, DWORD timeMs) {
  const DWORD start = GetTickCount();
  while (!condition()) {
    if (GetTickCount() - start >= timeMs) return false;
    Sleep(100);
  }
  return true;
}

int FilesIn(const std::string& folder) {
  const std::vector<std::string> entries = ListFolderTree(folder);  // folders end with a backslash
  return static_cast<int>(std::count_if(
      entries.begin(), entries.end(), [](const std::string& entry) { return entry.find('\\') == std::string::npos; }));
}

FakeIdeWindows::FakeIdeWindows(const std::vector<const char*>& classNames) {
  for (const char* className : classNames) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = className;
    RegisterClassA(&windowClass);
    windows_.emplace_back(CreateWindowExA(0, className, "", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr, nullptr,
                                          GetModuleHandleA(nullptr), nullptr));
    EXPECT_TRUE(windows_.back().valid()) << "cannot create a window of class " << className;
  }
}

ProgressStandIn::ProgressStandIn()
    : window_(CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr)) {
  for (INT_PTR id : {1000, 1001})
    CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 1, 1, window_.get(), reinterpret_cast<HMENU>(id), nullptr,
                    nullptr);
}

namespace {
std::vector<std::string> traffic;

LRESULT CALLBACK RecordTraffic(int code, WPARAM wParam, LPARAM lParam) {
  const CWPSTRUCT* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
  if (code == HC_ACTION) {
    const int id = GetDlgCtrlID(call->hwnd);
    if (id == 1001 && call->message == WM_SETTEXT)
      traffic.push_back("text " + std::string(reinterpret_cast<const char*>(call->lParam)));
    if (id == 1000 && call->message == PBM_SETRANGE32)
      traffic.push_back("range " + std::to_string(call->wParam) + " " + std::to_string(call->lParam));
    if (id == 1000 && call->message == PBM_SETPOS) traffic.push_back("position " + std::to_string(call->wParam));
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}
}  // namespace

ProgressTraffic::ProgressTraffic()
    : hook_(SetWindowsHookExA(WH_CALLWNDPROC, RecordTraffic, nullptr, GetCurrentThreadId())) {
  traffic.clear();
  if (hook_ == nullptr) ADD_FAILURE() << "cannot hook this thread";
}

ProgressTraffic::~ProgressTraffic() {
  if (hook_ != nullptr) UnhookWindowsHookEx(hook_);
}

const std::vector<std::string>& ProgressTraffic::lines() const { return traffic; }

bool ProgressTraffic::Pairs(std::vector<std::pair<std::string, long long>>& pairs) const {
  pairs.clear();
  if (traffic.empty() || traffic[0].compare(0, 6, "range ") != 0 || traffic.size() % 2 == 0) return false;
  for (size_t i = 1; i + 1 < traffic.size(); i += 2) {
    if (traffic[i].compare(0, 5, "text ") != 0 || traffic[i + 1].compare(0, 9, "position ") != 0) return false;
    pairs.emplace_back(traffic[i].substr(5), std::stoll(traffic[i + 1].substr(9)));
  }
  return true;
}
