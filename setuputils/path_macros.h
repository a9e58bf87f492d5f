// Path macros ("%SYSTEM%", "%PROGRAMFILES%", ...) and the path helpers the whole system shares.
#pragma once

#include <string>
#include <vector>

struct TOrvProcessTemplateInfo {
  const char* Macro;         // exact, percent signs included
  std::string (*Handler)();  // computes the replacement; called once per occurrence
};

// The 17 macros in processing order.
const std::vector<TOrvProcessTemplateInfo>& PathMacros();

// Every macro replaced, then doubled backslashes collapsed (a leading "\\" of a network path stays).
std::string ExpandPathMacros(const std::string& text);
// Every occurrence of every macro of the table replaced; the search goes on after an inserted text,
// so a replacement that contains its own macro cannot loop.
std::string ReplaceMacros(const std::string& text, const std::vector<TOrvProcessTemplateInfo>& table);
std::string CollapseDoubleBackslashes(const std::string& text);

// Macro handlers, each a folder with a trailing backslash (MonthDayText: "Dec5").
std::string MonthDayText();
std::string SystemDir();
std::string WindowsDir();
std::string ProgramFilesDir();
std::string AppFolder();
// The current user's Start menu Programs folder with a trailing backslash, or "" when the shell gives none.
std::string ProgramsFolder();

std::string AddTrailingChar(const std::string& text, char c);
// Empty stays empty.
std::string AddTrailingBackslash(const std::string& text);
bool FolderExists(const std::string& path);
// 1-based positions, as the macro scan uses them.
void ReplaceAt(std::string& text, size_t position, const std::string& oldText, const std::string& newText);
size_t PosFrom(const std::string& searched, const std::string& text, size_t start);
void ReplaceAll(std::string& text, const std::string& oldText, const std::string& newText);
