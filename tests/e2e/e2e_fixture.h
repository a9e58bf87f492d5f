// End-to-end runs of both programs: the fixture (payloads, a fake Delphi 5, files to remove outside the test's
// folder), the texts of their boxes and the checks of recorded windows.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "driver_script.h"
#include "e2e_support.h"
#include "fake_ide.h"
#include "path_macros.h"
#include "path_utils.h"
#include "registry_names.h"
#include "scratch_registry.h"
#include "setup_error.h"
#include "test_utils.h"
#include "uninstall_entry.h"
#include "window_driver.h"

constexpr DWORD kRunTimeLimitMs = 30000;
// The self-deleting batch tries about once a second; it normally finishes within a few.
constexpr DWORD kBatchWaitMs = 20000;

// The texts the programs' boxes are expected to show, written out here rather than taken from the programs.
namespace expected {
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
constexpr const char* kFailureCaption = "An error occured during installation.";
constexpr const char* kDirectCallText =
    "Do not call this program directly.\r\nUse Add/Remove Programs to remove this application.";
}  // namespace expected

// The self-deleting batch files directly in the folder.
inline std::vector<std::string> BatchFiles(const std::string& folder) {
  std::vector<std::string> names;
  for (const std::string& entry : ListFolderTree(folder))
    if (entry.find('\\') == std::string::npos && entry.compare(0, 6, "$delme") == 0) names.push_back(entry);
  return names;
}

// A message box with exactly this caption, text, icon and buttons (left to right).
inline void ExpectMessageBox(const WindowRecord& window, const std::string& caption, const std::string& text,
                             IconKind icon, const std::vector<int>& buttons) {
  EXPECT_EQ(WindowKindName(window.kind), WindowKindName(WindowKind::MessageBox)) << caption;
  EXPECT_EQ(window.caption, caption);
  EXPECT_EQ(window.text, text) << caption;
  EXPECT_EQ(IconKindName(window.icon), IconKindName(icon)) << caption;
  EXPECT_EQ(window.buttons, buttons) << caption;
}

// The message boxes and dialogs of a run, in order. Passive windows are left out: the driver sees the progress
// dialog only when it stays up long enough (what it shows is the unit tests' matter), and a dialog caught while it
// is being created, before its buttons are visible, is taken for a passive window and recorded once more when up.
inline std::vector<WindowRecord> Questions(const RunRecord& record) {
  std::vector<WindowRecord> windows;
  for (const WindowRecord& window : record.windows)
    if (window.kind != WindowKind::Passive) windows.push_back(window);
  return windows;
}

inline Answer Welcome(int button) { return Answer::Press(button).Caption("Welcome!"); }
inline Answer Destination(int button, const std::string& folder) {
  return Answer::Press(button).Caption("Select Destination Directory").SetText(1000, folder);
}
inline Answer ConfirmRemoval(const std::string& appName) {
  return Answer::Press(IDYES)
      .Caption("Uninstall")
      .Text("Are you sure you want to completely remove the " + appName + "?");
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
  static void CopyInto(const std::string& source, const std::string& destination) {
    ASSERT_TRUE(CopyFileA(source.c_str(), destination.c_str(), FALSE)) << "cannot copy " << source;
  }
  static void CopyPayload(const std::string& relativePath, const std::string& destination) {
    CopyInto(PayloadPath(relativePath), destination);
  }

  // A file that an installation may put outside the test's folder (system folder, Start menu): deleted now, so
  // that an earlier run cannot stand in for this one, and when the test ends.
  void RemoveAfterTest(const std::string& path) {
    DeleteFileA(path.c_str());
    removeAfterTest_.push_back(path);
  }

  // Runs a setup program (the test's copy by default) in the working folder (the test's folder by default),
  // answering from the script.
  RunRecord RunSetup(const std::vector<Answer>& script, const std::string& workingFolder = std::string(),
                     const std::string& program = std::string()) const {
    return RunProgram(CommandLine(program.empty() ? SetupPath() : program, {}),
                      workingFolder.empty() ? Folder() : workingFolder, script, kRunTimeLimitMs);
  }

  // The registry the programs touch (RegistrySnapshot) and every file and folder below the test's folder, the Start
  // menu and the system folder, one a line; those folders are written <test>, <programs> and <system>, also where
  // registry data names them. Compared with StateDifference.
  std::string MachineState() const { return WithFolderNames(RegistrySnapshot()) + FilesState(); }
  std::string FilesState() const {
    std::string state;
    for (const std::string& folder : {Folder(), ProgramsFolder(), SystemDir()})
      for (const std::string& entry : ListFolderTree(folder)) state += folder + entry + "\n";
    return WithFolderNames(state);
  }

  // A command line (the uninstaller as Windows starts it, for example) run from the test's folder.
  RunRecord Run(const std::string& commandLine, const std::vector<Answer>& script) const {
    return RunProgram(commandLine, Folder(), script, kRunTimeLimitMs);
  }

  // A fake Delphi 5 below the test's folder: its tools and RootDir, a help contents file with lines of its own, the
  // user's library key with a search path, and the Known Packages key with one package.
  FakeIde MakeFakeDelphi5(const std::string& folderName = "Delphi5") const {
    FakeIde ide(ieDelphi5, Folder() + folderName);
    WriteFile(folderName + "\\HELP\\delphi5.cnt", ":Base delphi5.hlp\r\n:Index Delphi Help =delphi5.hlp\r\n");
    const std::string keys = "Software\\Borland\\Delphi\\5.0\\";
    WriteRegistryString(HKEY_CURRENT_USER, keys + "Library", "Search Path", "$(DELPHI)\\Lib;$(DELPHI)\\Bin;");
    WriteRegistryString(HKEY_CURRENT_USER, keys + "Known Packages", "$(DELPHI)\\Bin\\dclstd50.bpl",
                        "Borland Standard Components");
    return ide;
  }

  // The test's copy of the uninstaller deletes itself when no installation counts it: waits for that and puts it
  // back for the next run.
  void RestoreOwnUninstaller() const {
    EXPECT_TRUE(
        WaitFor([&] { return !FileExists(UninstallPath()) && !FileExists(Folder() + "$delme.bat"); }, kBatchWaitMs));
    CopyInto(AddTrailingBackslash(WindowsPathFromUnix(EnvironmentValue("ORV_BUILD_DIR"))) + "uninstall.exe",
             UninstallPath());
  }

 private:
  std::string WithFolderNames(std::string state) const {
    auto replace = [&state](const std::string& from, const std::string& to) {
      for (size_t at = state.find(from); at != std::string::npos; at = state.find(from, at + to.size()))
        state.replace(at, from.size(), to);
    };
    // The registry export writes a backslash as two.
    auto escaped = [](std::string path) {
      for (size_t at = path.find('\\'); at != std::string::npos; at = path.find('\\', at + 2)) path.insert(at, 1, '\\');
      return path;
    };
    const std::pair<std::string, std::string> names[] = {
        {Folder(), "<test>\\"}, {ProgramsFolder(), "<programs>\\"}, {SystemDir(), "<system>\\"}};
    for (const auto& [folder, name] : names) {
      replace(escaped(folder), escaped(name));
      replace(folder, name);
    }
    return state;
  }

  std::vector<std::string> removeAfterTest_;
};
