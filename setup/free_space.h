// The free-space check before anything is written: every volume the installation writes to against what the
// counting pass summed for it.
#pragma once

#include <map>
#include <string>
#include <vector>

struct VolumeShortage {
  std::string volume;  // the volume's root folder, "C:\" say
  unsigned long long needed = 0;
  unsigned long long available = 0;
};

// The volumes among the folders' that have less room than the folders' sizes need together; a folder that does not
// exist yet is on the volume of its nearest existing parent.
std::vector<VolumeShortage> FindVolumeShortages(const std::map<std::string, long long>& sizeByFolder);
// A size for a person: bytes, KB, MB or GB with one decimal.
std::string SizeText(unsigned long long bytes);
// Asks while a volume is short (caption "Setup", Retry and Cancel): true once every volume has room, false on Cancel.
bool ConfirmFreeSpace(const std::map<std::string, long long>& sizeByFolder);
