// End-to-end test support: a private folder with copies of the built programs, a clean state of the registry the
// programs touch before and after each test, readers of registry and files for before/after comparisons, and a kill
// of a program at a line of its log.
//
// End-to-end tests run the real programs against the test prefix's real registry (no redirection is possible across
// processes), so the fixture deletes HKCU\Software\Quillmark, HKCU\Software\Borland, HKLM\Software\Borland and the
// test's Add/Remove Programs entries when each test starts and ends.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "scratch_registry.h"

class EndToEndTest : public ::testing::Test {
 protected:
  // Copies orvsetup.exe, uninstall.exe (from ORV_BUILD_DIR) and unrar.dll (ORV_UNRAR_DLL) into the folder and resets
  // the registry.
  void SetUp() override;
  void TearDown() override;

  // "E2E " followed by the test's name: the product title of this test alone. Its Add/Remove Programs entry is reset.
  const std::string& AppName() const { return appName_; }
  // Another Add/Remove Programs entry name the test creates; deleted now and when the test ends.
  void ResetUninstallEntry(const std::string& name);

  // The test's folder, with a trailing backslash, holding the program copies.
  const std::string& Folder() const { return folder_.path(); }
  std::string SetupPath() const { return Folder() + "orvsetup.exe"; }
  std::string UninstallPath() const { return Folder() + "uninstall.exe"; }
  // Writes a file below the folder (for example "OrvSetup.ini") and returns its full path.
  std::string WriteFile(const std::string& relativePath, const std::string& content) const;

  // Deletes the shared keys, the test's Add/Remove Programs entries and the list of deletions at the next restart.
  void ResetRegistry() const;
  // The export of every key ResetRegistry deletes: equal before and after a run that wrote nothing.
  std::string RegistrySnapshot() const;

 private:
  ScratchFolder folder_;
  std::string appName_;
  std::vector<std::string> uninstallEntries_;
};

// The files the system deletes at the next restart, which MoveFileEx lists as "\\??\\<path>"; each test starts and
// ends without any.
constexpr const char* kSessionManagerKey = "System\\CurrentControlSet\\Control\\Session Manager";
constexpr const char* kPendingDeletionsValue = "PendingFileRenameOperations";
std::string PendingDeletions();

// Values of the real registry; nullopt when the key or value is missing. A value of another type raises
// "Invalid data type for '%s'".
std::optional<std::string> ReadRegistryString(HKEY root, const std::string& path, const std::string& name);
// Creates the key when needed; a refused write fails the test.
void WriteRegistryString(HKEY root, const std::string& path, const std::string& name, const std::string& value);

// Every file and folder below the folder, relative to it and sorted; folders end with a backslash.
std::vector<std::string> ListFolderTree(const std::string& folder);
// The lines only one of two states has, marked "- " (before only) and "+ " (after only), each followed by a line
// feed; "" when both hold the same lines.
std::string StateDifference(const std::string& before, const std::string& after);

// Runs the program (" /VERYSILENT /LOG=<pipe>" appended to its command line) in the folder, its log written into a
// pipe without a buffer, where each line waits until this process has read it: read up to the given line and no
// further (counted from the first line that holds the text, when one is given), the program stands where it writes
// the next one and is killed there, as Task Manager would. False when it ended before.
bool KillAfterLogLine(std::string commandLine, const std::string& folder, int line, const std::string& text = "");
