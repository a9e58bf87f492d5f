// Reading OrvSetup.ini into SetupSettings.
#include "setup_settings.h"

#include <windows.h>

#include <climits>

#include "command_line.h"
#include "install_records.h"
#include "message_box.h"
#include "path_macros.h"
#include "path_utils.h"
#include "program_switches.h"
#include "run_log.h"
#include "setup_error.h"
#include "setup_texts.h"
#include "text_compare.h"
#include "text_file.h"

TSetupSettings SetupSettings;

const StringList& PackagesOf(IdeEdition edition) {
  const auto own = SetupSettings.EditionPackages.find(edition);
  return own != SetupSettings.EditionPackages.end() ? own->second : SetupSettings.Packages;
}

const StringList& BuildPackagesOf(IdeEdition edition) {
  const auto own = SetupSettings.EditionBuildPackages.find(edition);
  return own != SetupSettings.EditionBuildPackages.end() ? own->second : SetupSettings.BuildPackages;
}

std::string UnitsFolderOf(IdeEdition edition) {
  const auto own = SetupSettings.UnitsFolders.find(edition);
  return AddTrailingBackslash(SetupSettings.InstallDir) +
         (own != SetupSettings.UnitsFolders.end() ? own->second : std::string("units"));
}

std::string HelpContentsFileOf(IdeEdition edition) {
  const std::string file = IdeHelpContentsFile(edition);
  return FileExists(file) ? file : std::string();
}

std::string EditionNames(const std::vector<IdeEdition>& editions) {
  std::string names;
  for (IdeEdition edition : editions)
    names += (names.empty() ? "" : ", ") + EditionDisplayName(edition) + " (" + EditionCode(edition) + ")";
  return names.empty() ? std::string("none") : names;
}

void InitConfigFileName() {
  const char* commandLine = GetCommandLineA();
  std::vector<std::string> arguments = SplitCommandLine(commandLine != nullptr ? commandLine : "");
  if (!arguments.empty()) arguments.erase(arguments.begin());
  const ProgramSwitches switches = ParseProgramSwitches(arguments, true);
  SetRunMode(switches.mode);
  SetupSettings.ConfigFileName = switches.argument.empty() ? "OrvSetup.ini" : switches.argument;
  SetupSettings.DirSwitch = switches.dir;
  SetupSettings.IdeSwitch = switches.ide;
  if (switches.log) {
    std::string path = switches.logFile;
    if (path.empty()) {
      char appName[2048] = "";
      GetPrivateProfileStringA("Application", "AppName", "Application", appName, sizeof appName,
                               ExpandFromExeDir(SetupSettings.ConfigFileName).c_str());
      path = DefaultRunLogPath("orvsetup", appName);
    }
    OpenRunLog(FullPathName(path));
    LogLine(std::string("Command line: ") + (commandLine != nullptr ? commandLine : ""));
  }
}

namespace {
// The profile reader's buffer holds 2048 characters: values are cut at 2047.
std::string ReadIniString(const std::string& file, const char* key, const char* defaultValue) {
  char buffer[2048];
  DWORD length = GetPrivateProfileStringA("Application", key, defaultValue, buffer, sizeof buffer, file.c_str());
  if (length >= sizeof buffer) length = sizeof buffer - 1;
  return std::string(buffer, length);
}

bool ReadIniBool(const std::string& file, const char* key, bool defaultValue) {
  auto number = ParseIniInteger(ReadIniString(file, key, ""));
  return number ? *number != 0 : defaultValue;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
}  // namespace

std::optional<long> ParseIniInteger(const std::string& value) {
  std::string text = value;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text = "$" + text.substr(2);
  size_t position = 0;
  bool negative = false;
  if (position < text.size() && (text[position] == '+' || text[position] == '-')) {
    negative = text[position] == '-';
    ++position;
  }
  if (position >= text.size()) return std::nullopt;
  long long magnitude = 0;
  if (text[position] == '$') {
    if (++position >= text.size()) return std::nullopt;
    for (; position < text.size(); ++position) {
      int digit = HexDigit(text[position]);
      if (digit < 0) return std::nullopt;
      magnitude = magnitude * 16 + digit;
      if (magnitude > 0xFFFFFFFFLL) return std::nullopt;
    }
    // Hexadecimal covers all 32 bits: $FFFFFFFF is -1.
    long result = static_cast<long>(static_cast<unsigned long>(magnitude));
    return negative ? -result : result;
  }
  for (; position < text.size(); ++position) {
    if (text[position] < '0' || text[position] > '9') return std::nullopt;
    magnitude = magnitude * 10 + (text[position] - '0');
    if (magnitude > 2147483648LL) return std::nullopt;
  }
  if (!negative && magnitude > LONG_MAX) return std::nullopt;
  return static_cast<long>(negative ? -magnitude : magnitude);
}

bool ReadIniSection(const std::string& sectionName, const std::vector<std::string>& lines, StringList& destination) {
  const std::string header = "[" + sectionName + "]";
  size_t index = 0;
  while (index < lines.size() && !SameTextLocale(lines[index], header)) ++index;
  if (index == lines.size()) return false;
  destination.Clear();
  for (++index; index < lines.size(); ++index) {
    std::string line = TrimText(lines[index]);
    if (line.empty()) continue;
    if (line[0] == '[') break;
    destination.Add(line);
  }
  return true;
}

namespace {
void LogList(const char* section, const StringList& list) {
  LogLine(FormatText("[%s]: %u lines", section, static_cast<unsigned>(list.Count())));
  for (const std::string& line : list) LogLine("  " + line);
}

void LogSettings(const std::string& file, const char* folderSource) {
  if (!RunLogIsOpen()) return;
  const TSetupSettings& s = SetupSettings;
  LogLine("Configuration: " + file);
  for (const auto& [key, value] : {std::pair<const char*, std::string>{"AppName", s.AppName},
                                   {"ProductName", s.ProductName},
                                   {"SubProductName", s.SubProductName},
                                   {"Version", s.Version},
                                   {"Publisher", s.Publisher},
                                   {"URL", s.URL},
                                   {"RarFile", s.RarFile},
                                   {"UnRarDll", s.UnRarDll},
                                   {"RunAfterInstall", s.RunAfterInstall},
                                   {"CheckDelphi", s.CheckDelphi ? "on" : "off"},
                                   {"CheckPrevVersion", s.CheckPrevVersion ? "on" : "off"},
                                   {"SuccessMessage", s.SuccessMessage ? "on" : "off"},
                                   {"PromptInstallDir", s.PromptInstallDir ? "on" : "off"},
                                   {"DeleteSetupFiles", s.DeleteSetupFiles ? "on" : "off"}})
    LogLine(std::string("  ") + key + "=" + value);
  LogLine("Editions listed: " + EditionNames(s.ListedEditions));
  for (const auto& [edition, folder] : s.UnitsFolders) LogLine("  Units." + EditionCode(edition) + "=" + folder);
  LogList("System_Files", s.SystemFiles);
  LogList("Help_Files", s.HelpFiles);
  LogList("Packages", s.Packages);
  LogList("Build_Packages", s.BuildPackages);
  for (const auto& [edition, list] : s.EditionPackages) LogList(("Packages." + EditionCode(edition)).c_str(), list);
  for (const auto& [edition, list] : s.EditionBuildPackages)
    LogList(("Build_Packages." + EditionCode(edition)).c_str(), list);
  LogList("Links", s.Links);
  LogLine("Help contents file: " + (s.HelpContentsFile.empty() ? std::string("none") : s.HelpContentsFile));
  LogLine("Proposed folder: " + s.InstallDir + " (" + folderSource + ")");
}
}  // namespace

bool LoadSetupSettings() {
  TSetupSettings& s = SetupSettings;
  const std::string file = ExpandFromExeDir(s.ConfigFileName);

  s.AppName = ReadIniString(file, "AppName", "Application");
  // Without a name every entry value would land in the Uninstall key itself.
  if (TrimText(s.AppName).empty()) s.AppName = "Application";
  s.ProductName = ReadIniString(file, "ProductName", "");
  s.SubProductName = ReadIniString(file, "SubProductName", "");
  s.Version = ReadIniString(file, "Version", "1.0");
  s.UninstallerName = "uninstall.exe";
  s.UnRarDll = ExtractFileName(ReadIniString(file, "UnRarDll", "UnRar.dll"));
  s.RarFile = ExtractFileName(ReadIniString(file, "RarFile", "Data.rar"));
  if (!FileExists(s.RarFile)) s.RarFile = AddTrailingBackslash(ExtractFilePath(s.ConfigFileName)) + s.RarFile;
  s.RunAfterInstall = ReadIniString(file, "RunAfterInstall", "");
  s.CheckDelphi = ReadIniBool(file, "CheckDelphi", false);
  s.CheckPrevVersion = ReadIniBool(file, "CheckPrevVersion", true);
  s.SuccessMessage = ReadIniBool(file, "SuccessMessage", false);
  s.PromptInstallDir = ReadIniBool(file, "PromptInstallDir", true);
  s.DeleteSetupFiles = ReadIniBool(file, "RunAfterInstall", false);
  s.ListedEditions.clear();
  for (const std::string& code : EditionCodes(ReadIniString(file, "DelphiVer", "D5"))) {
    const std::optional<IdeEdition> edition = KnownEditionFromCode(code);
    if (!edition)
      LogLine("DelphiVer: \"" + code + "\" names no edition and is left out");
    else if (!ListsEdition(s.ListedEditions, *edition))
      s.ListedEditions.push_back(*edition);
  }
  if (s.ListedEditions.empty()) s.ListedEditions.push_back(ieDelphi5);
  s.Edition = s.ListedEditions.front();
  s.Editions = {s.Edition};
  s.UnitsFolders.clear();
  for (IdeEdition edition : s.ListedEditions) {
    const std::string folder = TrimText(ReadIniString(file, ("Units." + EditionCode(edition)).c_str(), ""));
    if (!folder.empty()) s.UnitsFolders[edition] = folder;
  }
  s.Publisher = ReadIniString(file, "Publisher", "");
  s.URL = ReadIniString(file, "URL", "");

  const std::vector<std::string> lines = ReadTextLines(file);
  ReadIniSection("System_Files", lines, s.SystemFiles);
  ReadIniSection("Help_Files", lines, s.HelpFiles);
  ReadIniSection("Packages", lines, s.Packages);
  ReadIniSection("Build_Packages", lines, s.BuildPackages);
  ReadIniSection("Links", lines, s.Links);
  s.EditionPackages.clear();
  s.EditionBuildPackages.clear();
  for (int index = 0; index < kEditionCount; ++index) {
    const IdeEdition edition = static_cast<IdeEdition>(index);
    StringList list;
    if (ReadIniSection("Packages." + EditionCode(edition), lines, list)) s.EditionPackages[edition] = list;
    if (ReadIniSection("Build_Packages." + EditionCode(edition), lines, list)) s.EditionBuildPackages[edition] = list;
  }

  std::string folder;
  const char* why = "the folder of the earlier installation of this version";
  switch (FindPreviousInstallation(s.ProductName, s.Version, folder)) {
    case 0:
      s.InstallDir = ExpandPathMacros(ReadIniString(file, "DefaultDir", ""));
      why = "DefaultDir";
      break;
    case 1:
      if (ShowMessageBox(PreviousVersionText(s.AppName), kInstallationErrorCaption, MB_OKCANCEL | MB_ICONERROR) != IDOK)
        return false;
      s.InstallDir = folder;
      why = "the folder of the earlier installation of another version";
      break;
    default:
      s.InstallDir = folder;
      break;
  }

  s.HelpContentsFile = HelpContentsFileOf(s.Edition);
  s.HelpDir = ExtractFilePath(s.HelpContentsFile);
  LogSettings(file, why);
  return true;
}
