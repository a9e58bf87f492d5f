// Choosing the IDE editions of the installation.
#include "edition_choice.h"

#include "ide_editions.h"
#include "path_utils.h"
#include "program_switches.h"
#include "run_log.h"
#include "select_ides_dialog.h"
#include "setup_settings.h"

namespace {
// The editions /IDE= names, in the listed order; nullopt (logged) when it names one that cannot be used.
std::optional<std::vector<IdeEdition>> EditionsOfSwitch(const std::string& text,
                                                        const std::vector<IdeEdition>& installed) {
  std::vector<IdeEdition> named;
  for (const std::string& code : EditionCodes(text, ";,")) {
    const std::optional<IdeEdition> edition = KnownEditionFromCode(code);
    if (!edition || !ListsEdition(SetupSettings.ListedEditions, *edition)) {
      LogLine("/IDE=: \"" + code + "\" is not an edition this setup installs into: the setup stops");
      return std::nullopt;
    }
    if (!ListsEdition(installed, *edition)) {
      LogLine("/IDE=: " + EditionDisplayName(*edition) + " is not installed: the setup stops");
      return std::nullopt;
    }
    named.push_back(*edition);
  }
  std::vector<IdeEdition> chosen;
  for (IdeEdition edition : installed)
    if (ListsEdition(named, edition)) chosen.push_back(edition);
  if (chosen.empty()) LogLine("/IDE= names no edition: the setup stops");
  return chosen.empty() ? std::nullopt : std::optional<std::vector<IdeEdition>>(chosen);
}
}  // namespace

bool ChooseEditions() {
  TSetupSettings& s = SetupSettings;
  std::vector<IdeEdition> installed;
  for (IdeEdition edition : s.ListedEditions)
    if (!IdeRootDir(edition).empty()) installed.push_back(edition);
  LogLine("Editions installed: " + EditionNames(installed));
  std::vector<IdeEdition> chosen;
  if (IsUnattended() && s.IdeSwitch) {
    std::optional<std::vector<IdeEdition>> named = EditionsOfSwitch(*s.IdeSwitch, installed);
    if (!named) return false;
    chosen = *named;
  } else if (installed.empty()) {
    chosen = {s.ListedEditions.front()};
  } else if (IsUnattended() || installed.size() == 1) {
    chosen = installed;
  } else if (!SelectIdes(s.ListedEditions, installed, chosen)) {
    LogLine("The choice of the editions was cancelled");
    return false;
  }
  s.Editions = chosen;
  s.Edition = chosen.front();
  s.HelpContentsFile = HelpContentsFileOf(s.Edition);
  s.HelpDir = ExtractFilePath(s.HelpContentsFile);
  LogLine("Editions chosen: " + EditionNames(chosen));
  return true;
}
