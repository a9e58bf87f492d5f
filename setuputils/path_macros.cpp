// Path macro table, expansion and the special folders.
#include "path_macros.h"

#include <windows.h>
#include <shlobj.h>

#include "ide_editions.h"
#include "path_utils.h"
#include "unique_handle.h"

std::string CollapseDoubleBackslashes(const std::string& text) {
  // A network path keeps its leading "\\": only what follows it is collapsed.
  if (text.size() >= 2 && text[0] == '\\' && text[1] == '\\') {
    std::string rest = text.substr(2);
    ReplaceAll(rest, "\\\\", "\\");
    if (!rest.empty() && rest[0] == '\\') rest.erase(0, 1);
    return "\\\\" + rest;
  }
  std::string result = text;
  ReplaceAll(result, "\\\\", "\\");
  return result;
}

std::string ReplaceMacros(const std::string& text, const std::vector<TOrvProcessTemplateInfo>& table) {
  std::string result = text;
  for (const auto& entry : table) {
    const std::string macro = entry.Macro;
    size_t start = 1;
    for (;;) {
      size_t position = PosFrom(macro, result, start);
      if (position == 0) break;
      std::string replacement = entry.Handler();
      ReplaceAt(result, position, macro, replacement);
      start = position + replacement.size();
    }
  }
  return result;
}

std::string ExpandPathMacros(const std::string& text) {
  return CollapseDoubleBackslashes(ReplaceMacros(text, PathMacros()));
}

std::string MonthDayText(const SYSTEMTIME& date) {
  char month[80];
  int length = GetDateFormatA(LOCALE_USER_DEFAULT, 0, &date, "MMM", month, sizeof month);
  std::string text = (length > 0 && length <= static_cast<int>(sizeof month)) ? std::string(month) : std::string();
  return text + std::to_string(date.wDay);
}

static std::string TodayMonthDay() {
  SYSTEMTIME today;
  GetLocalTime(&today);
  return MonthDayText(today);
}

static std::string FolderFromCall(UINT(WINAPI* call)(LPSTR, UINT)) {
  char buffer[MAX_PATH + 1];
  UINT length = call(buffer, sizeof buffer);
  if (length == 0 || length >= sizeof buffer) return std::string();
  return AddTrailingBackslash(std::string(buffer, length));
}

std::string SystemDir() { return FolderFromCall(GetSystemDirectoryA); }
std::string WindowsDir() { return FolderFromCall(GetWindowsDirectoryA); }

std::string ProgramFilesDir() {
  char buffer[MAX_PATH + 1] = {};
  if (SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, buffer)) &&
      buffer[0] != '\0') {
    buffer[MAX_PATH] = '\0';
    return AddTrailingBackslash(buffer);
  }
  return ExtractFileDrive(WindowsDir()) + "\\Program Files\\";
}

std::string AppFolder() { return AddTrailingBackslash(ExtractFilePath(ModuleFileName())); }

std::string ProgramsFolder() {
  ComPtr<IMalloc> allocator;
  SHGetMalloc(reinterpret_cast<IMalloc**>(allocator.put_void()));
  ShellItemList items(allocator.get());
  if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_PROGRAMS, items.put())) || items.get() == nullptr)
    return std::string();
  char buffer[MAX_PATH + 1] = {};
  BOOL converted = SHGetPathFromIDListA(items.get(), buffer);
  buffer[MAX_PATH] = '\0';
  if (!converted || buffer[0] == '\0') return std::string();
  return AddTrailingBackslash(buffer);
}

static std::string C5ToolsApi() { return IdeToolsApiDir(ieCppBuilder5); }
static std::string C5SourceVcl() { return IdeVclSourceDir(ieCppBuilder5); }
template <IdeEdition E>
static std::string HelpOf() {
  return IdeHelpDir(E);
}

const std::vector<TOrvProcessTemplateInfo>& PathMacros() {
  static const std::vector<TOrvProcessTemplateInfo> table = {
      {"%MONTH_DAY%", TodayMonthDay},
      {"%SYSTEM%", SystemDir},
      {"%WINDOWS%", WindowsDir},
      {"%PROGRAMFILES%", ProgramFilesDir},
      {"%C5_TOOLSAPI%", C5ToolsApi},
      {"%C5_SOURCEVCL%", C5SourceVcl},
      {"%C1_HELP%", HelpOf<ieCppBuilder1>},
      {"%C3_HELP%", HelpOf<ieCppBuilder3>},
      {"%C4_HELP%", HelpOf<ieCppBuilder4>},
      {"%C5_HELP%", HelpOf<ieCppBuilder5>},
      {"%D2_HELP%", HelpOf<ieDelphi2>},
      {"%D3_HELP%", HelpOf<ieDelphi3>},
      {"%D4_HELP%", HelpOf<ieDelphi4>},
      {"%D5_HELP%", HelpOf<ieDelphi5>},
      {"%D6_HELP%", HelpOf<ieDelphi6>},
      {"%APPFOLDER%", AppFolder},
      {"%STARTMENU%", ProgramsFolder},
  };
  return table;
}
