// Drive letters mapped onto scratch folders through the Wine prefix's dosdevices links.
#include "mapped_drive.h"

#include <windows.h>

#include <vector>

#include "scratch_registry.h"
#include "unique_handle.h"

namespace {
// Starts a Unix program; Wine runs it natively. Wine splits its arguments at blanks (quotes included) and gives back
// no handle to wait on, so callers watch for the effect.
void StartUnix(const std::string& commandLine) {
  std::vector<char> command(commandLine.begin(), commandLine.end());
  command.push_back('\0');
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started))
    return;
  UniqueKernelHandle process(started.hProcess);
  UniqueKernelHandle thread(started.hThread);
}

// Polls until the path's existence is as wanted, for up to three seconds.
bool WaitForPath(const std::string& path, bool present) {
  for (int i = 0; i < 30; ++i) {
    if ((GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) == present) return true;
    Sleep(100);
  }
  return false;
}
}  // namespace

MappedDrive::MappedDrive() {
  std::string prefix = EnvironmentValue("WINEPREFIX");
  if (prefix.empty() || prefix[0] != '/' || prefix.find(' ') != std::string::npos) return;
  unixFolder_ = "/tmp/orv-drive-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount());
  if (!CreateDirectoryA(WindowsPathFromUnix(unixFolder_).c_str(), nullptr)) return;
  // Tells our mapping from anyone else's.
  marker_ = "orv-drive-" + std::to_string(GetCurrentProcessId()) + ".marker";
  WriteFileBytes(WindowsPathFromUnix(unixFolder_) + "\\" + marker_, "");
  for (char letter = 'm'; letter <= 'y'; ++letter) {
    std::string root = std::string(1, static_cast<char>(letter - 'a' + 'A')) + ":\\";
    // A letter in use stays as it is (ln would refuse it as well).
    if (GetFileAttributesA(root.c_str()) != INVALID_FILE_ATTRIBUTES) continue;
    link_ = prefix + "/dosdevices/" + letter + ":";
    StartUnix("Z:\\bin\\ln -s " + unixFolder_ + " " + link_);
    if (WaitForPath(root + marker_, true)) {
      root_ = root;
      return;
    }
  }
  link_.clear();
}

MappedDrive::~MappedDrive() {
  if (!root_.empty()) {
    StartUnix("Z:\\bin\\rm -f " + link_);
    WaitForPath(root_ + marker_, false);
  }
  if (!unixFolder_.empty()) DeleteFolderTree(WindowsPathFromUnix(unixFolder_));
}
