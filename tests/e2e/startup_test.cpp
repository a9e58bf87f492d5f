// End-to-end: how the setup program and the uninstaller start: missing configuration, the welcome question, a
// product recorded with another version, and the uninstaller called without a product.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver_script.h"
#include "expect_window.h"
#include "e2e_support.h"
#include "registry_names.h"
#include "setup_error.h"
#include "window_driver.h"

namespace {
constexpr DWORD kTimeLimitMs = 30000;

const char* kWelcomeText =
    "This program will install %s onto your computer.\r\nPress the OK button to start the installation.\r\n"
    "You can press the Cancel button if you do not want to install this software.";
const char* kPreviousVersionText =
    "Setup has detected that previous version of %s is already installed. It is highly recommended that you "
    "uninstall previous version before you can install %s.\r\n\r\nPress the OK button to continue the "
    "installation.\r\nPress the Cancel button to abort the installation.";

class StartupTest : public EndToEndTest {
 protected:
  RunRecord RunSetup(const std::vector<Answer>& script) const {
    return RunProgram(CommandLine(SetupPath(), {}), Folder(), script, kTimeLimitMs);
  }

  std::string WelcomeText(const std::string& title) const { return FormatText(kWelcomeText, title.c_str()); }
};

TEST_F(StartupTest, SetupWithoutConfigurationFileReportsTheFileAndFails) {
  RunRecord record = RunSetup({Answer::Press(IDOK).Caption("An error occured during installation."),
                               Answer::Press(IDOK).Caption("Application Error")});
  ASSERT_TRUE(record.Clean()) << FormatRunRecord(record);
  ASSERT_EQ(record.windows.size(), 2u) << FormatRunRecord(record);
  ExpectMessageBox(record.windows[0], "An error occured during installation.", "Installation failed.",
                   IconKind::Warning, {IDOK});
  ExpectMessageBox(record.windows[1], "Application Error", "Cannot open file " + Folder() + "OrvSetup.ini",
                   IconKind::Error, {IDOK});
  EXPECT_EQ(record.exitCode, 1u);
}

TEST_F(StartupTest, WelcomeNamesProductAndVersionAndCancelEndsWithoutChanges) {
  WriteFile("OrvSetup.ini",
            "[Application]\r\nAppName=" + AppName() + "\r\nVersion=2.5\r\nDefaultDir=" + Folder() + "Dest\r\n");
  const std::string registryBefore = RegistrySnapshot();
  const std::vector<std::string> filesBefore = ListFolderTree(Folder());

  RunRecord record = RunSetup({Answer::Press(IDCANCEL).Caption("Welcome!")});
  ASSERT_TRUE(record.Clean()) << FormatRunRecord(record);
  ASSERT_EQ(record.windows.size(), 1u) << FormatRunRecord(record);
  ExpectMessageBox(record.windows[0], "Welcome!", WelcomeText(AppName() + " Version 2.5"), IconKind::Information,
                   {IDOK, IDCANCEL});
  EXPECT_EQ(record.exitCode, 0u);
  EXPECT_EQ(RegistrySnapshot(), registryBefore);
  EXPECT_EQ(ListFolderTree(Folder()), filesBefore);

  // Configured empty, the version is left out of the title.
  WriteFile("OrvSetup.ini", "[Application]\r\nAppName=" + AppName() + "\r\nVersion=\r\n");
  record = RunSetup({Answer::Press(IDCANCEL).Caption("Welcome!")});
  ASSERT_TRUE(record.Clean()) << FormatRunRecord(record);
  ASSERT_EQ(record.windows.size(), 1u) << FormatRunRecord(record);
  EXPECT_EQ(record.windows[0].text, WelcomeText(AppName()));
  EXPECT_EQ(record.exitCode, 0u);
}

TEST_F(StartupTest, ProductRecordedWithAnotherVersionIsWarnedAboutBeforeTheWelcome) {
  const std::string productName = AppName() + " Product";
  const std::string productKey = std::string(kInstalledProductsKey) + "\\" + productName;
  WriteRegistryString(HKEY_CURRENT_USER, productKey, kVersionValue, "0.9");
  WriteRegistryString(HKEY_CURRENT_USER, productKey, kFolderNameValue, "C:\\Old");
  WriteFile("OrvSetup.ini",
            "[Application]\r\nAppName=" + AppName() + "\r\nProductName=" + productName + "\r\nVersion=1.0\r\n");
  const std::string registryBefore = RegistrySnapshot();
  const std::string warning = FormatText(kPreviousVersionText, AppName().c_str(), AppName().c_str());

  RunRecord record =
      RunSetup({Answer::Press(IDOK).Caption("Installation Error"), Answer::Press(IDCANCEL).Caption("Welcome!")});
  ASSERT_TRUE(record.Clean()) << FormatRunRecord(record);
  ASSERT_EQ(record.windows.size(), 2u) << FormatRunRecord(record);
  ExpectMessageBox(record.windows[0], "Installation Error", warning, IconKind::Error, {IDOK, IDCANCEL});
  ExpectMessageBox(record.windows[1], "Welcome!", WelcomeText(AppName() + " Version 1.0"), IconKind::Information,
                   {IDOK, IDCANCEL});
  EXPECT_EQ(record.exitCode, 0u);

  record = RunSetup({Answer::Press(IDCANCEL).Caption("Installation Error")});
  ASSERT_TRUE(record.Clean()) << FormatRunRecord(record);
  ASSERT_EQ(record.windows.size(), 1u) << FormatRunRecord(record);
  EXPECT_EQ(record.windows[0].text, warning);
  EXPECT_EQ(record.exitCode, 0u);
  EXPECT_EQ(RegistrySnapshot(), registryBefore);
}

TEST_F(StartupTest, UninstallerWithoutProductNameRefusesToRun) {
  const std::string uninstallKeyBefore = ExportRegistryTree(HKEY_LOCAL_MACHINE, kUninstallKeyPath);
  for (const std::vector<std::string>& arguments : {std::vector<std::string>{}, std::vector<std::string>{""}}) {
    RunRecord record = RunProgram(CommandLine(UninstallPath(), arguments), Folder(),
                                  {Answer::Press(IDOK).Caption("Uninstall")}, kTimeLimitMs);
    ASSERT_TRUE(record.Clean()) << FormatRunRecord(record);
    ASSERT_EQ(record.windows.size(), 1u) << FormatRunRecord(record);
    ExpectMessageBox(record.windows[0], "Uninstall",
                     "Do not call this program directly.\r\nUse Add/Remove Programs to remove this application.",
                     IconKind::Error, {IDOK});
    EXPECT_EQ(record.exitCode, 0u);
  }
  EXPECT_EQ(ExportRegistryTree(HKEY_LOCAL_MACHINE, kUninstallKeyPath), uninstallKeyBefore);
}
}  // namespace
