// Drive letters mapped onto scratch folders through the Wine prefix's dosdevices links.
#include "mapped_drive.h"

#include <windows.h>

#include "scratch_registry.h"
#include "test_utils.h"

namespace {
// Polls until the path's existence is as wanted, for up to three seconds.
bool WaitForPath(const std::string& path, bool present) {
  return WaitFor([&] { return (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) == present; }, 3000);
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
    // Wine gives no handle to wait on for a Unix program: the effect is watched for instead.
    RunCommand("Z:\\bin\\ln -s " + unixFolder_ + " " + link_, false);
    if (WaitForPath(root + marker_, true)) {
      root_ = root;
      return;
    }
  }
  link_.clear();
}

MappedDrive::~MappedDrive() {
  if (!root_.empty()) {
    RunCommand("Z:\\bin\\rm -f " + link_, false);
    WaitForPath(root_ + marker_, false);
  }
  if (!unixFolder_.empty()) DeleteFolderTree(WindowsPathFromUnix(unixFolder_));
}
