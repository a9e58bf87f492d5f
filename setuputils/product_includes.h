// The product include files: their "{$DEFINE" lines follow the product units installed next to them.
#pragma once

#include <optional>
#include <string>
#include <vector>

class StringList;

// Unit base name "=" conditional symbol, in table order.
const std::vector<std::string>& ProductSymbols();
// The include file names, in processing order.
const std::vector<std::string>& ProductIncludeNames();

// UpdateIncludeFile for every include name, in order, with the product table.
void UpdateProductIncludes(const StringList& files);
// Rewrites the include file found among the files: each product's define is active when its unit source lies in the
// include file's folder, commented out otherwise. An include file that is not among the files, or no longer exists,
// is left alone. Raises "Cannot open file %s" / "Cannot create file %s" when it cannot be read or written.
void UpdateIncludeFile(const std::string& includeName, const StringList& files,
                       const std::vector<std::string>& products);
// The first file (in list order) whose name part equals the name, ASCII case ignored; nullopt when none does.
std::optional<std::string> FindInstalledFile(const std::string& fileName, const StringList& files);
// Rewrites every define line before the first "{$ENDIF}" line: active when its symbol is among the symbols (spaces
// removed, case ignored under the user locale), commented out otherwise. The whole file is written back with CR LF.
void ApplyDefines(const std::string& path, const std::vector<std::string>& symbols);
// The symbol of a "{$DEFINE" line, commented out with "//" or not; nullopt for any other line. The symbol may be empty.
std::optional<std::string> ParseDefineLine(const std::string& line);
// The text without its space characters.
std::string RemoveSpaces(std::string text);
