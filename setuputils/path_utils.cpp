// Text and path utilities.
#include "path_utils.h"

#include <windows.h>

#include "setup_error.h"
#include "text_compare.h"
#include "unique_handle.h"

std::string QuoteStr(const std::string& text, char quote) { return quote + text + quote; }

std::string StripTrailingBackslash(const std::string& path) {
  if (!path.empty() && path.back() == '\\') return path.substr(0, path.size() - 1);
  return path;
}

std::string ReplaceChar(char oldChar, char newChar, std::string text) {
  for (char& c : text)
    if (c == oldChar) c = newChar;
  return text;
}

std::string TextBefore(const std::string& text, const std::string& separator) {
  size_t position = text.find(separator);
  return position == std::string::npos ? std::string() : text.substr(0, position);
}

std::string TextAfter(const std::string& text, const std::string& separator) {
  size_t position = text.find(separator);
  return position == std::string::npos ? std::string() : text.substr(position + separator.size());
}

std::string NamePart(const std::string& text) { return TextBefore(text, "="); }
std::string ValuePart(const std::string& text) { return TextAfter(text, "="); }

size_t PosText(const std::string& needle, const std::string& haystack) {
  if (needle.empty()) return 0;
  size_t position = UpperCaseLocale(haystack).find(UpperCaseLocale(needle));
  return position == std::string::npos ? 0 : position + 1;
}

std::string CurrentFolder() {
  DWORD needed = GetCurrentDirectoryA(0, nullptr);
  if (needed == 0) return std::string();
  std::string buffer(needed, '\0');
  DWORD length = GetCurrentDirectoryA(needed, &buffer[0]);
  if (length == 0 || length >= needed) return std::string();
  buffer.resize(length);
  return buffer;
}

std::string FullPathName(const std::string& path) {
  if (path.empty()) return path;
  DWORD needed = GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return path;
  std::string buffer(needed, '\0');
  DWORD length = GetFullPathNameA(path.c_str(), needed, &buffer[0], nullptr);
  if (length == 0 || length >= needed) return path;
  buffer.resize(length);
  return buffer;
}

std::string ExpandPathFrom(const std::string& baseFolder, const std::string& folder) {
  if (folder.empty()) {
    if (baseFolder.empty() || baseFolder.back() == '\\') return baseFolder;
    return baseFolder + '\\';
  }
  std::string remembered = CurrentFolder();
  auto restore = ScopeExit([&] {
    if (!remembered.empty()) SetCurrentDirectoryA(remembered.c_str());
  });
  SetCurrentDirectoryA(baseFolder.c_str());
  return FullPathName(folder);
}

std::string ExpandFileFrom(const std::string& baseFolder, const std::string& filePath) {
  return ExpandPathFrom(baseFolder, ExtractFilePath(filePath)) + ExtractFileName(filePath);
}

std::string ModuleFileName() {
  std::string buffer(MAX_PATH, '\0');
  for (;;) {
    DWORD length = GetModuleFileNameA(nullptr, &buffer[0], static_cast<DWORD>(buffer.size()));
    if (length == 0) return std::string();
    if (length < buffer.size()) {
      buffer.resize(length);
      return buffer;
    }
    buffer.resize(buffer.size() * 2);
  }
}

std::string ExpandFromExeDir(const std::string& filePath) {
  return ExpandFileFrom(ExtractFilePath(ModuleFileName()), filePath);
}

static size_t NameStart(const std::string& path) {
  size_t separator = path.find_last_of("\\:");
  return separator == std::string::npos ? 0 : separator + 1;
}

std::string ExtractFileName(const std::string& path) { return path.substr(NameStart(path)); }
std::string ExtractFilePath(const std::string& path) { return path.substr(0, NameStart(path)); }

std::string ExtractFileExt(const std::string& path) {
  size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot < NameStart(path)) return std::string();
  return path.substr(dot);
}

std::string ChangeFileExt(const std::string& path, const std::string& extension) {
  size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot < NameStart(path)) return path + extension;
  return path.substr(0, dot) + extension;
}

std::string ExtractFileDrive(const std::string& path) {
  if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2);
  if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
    size_t server = path.find('\\', 2);
    if (server == std::string::npos) return path;
    size_t share = path.find('\\', server + 1);
    return share == std::string::npos ? path : path.substr(0, share);
  }
  return std::string();
}

std::string TrimText(const std::string& text) {
  size_t first = 0, last = text.size();
  while (first < last && static_cast<unsigned char>(text[first]) <= ' ') ++first;
  while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ') --last;
  return text.substr(first, last - first);
}

std::wstring WideFromAnsi(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length > 0 ? length : 0), L'\0');
  if (length > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
  return wide;
}

bool FileExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DeleteFileEvenReadOnly(const std::string& path) {
  if (DeleteFileA(path.c_str())) return true;
  const DWORD error = GetLastError();
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
      SetFileAttributesA(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY))
    return DeleteFileA(path.c_str());
  SetLastError(error);
  return false;
}

bool DeleteFileNowOrAtRestart(const std::string& path, std::string& outcome) {
  if (DeleteFileEvenReadOnly(path)) {
    outcome = "Deleted " + path;
    return true;
  }
  const DWORD error = GetLastError();
  outcome = "Could not delete " + path + ": " + Win32ErrorText(error);
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return false;
  if (MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT))
    outcome += "; it will be deleted at the next restart";
  else
    outcome += "; nor could it be marked for deletion at the next restart: " + Win32ErrorText(GetLastError());
  return false;
}

bool FolderExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string AddTrailingChar(const std::string& text, char c) {
  if (text.empty() || text.back() == c) return text;
  return text + c;
}

std::string AddTrailingBackslash(const std::string& text) { return AddTrailingChar(text, '\\'); }

void ReplaceAt(std::string& text, size_t position, const std::string& oldText, const std::string& newText) {
  if (position == 0 || position > text.size() + 1) return;
  text.replace(position - 1, oldText.size(), newText);
}

size_t PosFrom(const std::string& searched, const std::string& text, size_t start) {
  if (searched.empty() || text.empty() || start == 0) return 0;
  if (start - 1 > text.size() || searched.size() > text.size() - (start - 1)) return 0;
  size_t found = text.find(searched, start - 1);
  return found == std::string::npos ? 0 : found + 1;
}

void ReplaceAll(std::string& text, const std::string& oldText, const std::string& newText) {
  size_t start = 1;
  for (;;) {
    size_t position = PosFrom(oldText, text, start);
    if (position == 0) return;
    ReplaceAt(text, position, oldText, newText);
    start = position + newText.size();
  }
}
