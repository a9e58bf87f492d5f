// Drive letters mapped onto scratch folders through the Wine prefix's dosdevices links.
#include "mapped_drive.h"

#include <windows.h>

#include <vector>

#include "scratch_registry.h"
#include "unique_handle.h"

namespace {
// Runs a Unix program (Wine starts it natively) and tells whether it ended with exit code 0.
bool RunUnix(const std::string& commandLine) {
  std::vector<char> command(commandLine.begin(), commandLine.end());
  command.push_back('\0');
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started))
    return false;
  UniqueKernelHandle process(started.hProcess);
  UniqueKernelHandle thread(started.hThread);
  WaitForSingleObject(process.get(), INFINITE);
  DWORD exitCode = 1;
  GetExitCodeProcess(process.get(), &exitCode);
  return exitCode == 0;
}
}  // namespace

MappedDrive::MappedDrive() {
  std::string prefix = EnvironmentValue("WINEPREFIX");
  if (prefix.empty() || prefix[0] != '/') return;
  unixFolder_ = "/tmp/orv-drive-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount());
  if (!CreateDirectoryA(WindowsPathFromUnix(unixFolder_).c_str(), nullptr)) return;
  for (char letter = 'm'; letter <= 'y'; ++letter) {
    std::string link = prefix + "/dosdevices/" + letter + ":";
    // ln refuses an existing link, so a letter in use stays as it is.
    if (!RunUnix("Z:\\bin\\ln -s \"" + unixFolder_ + "\" \"" + link + "\"")) continue;
    std::string root = std::string(1, static_cast<char>(letter - 'a' + 'A')) + ":\\";
    link_ = link;
    if (GetFileAttributesA(root.c_str()) != INVALID_FILE_ATTRIBUTES) {
      root_ = root;
      return;
    }
    RunUnix("Z:\\bin\\rm -f \"" + link_ + "\"");
    link_.clear();
  }
}

MappedDrive::~MappedDrive() {
  if (!link_.empty()) RunUnix("Z:\\bin\\rm -f \"" + link_ + "\"");
  if (!unixFolder_.empty()) DeleteFolderTree(WindowsPathFromUnix(unixFolder_));
}
