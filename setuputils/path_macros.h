// Path macros ("%SYSTEM%", "%PROGRAMFILES%", ...) and the special folders they stand for.
#pragma once

#include <windows.h>

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

// %MONTH_DAY% of a date: the user's short month name and the day without a leading zero ("Dec5"); the macro takes
// today's.
std::string MonthDayText(const SYSTEMTIME& date);
// Macro handlers, each a folder with a trailing backslash.
std::string SystemDir();
std::string WindowsDir();
std::string ProgramFilesDir();
std::string AppFolder();
// The current user's Start menu Programs folder with a trailing backslash, or "" when the shell gives none.
std::string ProgramsFolder();
