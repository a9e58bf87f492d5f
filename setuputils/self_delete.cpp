// The self-deleting batch file "$delme.bat".
#include "self_delete.h"

#include <windows.h>

#include <vector>

#include "path_utils.h"
#include "process_runner.h"
#include "setup_error.h"
#include "unique_handle.h"

namespace {
// A path as a batch line needs it: quoted (blanks, "&", "^"), "%" doubled so that cmd does not expand it.
std::string BatchPath(const std::string& path) {
  std::string escaped;
  for (char c : path) {
    escaped += c;
    if (c == '%') escaped += '%';
  }
  return QuoteStr(escaped, '"');
}

// "rd" removes a folder only when it is empty.
std::string RemoveFolderCommands(const std::vector<std::string>& folders) {
  std::string commands;
  for (const std::string& folder : folders) commands += " & rd " + BatchPath(folder);
  return commands;
}

// cmd reads batch files in the OEM code page.
std::string ToOem(const std::string& text) {
  if (text.empty()) return text;
  std::vector<char> oem(text.size());
  CharToOemBuffA(text.c_str(), oem.data(), static_cast<DWORD>(text.size()));
  return std::string(oem.data(), oem.size());
}

std::string DeleteBatchText(const std::string& path, const std::string& batchPath,
                            const std::vector<std::string>& foldersToRemove, int tries) {
  std::string file = BatchPath(path);
  const std::vector<std::string> lines = {
      "@echo off",
      // "!" stays literal even where delayed expansion is switched on by default.
      "setlocal EnableExtensions DisableDelayedExpansion",
      "set Tries=0",
      ":Repeat",
      "del " + file,
      "del " + file + " /aH",
      "if not exist " + file + " goto Done",
      "set /a Tries+=1",
      "if %Tries% geq " + std::to_string(tries) + " goto Done",
      // About one second: the second echo request waits for the first one's interval.
      "ping -n 2 127.0.0.1 >nul",
      "goto Repeat",
      ":Done",
      // One line: cmd runs the rest of a line it has read even when the batch file is gone.
      "del " + BatchPath(batchPath) + RemoveFolderCommands(foldersToRemove),
  };
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return ToOem(text);
}

bool WriteBatchFile(const std::string& path, const std::string& content) {
  UniqueFile file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD written = 0;
  if (!WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr) ||
      written != content.size())
    return false;
  return CloseHandle(file.release()) != FALSE;
}
}  // namespace

void DeleteFileViaBatch(const std::string& path, BatchWriteErrors errors,
                        const std::vector<std::string>& foldersToRemove, int tries) {
  // Neither DeleteFileA nor cmd's del removes a read-only file.
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0)
    SetFileAttributesA(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  if (DeleteFileA(path.c_str())) {
    for (const std::string& folder : foldersToRemove) RemoveDirectoryA(folder.c_str());
    return;
  }

  // cmd may hold its batch file open until it ends (Wine's does), and a batch file inside one of the folders would
  // then keep that folder: with folders to remove, the batch goes into the temporary folder under a name of this
  // process's own. So it does when the file's folder has a "%" or "!" in its name: cmd would expand those in the
  // command line that starts the batch, and never find it.
  const std::string folder = AddTrailingBackslash(ExtractFilePath(path));
  const bool besideTheFile = foldersToRemove.empty() && folder.find_first_of("%!") == std::string::npos;
  std::string batchPath =
      besideTheFile ? folder + "$delme.bat"
                    : AddTrailingBackslash(GetTempDir()) + "$delme" + std::to_string(GetCurrentProcessId()) + ".bat";
  if (!WriteBatchFile(batchPath, DeleteBatchText(path, batchPath, foldersToRemove, tries))) {
    if (errors == BatchWriteErrors::Raise) throw CannotCreateFileError(batchPath);
    // A partly written batch could run a truncated delete line: better not start it at all.
    return;
  }
  RunProgram(QuoteStr(batchPath, '"'), false);
}
