// Product include files and their conditional defines.
#include "product_includes.h"

#include <algorithm>

#include "path_utils.h"
#include "string_list.h"
#include "text_compare.h"
#include "text_file.h"

const std::vector<std::string>& ProductSymbols() {
  static const std::vector<std::string> symbols = {
      "orvmarlin=MARLIN",   "orvtessera=TESSERA", "vkbramble=VBRAMBLE", "vkheron=VHERON",   "vkheronmesh=VHERONMESH",
      "vklattice=VLATTICE", "vkloom=VLOOM",       "vkcadence=VCADENCE", "vkpebble=VPEBBLE",
  };
  return symbols;
}

const std::vector<std::string>& ProductIncludeNames() {
  static const std::vector<std::string> names = {"orvprod.inc", "prod.inc"};
  return names;
}

void UpdateProductIncludes(const StringList& files) {
  for (const auto& name : ProductIncludeNames()) UpdateIncludeFile(name, files, ProductSymbols());
}

void UpdateIncludeFile(const std::string& includeName, const StringList& files,
                       const std::vector<std::string>& products) {
  // Only an include file of the product itself is touched, never a same-named file of the current folder.
  std::optional<std::string> path = FindInstalledFile(includeName, files);
  if (!path || !FileExists(*path)) return;
  std::string folder = AddTrailingBackslash(ExtractFilePath(*path));
  std::vector<std::string> symbols;
  for (const auto& product : products)
    if (FileExists(folder + NamePart(product) + ".pas")) symbols.push_back(ValuePart(product));
  ApplyDefines(*path, symbols);
}

std::optional<std::string> FindInstalledFile(const std::string& fileName, const StringList& files) {
  for (const auto& file : files)
    if (SameTextAscii(ExtractFileName(file), fileName)) return file;
  return std::nullopt;
}

void ApplyDefines(const std::string& path, const std::vector<std::string>& symbols) {
  std::vector<std::string> active;
  for (const auto& symbol : symbols) active.push_back(RemoveSpaces(symbol));
  std::vector<std::string> lines = ReadTextLines(path);
  for (auto& line : lines) {
    if (SameTextAscii(line, "{$ENDIF}")) break;
    std::optional<std::string> symbol = ParseDefineLine(line);
    if (!symbol) continue;
    bool found = false;
    for (const auto& candidate : active)
      if (SameTextLocale(candidate, *symbol)) {
        found = true;
        break;
      }
    line = (found ? "  {$DEFINE " : "//  {$DEFINE ") + *symbol + "}";
  }
  WriteTextLines(path, lines);
}

static bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

static bool IsSymbolChar(char c) {
  return c == '$' || c == '_' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

std::optional<std::string> ParseDefineLine(const std::string& line) {
  static const std::string kDefine = "{$DEFINE";
  size_t position = 0;
  auto skipBlanks = [&] {
    while (position < line.size() && IsBlank(line[position])) ++position;
  };
  skipBlanks();
  if (line.compare(position, 2, "//") == 0) {
    position += 2;
    skipBlanks();
  }
  if (!SameTextAscii(line.substr(position, kDefine.size()), kDefine)) return std::nullopt;
  position += kDefine.size();
  skipBlanks();
  size_t start = position;
  while (position < line.size() && IsSymbolChar(line[position])) ++position;
  return line.substr(start, position - start);
}

std::string RemoveSpaces(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
  return text;
}
