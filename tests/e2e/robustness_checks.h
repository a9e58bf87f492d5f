// Robustness tests: the state a run must leave alone, the two ways a run may fail, and the answers they share.
#pragma once

#include <windows.h>

#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "driver_script.h"
#include "e2e_support.h"
#include "expect_window.h"
#include "path_macros.h"
#include "path_utils.h"
#include "registry.h"
#include "registry_names.h"
#include "string_list.h"
#include "text_compare.h"
#include "unique_handle.h"
#include "window_driver.h"

constexpr DWORD kRunTimeLimitMs = 30000;
constexpr const char* kInstallFailedText =
    "An error occured during installation.\r\nPlease contact our support department";
constexpr const char* kFailureCaption = "An error occured during installation.";
constexpr const char* kDestinationCaption = "Select Destination Directory";

inline Answer WelcomeAnswer(int button) { return Answer::Press(button).Caption("Welcome!"); }
inline Answer DestinationAnswer(int button, const std::string& folder) {
  return Answer::Press(button).Caption(kDestinationCaption).SetText(1000, folder);
}
// The two boxes of a setup that ends with an error: "Installation failed." and the error itself.
inline std::vector<Answer> WithFailureBoxes(std::vector<Answer> script) {
  script.push_back(Answer::Press(IDOK).Caption(kFailureCaption));
  script.push_back(Answer::Press(IDOK).Caption("Application Error"));
  return script;
}

// A text as ExportRegistryTree writes it between quotes: backslashes and quotes escaped.
inline std::string ExportedText(const std::string& text) {
  std::string escaped;
  for (char c : text) {
    if (c == '\\' || c == '"') escaped += '\\';
    escaped += c;
  }
  return escaped;
}

// The names directly in a folder (no recursion), folders with a trailing backslash, sorted.
inline std::vector<std::string> ListFolderNames(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA data;
  UniqueFind find(FindFirstFileA((AddTrailingBackslash(folder) + "*").c_str(), &data));
  if (!find) return names;
  do {
    std::string name = data.cFileName;
    if (name == "." || name == "..") continue;
    names.push_back(name + ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? "\\" : ""));
  } while (FindNextFileA(find.get(), &data));
  std::sort(names.begin(), names.end());
  return names;
}

// Everything a run could touch outside the product's own files and keys, as text: every other Add/Remove Programs
// entry, the IDE's keys, the files below each folder given (the test's folder, the Start menu, the system folder)
// except those below ownFolder, and the names at the drive's root, where an absolute archive entry would land. The
// product's own keys (its entry, the maker's key) are in EndToEndTest::RegistrySnapshot.
inline std::string OutsideState(const std::vector<std::string>& folders, const std::string& ownEntry,
                                const std::string& ownFolder = std::string()) {
  std::string state;
  const std::vector<std::string> entries =
      RegistryKey::Open(HKEY_LOCAL_MACHINE, kUninstallKeyPath, KEY_READ).SubKeyNames();
  for (const std::string& entry : entries)
    if (!SameTextLocale(entry, ownEntry))
      state += ExportRegistryTree(HKEY_LOCAL_MACHINE, std::string(kUninstallKeyPath) + "\\" + entry);
  state += ExportRegistryTree(HKEY_CURRENT_USER, "Software\\Borland");
  state += ExportRegistryTree(HKEY_LOCAL_MACHINE, "Software\\Borland");
  const std::string own = UpperCaseLocale(AddTrailingBackslash(ownFolder));
  for (const std::string& folder : folders) {
    for (const std::string& entry : ListFolderTree(folder)) {
      const std::string path = AddTrailingBackslash(folder) + entry;
      if (!ownFolder.empty() && UpperCaseLocale(AddTrailingBackslash(path)).compare(0, own.size(), own) == 0) continue;
      state += path + "\n";
    }
  }
  const std::string drive = ExtractFileDrive(SystemDir()) + "\\";
  for (const std::string& name : ListFolderNames(drive)) state += drive + name + "\n";
  return state;
}

// The lines only one of two states has, marked "-" (before only) and "+" (after only); "" when they are equal.
inline std::string StateDifference(const std::string& before, const std::string& after) {
  StringList beforeLines, afterLines;
  beforeLines.SetText(before);
  afterLines.SetText(after);
  const std::set<std::string> beforeSet(beforeLines.begin(), beforeLines.end());
  const std::set<std::string> afterSet(afterLines.begin(), afterLines.end());
  std::string difference;
  for (const std::string& line : beforeLines)
    if (afterSet.count(line) == 0) difference += "- " + line + "\n";
  for (const std::string& line : afterLines)
    if (beforeSet.count(line) == 0) difference += "+ " + line + "\n";
  return difference;
}

// The message boxes and dialogs of a run, in order; the progress dialog is left out (the driver sees it only when
// it stays up long enough).
inline std::vector<WindowRecord> Questions(const RunRecord& run) {
  std::vector<WindowRecord> windows;
  for (const WindowRecord& window : run.windows)
    if (window.kind != WindowKind::Passive) windows.push_back(window);
  return windows;
}

// A setup run that ended with "Installation failed." and the error's own box, exit code 1.
inline void ExpectSetupError(const RunRecord& run, const std::string& errorText) {
  ASSERT_TRUE(run.Clean()) << FormatRunRecord(run);
  const std::vector<WindowRecord> questions = Questions(run);
  ASSERT_GE(questions.size(), 2u) << FormatRunRecord(run);
  ExpectMessageBox(questions[questions.size() - 2], kFailureCaption, "Installation failed.", IconKind::Warning, {IDOK});
  ExpectMessageBox(questions.back(), "Application Error", errorText, IconKind::Error, {IDOK});
  EXPECT_EQ(run.exitCode, 1u);
}

// A setup run whose archive could not be extracted: the "Setup" box, exit code 0.
inline void ExpectExtractionFailure(const RunRecord& run) {
  ASSERT_TRUE(run.Clean()) << FormatRunRecord(run);
  const std::vector<WindowRecord> questions = Questions(run);
  ASSERT_FALSE(questions.empty()) << FormatRunRecord(run);
  ExpectMessageBox(questions.back(), "Setup", kInstallFailedText, IconKind::Warning, {IDOK});
  EXPECT_EQ(run.exitCode, 0u);
}

// Polls the condition every 100 ms until it holds or the time is up.
inline bool WaitFor(const std::function<bool()>& condition, DWORD timeMs) {
  const DWORD start = GetTickCount();
  while (!condition()) {
    if (GetTickCount() - start >= timeMs) return false;
    Sleep(100);
  }
  return true;
}

// A file of the payloads made before the tests (tools/make-e2e-payloads.sh), e.g. "sample\\Data.rar".
inline std::string PayloadPath(const std::string& relativePath) {
  return AddTrailingBackslash(WindowsPathFromUnix(EnvironmentValue("ORV_E2E_PAYLOADS"))) + relativePath;
}
// An archive of tools/make-robustness-archives.sh, e.g. "password.rar".
inline std::string CraftedArchive(const std::string& name) {
  return AddTrailingBackslash(WindowsPathFromUnix(EnvironmentValue("ORV_ROBUSTNESS_ARCHIVES"))) + name;
}

// The fixture of the robustness tests: the programs' copies and a clean registry (EndToEndTest), the payloads, and
// runs of both programs from the test's folder.
class RobustnessTest : public EndToEndTest {
 protected:
  void TearDown() override {
    for (const std::string& path : removeAfterTest_) DeleteFileA(path.c_str());
    EndToEndTest::TearDown();
  }

  static void CopyInto(const std::string& source, const std::string& destination) {
    ASSERT_TRUE(CopyFileA(source.c_str(), destination.c_str(), FALSE)) << "cannot copy " << source;
  }

  // A file a run may put outside the test's folder: deleted now and when the test ends.
  void RemoveAfterTest(const std::string& path) {
    DeleteFileA(path.c_str());
    removeAfterTest_.push_back(path);
  }

  RunRecord RunSetup(const std::vector<Answer>& script, const std::vector<std::string>& arguments = {}) const {
    return RunProgram(CommandLine(SetupPath(), arguments), Folder(), script, kRunTimeLimitMs);
  }
  // The uninstaller as Add/Remove Programs starts it, with the product's name; by default the test's own copy.
  RunRecord RunUninstaller(const std::string& appName, const std::vector<Answer>& script,
                           const std::string& program = std::string()) const {
    return RunProgram(CommandLine(program.empty() ? UninstallPath() : program, {appName}), Folder(), script,
                      kRunTimeLimitMs);
  }
  static Answer ConfirmRemoval(const std::string& appName) {
    return Answer::Press(IDYES)
        .Caption("Uninstall")
        .Text("Are you sure you want to completely remove the " + appName + "?");
  }

 private:
  std::vector<std::string> removeAfterTest_;
};
