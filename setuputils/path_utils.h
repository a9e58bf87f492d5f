// Small text and path routines shared by both programs.
#pragma once

#include <string>

// Quote, text, quote; a quote inside the text stays single.
std::string QuoteStr(const std::string& text, char quote);
// Removes one trailing backslash, if there is one.
std::string StripTrailingBackslash(const std::string& path);
std::string ReplaceChar(char oldChar, char newChar, std::string text);
// The part before / after the first occurrence of the separator (exact); "" when it does not occur.
std::string TextBefore(const std::string& text, const std::string& separator);
std::string TextAfter(const std::string& text, const std::string& separator);
// The name / value of a name=value line.
std::string NamePart(const std::string& text);
std::string ValuePart(const std::string& text);
// 1-based position of the needle in the haystack, compared in locale upper case; 0 when absent.
size_t PosText(const std::string& needle, const std::string& haystack);

// The full path of a folder as seen from the base folder (current folder switched for the call and restored).
std::string ExpandPathFrom(const std::string& baseFolder, const std::string& folder);
std::string ExpandFileFrom(const std::string& baseFolder, const std::string& filePath);
// ExpandFileFrom with the running program's folder as base.
std::string ExpandFromExeDir(const std::string& filePath);

// Path pieces: the text after the last backslash or colon, and what comes before it (separator kept).
std::string ExtractFileName(const std::string& path);
std::string ExtractFilePath(const std::string& path);
// The extension with its dot (from the last "." after the last backslash or colon), or "".
std::string ExtractFileExt(const std::string& path);
// The path with its extension replaced by the new one ("" removes it), or the new one appended.
std::string ChangeFileExt(const std::string& path, const std::string& extension);
// "C:" for a drive path, "\\server\share" for a network path, otherwise "".
std::string ExtractFileDrive(const std::string& path);
// Removes characters with codes up to blank at both ends.
std::string TrimText(const std::string& text);
// The running program's full path (GetModuleFileNameA, buffer checked).
std::string ModuleFileName();
// The process's current folder.
std::string CurrentFolder();
// GetFullPathNameA of a path; the path unchanged when the system cannot resolve it.
std::string FullPathName(const std::string& path);
// The text in UTF-16, read in the ANSI code page.
std::wstring WideFromAnsi(const std::string& text);
bool FileExists(const std::string& path);
// DeleteFileA, and once more without the read-only attribute that an archive entry may have restored. True when
// this call deleted the file; otherwise GetLastError tells why the last deletion failed.
bool DeleteFileEvenReadOnly(const std::string& path);
// DeleteFileEvenReadOnly; when the file exists and cannot go (a program holds it), the system is told to delete it
// at the next restart. True when it was deleted now; outcome gets a line for the log: "Deleted <path>", or "Could not
// delete <path>: <reason>" followed by what became of it.
bool DeleteFileNowOrAtRestart(const std::string& path, std::string& outcome);
bool FolderExists(const std::string& path);
// The character appended unless the text is empty or already ends with it.
std::string AddTrailingChar(const std::string& text, char c);
std::string AddTrailingBackslash(const std::string& text);
// 1-based positions, as the path macro scan uses them.
void ReplaceAt(std::string& text, size_t position, const std::string& oldText, const std::string& newText);
size_t PosFrom(const std::string& searched, const std::string& text, size_t start);
void ReplaceAll(std::string& text, const std::string& oldText, const std::string& newText);
