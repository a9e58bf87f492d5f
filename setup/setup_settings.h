// The setup program's configuration: the process-wide record SetupSettings and its loading.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ide_editions.h"
#include "string_list.h"

struct TSetupSettings {
  std::string ConfigFileName = "OrvSetup.ini";
  std::string AppName = "Application";
  std::string ProductName;
  std::string SubProductName;
  std::string Version = "1.0";
  std::string UninstallerName = "uninstall.exe";
  std::string UnRarDll = "UnRar.dll";
  std::string RarFile = "Data.rar";
  std::string RunAfterInstall;
  bool CheckDelphi = false;
  bool CheckPrevVersion = true;
  bool SuccessMessage = false;
  bool PromptInstallDir = true;
  bool DeleteSetupFiles = false;
  // The first edition the installation goes into: the one a setup for a single edition names.
  IdeEdition Edition = ieDelphi5;
  // The editions DelphiVer lists, in its order and each once (Delphi 5 when it names none that is known), and those
  // the installation goes into, in the same order (ChooseEditions).
  std::vector<IdeEdition> ListedEditions{ieDelphi5};
  std::vector<IdeEdition> Editions{ieDelphi5};
  // [Application] Units.<code>: an edition's library folder relative to the destination, when configured.
  std::map<IdeEdition, std::string> UnitsFolders;
  // [Packages.<code>] and [Build_Packages.<code>]: an edition's own lists, when present.
  std::map<IdeEdition, StringList> EditionPackages;
  std::map<IdeEdition, StringList> EditionBuildPackages;
  std::string InstallDir;
  std::string HelpContentsFile;
  std::string HelpDir;
  // Beside the described keys: the publisher and its web address for the Add/Remove Programs entry ("" when not
  // configured), and the destination given with /DIR= on the command line.
  std::string Publisher;
  std::string URL;
  std::optional<std::string> DirSwitch;
  // /IDE= on the command line: the editions an unattended installation goes into.
  std::optional<std::string> IdeSwitch;

  StringList SystemFiles;
  StringList HelpFiles;
  StringList InstalledHelps;
  StringList Packages;
  StringList BuildPackages;
  StringList Links;
  StringList Files;
  StringList Folders;
  StringList RegKeys;
};

// The one settings record of the setup process.
extern TSetupSettings SetupSettings;

// An edition's lists: its own section when the configuration has one, else the plain one.
const StringList& PackagesOf(IdeEdition edition);
const StringList& BuildPackagesOf(IdeEdition edition);
// The folder the edition's library path gets: the destination's "units", or its Units.<code> folder.
std::string UnitsFolderOf(IdeEdition edition);
// The edition's help contents file, or "" when it has none.
std::string HelpContentsFileOf(IdeEdition edition);
// "Delphi 5 (D5), Delphi 6 (D6)" for the log; "none" for an empty list.
std::string EditionNames(const std::vector<IdeEdition>& editions);

// ConfigFileName := the first command-line argument that is not a switch, or "OrvSetup.ini"; the switches set the
// run mode and DirSwitch, and /LOG opens the run's log (named for the configured AppName when no file is given).
void InitConfigFileName();
// Fills SetupSettings from the configuration file. False when the user refused at the previous-installation
// warning: the setup then ends at once. Raises "Cannot open file %s" when the file cannot be read as lines.
bool LoadSetupSettings();
// Copies one list section into the list; true when the "[name]" header line was found.
bool ReadIniSection(const std::string& sectionName, const std::vector<std::string>& lines, StringList& destination);
// A Boolean key's text: "0x" becomes "$", then a 32-bit decimal or "$" hexadecimal integer; nullopt otherwise.
std::optional<long> ParseIniInteger(const std::string& text);

// The setup program's entry; returns the exit code.
int SetupMain();
