// End-to-end runs of the setup program: the fixture of the setup tests (payloads, a fake Delphi 5, runs with the
// progress recorder, files to remove outside the test's folder) and readers of what an installation leaves behind.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "driver_script.h"
#include "e2e_support.h"
#include "fake_ide.h"
#include "path_macros.h"
#include "path_utils.h"
#include "progress_log.h"
#include "rar_extraction.h"
#include "registry.h"
#include "scratch_registry.h"
#include "setup_error.h"
#include "unique_handle.h"
#include "unrar_library.h"
#include "window_driver.h"

constexpr DWORD kSetupTimeLimitMs = 30000;

inline std::string WelcomeText(const std::string& title) {
  return FormatText(
      "This program will install %s onto your computer.\r\nPress the OK button to start the installation.\r\n"
      "You can press the Cancel button if you do not want to install this software.",
      title.c_str());
}

inline std::string PreviousVersionText(const std::string& appName) {
  return FormatText(
      "Setup has detected that previous version of %s is already installed. It is highly recommended that you "
      "uninstall previous version before you can install %s.\r\n\r\nPress the OK button to continue the "
      "installation.\r\nPress the Cancel button to abort the installation.",
      appName.c_str(), appName.c_str());
}

inline std::string RunningIdeText(const std::string& appName) {
  return FormatText(
      "You have one or more of the following applications running. It is highly recommended that you shut down "
      "these applications before you can install %s.\r\n\r\nBorland Delphi\r\nBorland C++ Builder\r\n",
      appName.c_str());
}

constexpr const char* kInstallFailedText =
    "An error occured during installation.\r\nPlease contact our support department";

// The fake Delphi 5's own help contents, library path and package, which an installation must keep.
constexpr const char* kDelphiHelpLines = ":Base delphi5.hlp\r\n:Index Delphi Help =delphi5.hlp\r\n";
constexpr const char* kDelphiSearchPath = "$(DELPHI)\\Lib;$(DELPHI)\\Bin";
constexpr const char* kDelphiOwnPackage = "$(DELPHI)\\Bin\\dclstd50.bpl";
constexpr const char* kDelphiOwnPackageDescription = "Borland Standard Components";
constexpr const char* kDelphiLibraryKey = "Software\\Borland\\Delphi\\5.0\\Library";
constexpr const char* kDelphiKnownPackagesKey = "Software\\Borland\\Delphi\\5.0\\Known Packages";

struct SetupRun {
  RunRecord record;
  ProgressLog progress;

  // The message boxes and dialogs, in order. Passive windows are left out: the driver sees the progress dialog
  // only when it stays up long enough (what it showed is in progress), and a dialog caught while it is being
  // created, before its buttons are visible, is taken for a passive window and recorded once more when it is up.
  std::vector<WindowRecord> Questions() const {
    std::vector<WindowRecord> windows;
    for (const WindowRecord& window : record.windows)
      if (window.kind != WindowKind::Passive) windows.push_back(window);
    return windows;
  }
};

// One entry of an archive as the library lists it.
struct ArchiveEntry {
  std::string path;
  bool folder = false;
  long long size = 0;
};

// Every entry of the archive in archive order, read with the library the tests are given (ORV_UNRAR_DLL).
inline std::vector<ArchiveEntry> ListArchive(const std::string& archive) {
  std::vector<ArchiveEntry> entries;
  LoadUnrarLibrary(WindowsPathFromUnix(EnvironmentValue("ORV_UNRAR_DLL")));
  auto unload = ScopeExit(UnloadUnrarLibrary);
  UniqueRarArchive handle(OpenRarArchive(archive, RAR_OM_LIST));
  if (!handle) {
    ADD_FAILURE() << "cannot open " << archive;
    return entries;
  }
  RARHeaderData header;
  while (ReadRarHeader(handle.get(), header) == ERAR_SUCCESS) {
    entries.push_back({RarEntryPath(header), IsRarFolderEntry(header), header.UnpSize});
    if (ProcessRarFile(handle.get(), RAR_SKIP, std::string(), std::string()) != ERAR_SUCCESS) break;
  }
  return entries;
}

// What a shortcut file holds, as the shell's link object reads it back.
struct ShellLinkContent {
  bool loaded = false;
  std::string path;
  std::string description;
  std::string workingFolder;
};

inline ShellLinkContent ReadShellLink(const std::string& linkFile) {
  ShellLinkContent content;
  ComApartment com;
  ComPtr<IShellLinkA> link;
  ComPtr<IPersistFile> file;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, link.put_void())) ||
      FAILED(link->QueryInterface(IID_IPersistFile, file.put_void())))
    return content;
  std::wstring wide(linkFile.size() + 1, L'\0');
  int length = MultiByteToWideChar(CP_ACP, 0, linkFile.c_str(), -1, &wide[0], static_cast<int>(wide.size()));
  if (length <= 0 || FAILED(file->Load(wide.c_str(), STGM_READ))) return content;
  content.loaded = true;
  char buffer[MAX_PATH + 1] = {};
  if (SUCCEEDED(link->GetPath(buffer, MAX_PATH, nullptr, SLGP_RAWPATH))) content.path = buffer;
  buffer[0] = '\0';
  if (SUCCEEDED(link->GetDescription(buffer, MAX_PATH))) content.description = buffer;
  buffer[0] = '\0';
  if (SUCCEEDED(link->GetWorkingDirectory(buffer, MAX_PATH))) content.workingFolder = buffer;
  return content;
}

// The values of a key that must hold strings only, by name ("" for the default value); a value of another type
// fails the test.
inline std::map<std::string, std::string> RegistryStrings(HKEY root, const std::string& path) {
  std::map<std::string, std::string> values;
  for (const RegistryValue& value : RegistryKey::Open(root, path, KEY_READ).Values()) {
    EXPECT_EQ(value.type, static_cast<DWORD>(REG_SZ)) << path << " " << value.name;
    values[value.name] = RegistryDataToText(value.data);
  }
  return values;
}

// The REG_DWORD values of a key by name; a value of another type fails the test.
inline std::map<std::string, DWORD> RegistryDwords(HKEY root, const std::string& path) {
  std::map<std::string, DWORD> values;
  for (const RegistryValue& value : RegistryKey::Open(root, path, KEY_READ).Values()) {
    EXPECT_EQ(value.type, static_cast<DWORD>(REG_DWORD)) << path << " " << value.name;
    DWORD number = 0;
    if (value.data.size() == sizeof number)
      std::copy(value.data.begin(), value.data.end(), reinterpret_cast<char*>(&number));
    values[value.name] = number;
  }
  return values;
}

class SetupEndToEndTest : public EndToEndTest {
 protected:
  void TearDown() override {
    for (const std::string& path : removeAfterTest_) DeleteFileA(path.c_str());
    EndToEndTest::TearDown();
  }

  // A file of the payloads made before the tests (tools/make-e2e-payloads.sh), e.g. "small\Data.rar".
  static std::string PayloadPath(const std::string& relativePath) {
    return AddTrailingBackslash(WindowsPathFromUnix(EnvironmentValue("ORV_E2E_PAYLOADS"))) + relativePath;
  }
  static void CopyPayload(const std::string& relativePath, const std::string& destination) {
    ASSERT_TRUE(CopyFileA(PayloadPath(relativePath).c_str(), destination.c_str(), FALSE))
        << "cannot copy " << PayloadPath(relativePath) << " to " << destination;
  }

  // A file that an installation may put outside the test's folder (system folder, Start menu): deleted now, so
  // that an earlier run cannot stand in for this one, and when the test ends.
  void RemoveAfterTest(const std::string& path) {
    DeleteFileA(path.c_str());
    removeAfterTest_.push_back(path);
  }

  // Runs a setup program (the test's copy by default) in the working folder (the test's folder by default),
  // answering from the script and recording what it sends to its progress dialog.
  SetupRun RunSetup(const std::vector<Answer>& script, const std::vector<std::string>& arguments = {},
                    const std::string& workingFolder = std::string(), const std::string& program = std::string()) {
    ScratchFolder logFolder;
    ProgressRecorder recorder(logFolder.path());
    bool attached = false;
    RunOptions options;
    options.commandLine = CommandLine(program.empty() ? SetupPath() : program, arguments);
    options.workingFolder = workingFolder.empty() ? Folder() : workingFolder;
    options.timeLimitMs = kSetupTimeLimitMs;
    options.script = script;
    // The program's first window comes before its progress dialog: its thread is hooked from then on.
    options.onWindow = [&](HWND window, const WindowRecord&) {
      if (!attached) attached = recorder.Attach(window);
    };
    SetupRun run;
    run.record = RunProgram(options);
    if (!run.record.windows.empty()) {
      EXPECT_TRUE(attached) << "the progress hook could not be set";
    }
    recorder.Detach();
    run.progress = recorder.Read();
    return run;
  }

  // A fake Delphi 5 below the test's folder ("Delphi5\"): its tools and RootDir, a help contents file with lines
  // of its own, the user's library key with a search path, and the Known Packages key with one package.
  FakeIde MakeFakeDelphi5() const {
    FakeIde ide(ieDelphi5, Folder() + "Delphi5");
    WriteFile("Delphi5\\HELP\\delphi5.cnt", kDelphiHelpLines);
    WriteRegistryString(HKEY_CURRENT_USER, kDelphiLibraryKey, "Search Path", kDelphiSearchPath);
    WriteRegistryString(HKEY_CURRENT_USER, kDelphiKnownPackagesKey, kDelphiOwnPackage, kDelphiOwnPackageDescription);
    return ide;
  }

 private:
  std::vector<std::string> removeAfterTest_;
};
