// IDE edition tables and the RootDir lookup.
#include "ide_editions.h"

#include <windows.h>

#include <algorithm>

#include "path_utils.h"
#include "registry.h"
#include "text_compare.h"

namespace {
struct EditionInfo {
  const char* code;
  const char* displayName;
  const char* registryKey;
  const char* helpContents;
  const char* knownPackages;
};

const EditionInfo kEditions[kEditionCount] = {
    {"D2", "Delphi 2", "Delphi\\2.0", "delphi.cnt", ""},
    {"C1", "C++ Builder", "C++Builder\\1.0", "bcb.cnt", ""},
    {"D3", "Delphi 3", "Delphi\\3.0", "delphi3.cnt", "Software\\Borland\\Delphi\\3.0\\Known Packages"},
    {"C3", "C++ Builder 3", "C++Builder\\3.0", "bcb3.cnt", "Software\\Borland\\C++Builder\\3.0\\Known Packages"},
    {"D4", "Delphi 4", "Delphi\\4.0", "delphi4.cnt", "Software\\Borland\\Delphi\\4.0\\Known Packages"},
    {"C4", "C++ Builder 4", "C++Builder\\4.0", "bcb4.cnt", "Software\\Borland\\C++Builder\\4.0\\Known Packages"},
    {"D5", "Delphi 5", "Delphi\\5.0", "delphi5.cnt", "Software\\Borland\\Delphi\\5.0\\Known Packages"},
    {"C5", "C++ Builder 5", "C++Builder\\5.0", "bcb5.cnt", "Software\\Borland\\C++Builder\\5.0\\Known Packages"},
    {"D6", "Delphi 6", "Delphi\\6.0", "delphi6.cnt", "Software\\Borland\\Delphi\\6.0\\Known Packages"},
    {"C6", "C++ Builder 6", "C++Builder\\6.0", "bcb6.cnt", "Software\\Borland\\C++Builder\\6.0\\Known Packages"},
};

const EditionInfo& Info(IdeEdition edition) {
  return kEditions[static_cast<int>(edition) < kEditionCount ? edition : ieDelphi5];
}
}  // namespace

IdeEdition EditionFromCode(const std::string& code) { return KnownEditionFromCode(code).value_or(ieDelphi5); }

std::optional<IdeEdition> KnownEditionFromCode(const std::string& code) {
  std::string trimmed = TrimText(code);
  for (int i = 0; i < kEditionCount; ++i)
    if (SameTextAscii(trimmed, kEditions[i].code)) return static_cast<IdeEdition>(i);
  return std::nullopt;
}

bool ListsEdition(const std::vector<IdeEdition>& editions, IdeEdition edition) {
  return std::find(editions.begin(), editions.end(), edition) != editions.end();
}

std::vector<std::string> EditionCodes(const std::string& text, const char* separators) {
  std::vector<std::string> codes;
  for (size_t start = 0; start <= text.size();) {
    size_t end = text.find_first_of(separators, start);
    if (end == std::string::npos) end = text.size();
    const std::string code = TrimText(text.substr(start, end - start));
    if (!code.empty()) codes.push_back(code);
    start = end + 1;
  }
  return codes;
}

std::string EditionCode(IdeEdition edition) { return Info(edition).code; }
std::string EditionDisplayName(IdeEdition edition) { return Info(edition).displayName; }
std::string IdeRegistryKey(IdeEdition edition) { return Info(edition).registryKey; }
std::string HelpContentsFileName(IdeEdition edition) { return Info(edition).helpContents; }
std::string KnownPackagesKey(IdeEdition edition) { return Info(edition).knownPackages; }
bool IsCppBuilderEdition(IdeEdition edition) { return (static_cast<int>(edition) % 2) == 1; }

std::string ReadIdeRegString(IdeEdition edition, const std::string& valueName) {
  // Read access only: a user without write rights there still sees the installed IDE.
  RegistryKey key = RegistryKey::Open(HKEY_LOCAL_MACHINE, "Software\\Borland\\" + IdeRegistryKey(edition), KEY_READ);
  return key.ReadStringOrEmpty(valueName);
}

std::string IdeRootDir(IdeEdition edition) { return AddTrailingBackslash(ReadIdeRegString(edition, "RootDir")); }
std::string IdeToolsApiDir(IdeEdition edition) { return IdeRootDir(edition) + "Source\\ToolsAPI\\"; }
std::string IdeVclSourceDir(IdeEdition edition) { return IdeRootDir(edition) + "Source\\Vcl\\"; }
std::string IdeHelpDir(IdeEdition edition) { return IdeRootDir(edition) + "HELP\\"; }
std::string IdeHelpContentsFile(IdeEdition edition) { return IdeHelpDir(edition) + HelpContentsFileName(edition); }

std::string IdeUserKey(IdeEdition edition) {
  std::string code = EditionCode(edition);
  return std::string("Software\\Borland\\") + (IsCppBuilderEdition(edition) ? "C++Builder" : "Delphi") + "\\" +
         code.substr(1) + ".0\\";
}
