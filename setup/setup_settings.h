// The setup program's configuration: the process-wide record SetupSettings and its loading.
#pragma once

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
  IdeEdition Edition = ieDelphi5;
  std::string InstallDir;
  std::string HelpContentsFile;
  std::string HelpDir;
  // Beside the described keys: the publisher and its web address for the Add/Remove Programs entry ("" when not
  // configured), and the destination given with /DIR= on the command line.
  std::string Publisher;
  std::string URL;
  std::optional<std::string> DirSwitch;

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
