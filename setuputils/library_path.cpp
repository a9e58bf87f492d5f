// Edits of the library search path below the edition's per-user Library key.
#include "library_path.h"

#include <windows.h>

#include <vector>

#include "registry.h"
#include "text_compare.h"

namespace {
RegistryKey OpenLibraryKey(IdeEdition edition) {
  return RegistryKey::Open(HKEY_CURRENT_USER, IdeUserKey(edition) + "Library\\");
}

// Every ";" ends an entry, and so does a line break (CR LF counting once); a final separator adds no empty entry.
std::vector<std::string> SplitSearchPath(const std::string& text) {
  std::vector<std::string> entries;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c != ';' && c != '\r' && c != '\n') continue;
    entries.push_back(text.substr(start, i - start));
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) entries.push_back(text.substr(start));
  return entries;
}
}  // namespace

std::string SearchPathValueName(IdeEdition edition) { return edition == ieDelphi3 ? "SearchPath" : "Search Path"; }

void RemoveLibraryPath(IdeEdition edition, const std::string& folder) {
  RegistryKey key = OpenLibraryKey(edition);
  if (!key.valid()) return;
  const std::string valueName = SearchPathValueName(edition);
  std::string joined;
  for (const auto& entry : SplitSearchPath(key.ReadStringOrEmpty(valueName)))
    if (!SameTextLocale(entry, folder)) joined += entry + ";";
  // Written even when nothing was removed: the value always ends up in joined form.
  key.WriteString(valueName, joined);
}

void AddLibraryPath(IdeEdition edition, const std::string& folder) {
  RemoveLibraryPath(edition, folder);
  RegistryKey key = OpenLibraryKey(edition);
  if (!key.valid()) return;
  const std::string valueName = SearchPathValueName(edition);
  key.WriteString(valueName, folder + ";" + key.ReadStringOrEmpty(valueName));
}
