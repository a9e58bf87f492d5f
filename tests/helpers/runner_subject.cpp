// Test subject for the process runner: prints what it is told on standard output and ends with a chosen code.
//   --line TEXT   writes TEXT and CR LF
//   --cwd         writes its current folder and CR LF
//   --sleep MS    waits that long
//   --wait-event NAME  waits (at most 30 s) until the named event is set
//   --touch FILE  creates the file
//   --exit N      ends with exit code N (decimal or 0x hex), 0 by default
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {
void Say(const std::string& line) {
  std::string text = line + "\r\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}
}  // namespace

int main(int argc, char** argv) {
  UINT exitCode = 0;
  for (int i = 1; i < argc; ++i) {
    bool hasValue = i + 1 < argc;
    if (std::strcmp(argv[i], "--line") == 0 && hasValue) {
      Say(argv[++i]);
    } else if (std::strcmp(argv[i], "--cwd") == 0) {
      char folder[MAX_PATH * 2];
      DWORD length = GetCurrentDirectoryA(sizeof folder, folder);
      Say(length < sizeof folder ? std::string(folder, length) : std::string());
    } else if (std::strcmp(argv[i], "--sleep") == 0 && hasValue) {
      Sleep(static_cast<DWORD>(std::strtoul(argv[++i], nullptr, 0)));
    } else if (std::strcmp(argv[i], "--wait-event") == 0 && hasValue) {
      HANDLE event = OpenEventA(SYNCHRONIZE, FALSE, argv[++i]);
      if (event != nullptr) WaitForSingleObject(event, 30000);
    } else if (std::strcmp(argv[i], "--touch") == 0 && hasValue) {
      CloseHandle(CreateFileA(argv[++i], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    } else if (std::strcmp(argv[i], "--exit") == 0 && hasValue) {
      exitCode = static_cast<UINT>(std::strtoul(argv[++i], nullptr, 0));
    }
  }
  ExitProcess(exitCode);
}
