// The free-space check.
#include "free_space.h"

#include <windows.h>

#include "message_box.h"
#include "setup_texts.h"
#include "path_utils.h"
#include "setup_error.h"

namespace {
// The nearest folder of the path that exists: a destination is usually not there yet.
std::string ExistingParent(std::string folder) {
  while (!folder.empty()) {
    if (FolderExists(folder)) return folder;
    std::string parent = ExtractFilePath(StripTrailingBackslash(folder));
    if (parent == folder) break;
    folder = parent;
  }
  return folder;
}
}  // namespace

std::vector<VolumeShortage> FindVolumeShortages(const std::map<std::string, long long>& sizeByFolder) {
  std::map<std::string, VolumeShortage> volumes;
  for (const auto& [folder, size] : sizeByFolder) {
    const std::string existing = ExistingParent(folder);
    char root[MAX_PATH] = "";
    if (existing.empty() || !GetVolumePathNameA(existing.c_str(), root, sizeof root)) continue;
    VolumeShortage& volume = volumes[root];
    if (volume.volume.empty()) {
      ULARGE_INTEGER available{};
      // A volume whose space cannot be read is not judged: the extraction's own failure remains the guard.
      if (!GetDiskFreeSpaceExA(existing.c_str(), &available, nullptr, nullptr)) available.QuadPart = ~0ull;
      volume.volume = root;
      volume.available = available.QuadPart;
    }
    volume.needed += static_cast<unsigned long long>(size);
  }
  std::vector<VolumeShortage> shortages;
  for (const auto& entry : volumes)
    if (entry.second.needed > entry.second.available) shortages.push_back(entry.second);
  return shortages;
}

std::string SizeText(unsigned long long bytes) {
  if (bytes < 1024) return FormatText("%u bytes", static_cast<unsigned>(bytes));
  const char* units[] = {"KB", "MB", "GB"};
  double size = static_cast<double>(bytes) / 1024;
  int unit = 0;
  while (size >= 1024 && unit < 2) {
    size /= 1024;
    ++unit;
  }
  return FormatText("%.1f %s", size, units[unit]);
}

bool ConfirmFreeSpace(const std::map<std::string, long long>& sizeByFolder) {
  for (;;) {
    std::vector<VolumeShortage> shortages = FindVolumeShortages(sizeByFolder);
    if (shortages.empty()) return true;
    const VolumeShortage& first = shortages.front();
    const std::string text = NotEnoughSpaceText(first.volume, SizeText(first.needed), SizeText(first.available));
    if (ShowMessageBox(text, kSetupCaption, MB_ICONWARNING | MB_RETRYCANCEL, IDCANCEL) != IDRETRY) return false;
  }
}
