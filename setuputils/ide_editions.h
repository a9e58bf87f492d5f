// The ten IDE editions, their fixed tables and where an edition is installed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

enum IdeEdition : std::uint8_t {
  ieDelphi2,
  ieCppBuilder1,
  ieDelphi3,
  ieCppBuilder3,
  ieDelphi4,
  ieCppBuilder4,
  ieDelphi5,
  ieCppBuilder5,
  ieDelphi6,
  ieCppBuilder6,
};
constexpr int kEditionCount = 10;

// Trimmed of blanks and control characters, compared with the codes ignoring ASCII case; ieDelphi5 otherwise.
IdeEdition EditionFromCode(const std::string& code);
// The same, nullopt for a code the table does not have.
std::optional<IdeEdition> KnownEditionFromCode(const std::string& code);
// True when the edition is among the editions.
bool ListsEdition(const std::vector<IdeEdition>& editions, IdeEdition edition);
// The pieces of a list of codes ("D5;D6", or with the separators given), empty ones left out.
std::vector<std::string> EditionCodes(const std::string& text, const char* separators = ";");
std::string EditionCode(IdeEdition edition);
std::string EditionDisplayName(IdeEdition edition);
// Below "Software\Borland\", e.g. "Delphi\5.0".
std::string IdeRegistryKey(IdeEdition edition);
std::string HelpContentsFileName(IdeEdition edition);
// Below HKEY_CURRENT_USER; "" for editions without package support.
std::string KnownPackagesKey(IdeEdition edition);
bool IsCppBuilderEdition(IdeEdition edition);

// A string value of the edition's key under HKEY_LOCAL_MACHINE, opened for reading; "" when the key or the
// value is absent. A value that is not text raises "Invalid data type for '%s'".
std::string ReadIdeRegString(IdeEdition edition, const std::string& valueName);
// RootDir with a trailing backslash, or "" when the edition is not installed.
std::string IdeRootDir(IdeEdition edition);
std::string IdeToolsApiDir(IdeEdition edition);
std::string IdeVclSourceDir(IdeEdition edition);
std::string IdeHelpDir(IdeEdition edition);
std::string IdeHelpContentsFile(IdeEdition edition);
// Per-user settings key relative to HKEY_CURRENT_USER, with a trailing backslash.
std::string IdeUserKey(IdeEdition edition);
