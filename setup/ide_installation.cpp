// The installation's steps in each chosen IDE edition.
#include "ide_installation.h"

#include <optional>
#include <unordered_set>
#include <vector>

#include "change_observer.h"
#include "entry_values.h"
#include "help_contents.h"
#include "known_packages.h"
#include "library_path.h"
#include "package_build.h"
#include "path_macros.h"
#include "path_utils.h"
#include "rar_extraction.h"
#include "registry_names.h"
#include "run_log.h"
#include "setup_error.h"
#include "setup_settings.h"
#include "setup_texts.h"
#include "text_compare.h"
#include "uninstall_entry.h"

namespace {
void BuildListedPackages(IdeEdition edition) {
  const StringList& packages = BuildPackagesOf(edition);
  const std::string outputDir = SystemDir();
  for (size_t i = 0; i < packages.Count(); ++i) {
    const std::string name = NamePart(packages[i]);
    const std::string source = LocateInstalledFile(name);
    if (source.empty()) continue;
    std::string outputPath, toolOutput;
    const bool built = BuildPackage(edition, source, outputDir, "", outputPath, toolOutput);
    LogLine(built ? "Built " + source + " -> " + outputPath + ", registered" : "Not built: " + source);
    if (built) RegisterKnownPackage(edition, packages.Value(name), outputPath);
  }
}

void RegisterPackages(IdeEdition edition) {
  const StringList& packages = PackagesOf(edition);
  for (size_t i = 0; i < packages.Count(); ++i) {
    const std::string name = NamePart(packages[i]);
    const std::string path = LocateInstalledFile(name);
    if (path.empty()) continue;
    RegisterKnownPackage(edition, packages.Value(name), path);
    LogLine("Registered " + path + " with " + EditionDisplayName(edition));
  }
}

// False when the edition has no help contents file. The first edition that has one records the help files' names.
bool RegisterHelpFiles(IdeEdition edition, bool recordNames) {
  TSetupSettings& s = SetupSettings;
  const std::string contentsFile = HelpContentsFileOf(edition);
  if (contentsFile.empty()) return false;
  for (size_t i = 0; i < s.HelpFiles.Count(); ++i) {
    const std::string name = NamePart(s.HelpFiles[i]);
    if (!SameTextAscii(ExtractFileExt(name), ".hlp")) continue;
    AddHelpToContents(name, ValuePart(s.HelpFiles[i]), contentsFile);
    if (recordNames) s.InstalledHelps.Add(name);
  }
  return true;
}

}  // namespace

std::string LocateInstalledFile(const std::string& fileName) {
  for (const auto& path : SetupSettings.Files)
    if (SameTextLocale(ExtractFileName(path), fileName)) return path;
  return std::string();
}

void CopyHelpFilesToEditions() {
  TSetupSettings& s = SetupSettings;
  // The extracted help files, each name once.
  std::vector<std::string> sources;
  std::unordered_set<std::string> names;
  for (const std::string& path : s.Files) {
    const std::string name = ExtractFileName(path);
    if (IsListedHelpFile(name, s.HelpFiles) && names.insert(LowerCaseLocale(name)).second) sources.push_back(path);
  }
  for (IdeEdition edition : s.Editions) {
    const std::string helpDir = ExtractFilePath(HelpContentsFileOf(edition));
    if (helpDir.empty() || SameTextLocale(helpDir, s.HelpDir)) continue;
    for (const std::string& source : sources) {
      const std::string target = helpDir + ExtractFileName(source);
      PrepareFileForWriting(target);
      if (!CopyFileA(source.c_str(), target.c_str(), FALSE)) {
        const DWORD error = GetLastError();
        RestoreUnwrittenFile(target);
        throw CannotCreateFileError(target, error);
      }
      LogLine("Copied " + source + " -> " + target + " for " + EditionDisplayName(edition));
      s.Files.Add(target);
    }
  }
}

void InstallIntoEditions() {
  TSetupSettings& s = SetupSettings;
  bool anyHelpContents = false;
  for (IdeEdition edition : s.Editions) {
    LogLine("Installing into " + EditionDisplayName(edition));
    ShowProgressStatus(BuildingPackagesStatus(EditionDisplayName(edition)));
    BuildListedPackages(edition);
    RegisterPackages(edition);
    AddLibraryPath(edition, UnitsFolderOf(edition));
    if (RegisterHelpFiles(edition, !anyHelpContents)) anyHelpContents = true;
  }
  // Several editions, now or with an earlier installation under this name: each edition keeps the entry it got, an
  // earlier installation's one entry included.
  const std::vector<std::string> codes = EditionCodes(MergedEditionCodes());
  if (codes.size() > 1) {
    const std::optional<std::string> earlier = FindUninstallValue(s.AppName, kInstalledPathsValue);
    for (const std::string& code : codes) {
      const std::string name = std::string(kInstalledPathsValue) + "." + code;
      if (earlier && !FindUninstallValue(s.AppName, name)) SetUninstallValue(s.AppName, name, *earlier);
    }
    for (IdeEdition edition : s.Editions)
      SetUninstallValue(s.AppName, std::string(kInstalledPathsValue) + "." + EditionCode(edition),
                        UnitsFolderOf(edition));
  }
  SetUninstallValue(s.AppName, kInstalledPathsValue, UnitsFolderOf(s.Edition));
  if (anyHelpContents) SetUninstallValue(s.AppName, kInstalledHelpsValue, s.InstalledHelps.Text());
}
