// Deleting the setup's own files.
#include "setup_files.h"

#include <windows.h>

#include <unordered_set>

#include "path_macros.h"
#include "path_utils.h"
#include "self_delete.h"
#include "setup_settings.h"
#include "text_compare.h"

namespace {
// The running program, when it is one of the setup files to delete.
std::string setupProgramToDelete;
}  // namespace

void DeleteSetupFiles(const std::string& archivePath) {
  TSetupSettings& s = SetupSettings;
  std::unordered_set<std::string> installed;
  for (const auto& path : s.Files) installed.insert(LowerCaseLocale(path));
  auto isOurs = [&](const std::string& path) { return installed.count(LowerCaseLocale(path)) == 0; };
  for (const std::string& path :
       {archivePath, ExpandFromExeDir(s.ConfigFileName), AppFolder() + s.UninstallerName, ExpandFromExeDir(s.UnRarDll)})
    if (isOurs(path)) DeleteFileA(path.c_str());
  std::string self = ModuleFileName();
  if (isOurs(self)) setupProgramToDelete = self;
}

void DeleteSetupProgram() {
  if (setupProgramToDelete.empty()) return;
  DeleteFileViaBatch(setupProgramToDelete, BatchWriteErrors::Ignore);
  setupProgramToDelete.clear();
}
