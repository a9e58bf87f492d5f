// The single-file setup's run.
#include "setup_stub.h"

#include <windows.h>
#include <wincrypt.h>

#include <optional>
#include <string>
#include <vector>

#include "command_line.h"
#include "message_box.h"
#include "path_utils.h"
#include "process_runner.h"
#include "program_switches.h"
#include "setup_error.h"
#include "single_file.h"
#include "stub_texts.h"
#include "unique_handle.h"

namespace {
constexpr const char* kSetupProgram = "orvsetup.exe";
// Taken names are skipped; this many in a row means something else is wrong.
constexpr int kFolderNameTries = 16;
// The setup's self-deleting batch may still hold a file in the folder for a moment after the setup has ended: the
// removal is tried again for up to half a minute.
constexpr int kRemoveTries = 120;
constexpr DWORD kRemoveRetryMs = 250;

struct CryptProviderTraits {
  using Handle = HCRYPTPROV;
  static Handle Invalid() { return 0; }
  static bool IsValid(Handle h) { return h != 0; }
  static void Close(Handle h) { CryptReleaseContext(h, 0); }
};
using UniqueCryptProvider = UniqueHandle<CryptProviderTraits>;  // CryptReleaseContext

// 16 bytes of the system's random generator in hex; "" with GetLastError when it cannot give them.
std::string RandomName() {
  UniqueCryptProvider provider;
  BYTE bytes[16];
  if (!CryptAcquireContextA(provider.put(), nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT | CRYPT_SILENT) ||
      !CryptGenRandom(provider.get(), sizeof bytes, bytes))
    return std::string();
  std::string name;
  for (BYTE byte : bytes) name += FormatText("%02x", byte);
  return name;
}

// A folder made for this run under the user's temporary folder, named so that nobody can prepare it beforehand, with
// a trailing backslash; "" with GetLastError when none could be made. A folder that exists already is never used.
std::string CreateOwnFolder() {
  for (int i = 0; i < kFolderNameTries; ++i) {
    const std::string name = RandomName();
    if (name.empty()) return std::string();
    const std::string folder = AddTrailingBackslash(GetTempDir()) + "orv" + name;
    if (CreateDirectoryA(folder.c_str(), nullptr)) return folder + "\\";
    if (GetLastError() != ERROR_ALREADY_EXISTS) return std::string();
  }
  return std::string();
}

// Deletes the folder (with a trailing backslash) and everything in it; true when it is gone. A linked folder inside
// is removed as a link, never followed.
bool DeleteFolderTree(const std::string& folder) {
  WIN32_FIND_DATAA entry;
  UniqueFind find(FindFirstFileA((folder + "*").c_str(), &entry));
  if (find) {
    do {
      const std::string name = entry.cFileName;
      if (name == "." || name == "..") continue;
      const std::string path = folder + name;
      const DWORD attributes = entry.dwFileAttributes;
      if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        RemoveDirectoryA(path.c_str());
      else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        DeleteFolderTree(path + "\\");
      else
        DeleteFileEvenReadOnly(path);
    } while (FindNextFileA(find.get(), &entry));
  }
  find.reset();
  return RemoveDirectoryA(folder.c_str()) || !FolderExists(folder);
}

void RemoveOwnFolder(const std::string& folder) {
  for (int tries = 1; !DeleteFolderTree(folder) && tries < kRemoveTries; ++tries) Sleep(kRemoveRetryMs);
}

// What follows the program's own name in its command line, as typed: a quoted name ends at the next quote, another
// one at the first blank or tab, as Windows splits it.
std::string ArgumentsPart(const std::string& commandLine) {
  size_t end = 0;
  if (!commandLine.empty() && commandLine[0] == '"') {
    end = commandLine.find('"', 1);
    end = end == std::string::npos ? commandLine.size() : end + 1;
  } else {
    end = commandLine.find_first_of(" \t");
    if (end == std::string::npos) end = commandLine.size();
  }
  return commandLine.substr(end);
}

// Runs the unpacked setup program with this program's arguments, in its folder, and waits for it: its exit code, or
// nothing with GetLastError when it could not be started.
std::optional<DWORD> RunSetup(const std::string& folder) {
  const std::string program = folder + kSetupProgram;
  std::string commandLine = QuoteStr(program, '"') + ArgumentsPart(GetCommandLineA());
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                      &started))
    return std::nullopt;
  UniqueKernelHandle process(started.hProcess);
  UniqueKernelHandle thread(started.hThread);
  WaitForSingleObject(process.get(), INFINITE);
  DWORD exitCode = 0;
  return GetExitCodeProcess(process.get(), &exitCode) ? exitCode : 1;
}

// The setup program's exit code, or 1 after a box that says what went wrong.
int UnpackAndRunSetup() {
  std::string folder;
  std::string failure;
  {
    // The program file stays open, and unwritable, from the check to the end of the unpacking.
    SingleFileData data;
    if (!data.Open()) {
      ShowMessageBox(kDamagedText, kSetupCaption, MB_ICONERROR | MB_OK);
      return 1;
    }
    folder = CreateOwnFolder();
    if (folder.empty())
      failure = UnpackFailedText(GetTempDir(), Win32ErrorText(GetLastError()));
    else if (!data.ExtractTo(folder))
      failure = UnpackFailedText(StripTrailingBackslash(folder), Win32ErrorText(GetLastError()));
  }
  std::optional<DWORD> exitCode;
  if (failure.empty()) {
    exitCode = RunSetup(folder);
    if (!exitCode) failure = StartFailedText(folder + kSetupProgram, Win32ErrorText(GetLastError()));
  }
  if (!folder.empty()) RemoveOwnFolder(folder);
  if (exitCode) return static_cast<int>(*exitCode);
  ShowMessageBox(failure, kSetupCaption, MB_ICONERROR | MB_OK);
  return 1;
}
}  // namespace

int SetupStubMain() {
  SuppressSystemErrorBoxes();
  std::vector<std::string> arguments = SplitCommandLine(GetCommandLineA());
  if (!arguments.empty()) arguments.erase(arguments.begin());
  // Unattended, the setup's own switches decide: no box from here either.
  SetRunMode(ParseProgramSwitches(arguments, true).mode);
  return UnpackAndRunSetup();
}
