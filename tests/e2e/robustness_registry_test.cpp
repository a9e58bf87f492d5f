// Robustness end to end: every registry value the programs read stored with another type, and keys that cannot be
// created. Wine enforces no registry ACLs; a volatile parent key refuses non-volatile children, which is how a key
// that cannot be created is made here.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_ide.h"
#include "robustness_checks.h"
#include "setup_error.h"

namespace {
const char* kDelphiKey = "Software\\Borland\\Delphi\\5.0";
const char* kLibraryKey = "Software\\Borland\\Delphi\\5.0\\Library";
const char* kKnownPackagesKey = "Software\\Borland\\Delphi\\5.0\\Known Packages";

// Creates the key when needed and stores the bytes under the type given.
void WriteRaw(HKEY root, const std::string& path, const std::string& name, DWORD type, const std::string& bytes) {
  RegistryKey key = RegistryKey::Create(root, path);
  ASSERT_TRUE(key.valid()) << path;
  ASSERT_EQ(RegSetValueExA(key.get(), name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                           static_cast<DWORD>(bytes.size())),
            ERROR_SUCCESS)
      << path << " " << name;
}

std::string Dword(DWORD value) { return std::string(reinterpret_cast<const char*>(&value), sizeof value); }

// A new volatile key: no non-volatile key can be created below it.
void CreateVolatileKey(HKEY root, const std::string& path) {
  HKEY key = nullptr;
  ASSERT_EQ(
      RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr),
      ERROR_SUCCESS)
      << path;
  RegistryKey owned(key);
  EXPECT_FALSE(RegistryKey::Create(key, "Child").valid()) << "a volatile key accepted a non-volatile child";
}

class RegistryRobustnessTest : public RobustnessTest {
 protected:
  void SetUp() override {
    RobustnessTest::SetUp();
    installDir_ = Folder() + "Dest\\";
    CopyInto(PayloadPath("sample\\Data.rar"), Folder() + "Data.rar");
  }

  // The sample product, without questions but the welcome, into Dest\ for Delphi 5, registering its ready-made
  // package.
  void WriteConfiguration(const std::string& appName, const std::string& productName) const {
    WriteFile("OrvSetup.ini", "[Application]\r\nAppName=" + appName + "\r\nProductName=" + productName +
                                  "\r\nVersion=1.0\r\nDelphiVer=D5\r\nCheckPrevVersion=0\r\nPromptInstallDir=0\r\n"
                                  "DefaultDir=" +
                                  installDir_ + "\r\n\r\n[Packages]\r\nOrvTools50.bpl=Quillmark Marlin Tools\r\n");
  }

  std::string EntryPath(const std::string& appName) const { return std::string(kUninstallKeyPath) + "\\" + appName; }
  std::string Outside() const {
    return OutsideState({Folder(), ProgramsFolder(), SystemDir()}, AppName(), installDir_);
  }

  std::string installDir_;
};

// Values the setup program reads while it loads its settings: it stops with the error before the welcome, and
// nothing is written anywhere.
TEST_F(RegistryRobustnessTest, SetupStopsBeforeTheWelcomeOnSettingsValuesOfAnotherType) {
  WriteConfiguration(AppName(), "Robust");
  struct Case {
    const char* name;
    std::function<void()> prepare;
    const char* error;
  };
  const std::vector<Case> cases = {
      {"product record's version",
       [] {
         WriteRaw(HKEY_CURRENT_USER, std::string(kInstalledProductsKey) + "\\Robust", "Version", REG_DWORD, Dword(1));
       },
       "Invalid data type for 'Version'"},
      {"IDE's root folder", [] { WriteRaw(HKEY_LOCAL_MACHINE, kDelphiKey, "RootDir", REG_BINARY, "C:\\Delphi5"); },
       "Invalid data type for 'RootDir'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResetRegistry();
    c.prepare();
    const std::string registryBefore = RegistrySnapshot();
    const std::string outsideBefore = Outside();
    RunRecord run = RunSetup(WithFailureBoxes({}));
    ExpectSetupError(run, c.error);
    EXPECT_EQ(Questions(run).size(), 2u) << FormatRunRecord(run);
    EXPECT_EQ(StateDifference(registryBefore, RegistrySnapshot()), "");
    EXPECT_EQ(StateDifference(outsideBefore, Outside()), "");
    EXPECT_FALSE(FolderExists(installDir_));
  }
}

// A counter of another type stops the installation while the files are counted: the error is shown and the counter
// is left as it was. The IDE's library path of another type stops it at the library step, after the package was
// registered, whose neighbours of other types stay; that installation can be removed, and the uninstaller stops with
// the same error at the same step, keeping its entry for another try.
TEST_F(RegistryRobustnessTest, SetupAndUninstallerStopOnCountersAndLibraryPathsOfAnotherType) {
  WriteConfiguration(AppName(), "Robust");
  const std::string readme = installDir_ + "readme.txt";
  WriteRaw(HKEY_CURRENT_USER, kInstalledFilesKey, readme, REG_SZ, std::string("1", 2));
  RunRecord run = RunSetup(WithFailureBoxes({WelcomeAnswer(IDOK)}));
  ExpectSetupError(run, "Invalid data type for '" + readme + "'");
  RegistryValue counter =
      RegistryKey::Open(HKEY_CURRENT_USER, kInstalledFilesKey).ReadRaw(readme).value_or(RegistryValue());
  EXPECT_EQ(counter.type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(counter.data, std::string("1", 2));
  // No uninstall command was registered: the entry holds only what was written before the count.
  EXPECT_FALSE(ReadRegistryString(HKEY_LOCAL_MACHINE, EntryPath(AppName()), kUninstallStringValue).has_value());

  ResetRegistry();
  DeleteFolderTree(installDir_);
  FakeIde ide(ieDelphi5, Folder() + "Delphi5");
  WriteRaw(HKEY_CURRENT_USER, kLibraryKey, "Search Path", REG_BINARY, "$(DELPHI)\\Lib");
  WriteRaw(HKEY_CURRENT_USER, kKnownPackagesKey, "C:\\Other\\number.bpl", REG_DWORD, Dword(7));
  WriteRaw(HKEY_CURRENT_USER, kKnownPackagesKey, "C:\\Other\\bytes.bpl", REG_BINARY, "Quillmark Marlin");
  const std::string outsideBefore = Outside();
  run = RunSetup(WithFailureBoxes({WelcomeAnswer(IDOK)}));
  ExpectSetupError(run, "Invalid data type for 'Search Path'");
  RegistryKey library = RegistryKey::Open(HKEY_CURRENT_USER, kLibraryKey);
  EXPECT_EQ(library.ReadRaw("Search Path").value_or(RegistryValue()).type, static_cast<DWORD>(REG_BINARY));
  RegistryKey packages = RegistryKey::Open(HKEY_CURRENT_USER, kKnownPackagesKey);
  EXPECT_EQ(packages.ReadDword("C:\\Other\\number.bpl"), 7u);
  EXPECT_EQ(packages.ReadRaw("C:\\Other\\bytes.bpl").value_or(RegistryValue()).data, "Quillmark Marlin");
  EXPECT_EQ(packages.ReadString(installDir_ + "bin\\OrvTools50.bpl"), "Quillmark Marlin Tools");
  // The new Known Packages value is the only change outside the product.
  EXPECT_EQ(StateDifference(outsideBefore, Outside()),
            "+ \"" + ExportedText(installDir_ + "bin\\OrvTools50.bpl") + "\"=\"Quillmark Marlin Tools\"\n");
  const std::string command =
      ReadRegistryString(HKEY_LOCAL_MACHINE, EntryPath(AppName()), kUninstallStringValue).value_or("");
  ASSERT_FALSE(command.empty());

  run = RunProgram(command, Folder(), {ConfirmRemoval(AppName()), Answer::Press(IDOK).Caption("Uninstall")},
                   kRunTimeLimitMs);
  ASSERT_TRUE(run.Clean()) << FormatRunRecord(run);
  ASSERT_EQ(Questions(run).size(), 2u) << FormatRunRecord(run);
  ExpectMessageBox(Questions(run)[1], "Uninstall", "Invalid data type for 'Search Path'", IconKind::Error, {IDOK});
  EXPECT_EQ(run.exitCode, 1u);
  EXPECT_FALSE(FileExists(readme));
  EXPECT_FALSE(RegistryKeyExists(HKEY_CURRENT_USER, kInstalledFilesKey));
  EXPECT_TRUE(ReadRegistryString(HKEY_LOCAL_MACHINE, EntryPath(AppName()), kUninstallStringValue).has_value());
}

// The uninstaller takes every value of its entry as text whatever its type (a list of strings gives its first
// one); only the IDE's values must have their type, and the root folder of another type stops it with the error.
TEST_F(RegistryRobustnessTest, UninstallerReadsEntryValuesOfAnyTypeAsText) {
  const std::string first = WriteFile("Product\\first.txt", "first");
  const std::string second = WriteFile("Product\\second.txt", "second");
  WriteRegistryDword(HKEY_CURRENT_USER, kInstalledFilesKey, first, 1);
  WriteRegistryDword(HKEY_CURRENT_USER, kInstalledFilesKey, second, 1);
  const std::string entry = EntryPath(AppName());
  WriteRaw(HKEY_LOCAL_MACHINE, entry, kFilesValue, REG_MULTI_SZ, first + '\0' + second + '\0' + '\0');
  WriteRaw(HKEY_LOCAL_MACHINE, entry, kFoldersValue, REG_EXPAND_SZ, Folder() + "Product" + '\0');
  WriteRaw(HKEY_LOCAL_MACHINE, entry, kProductNameValue, REG_DWORD, Dword(0x41));
  WriteRaw(HKEY_LOCAL_MACHINE, entry, kSubProductNameValue, REG_BINARY, "\x01\x02\x03");
  WriteRaw(HKEY_LOCAL_MACHINE, entry, kDelphiVerValue, REG_BINARY, "C5");
  WriteRaw(HKEY_LOCAL_MACHINE, entry, kInstalledPathsValue, REG_DWORD, Dword(0));
  WriteRaw(HKEY_LOCAL_MACHINE, entry, kInstalledHelpsValue, REG_NONE, "");
  const std::string product = Folder() + "Product";
  const std::string outsideBefore = OutsideState({Folder(), ProgramsFolder(), SystemDir()}, AppName(), product);

  RunRecord run = RunUninstaller(AppName(), {ConfirmRemoval(AppName())});
  ASSERT_TRUE(run.Clean()) << FormatRunRecord(run);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_FALSE(FileExists(first));
  EXPECT_TRUE(FileExists(second));
  EXPECT_EQ(ReadRegistryDword(HKEY_CURRENT_USER, kInstalledFilesKey, second), 1u);
  EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, entry));
  // The test's copy of the uninstaller deletes itself (no installation counts it); it is put back afterwards.
  EXPECT_TRUE(WaitFor([&] { return !FileExists(UninstallPath()) && !FileExists(Folder() + "$delme.bat"); }, 20000));
  CopyInto(AddTrailingBackslash(WindowsPathFromUnix(EnvironmentValue("ORV_BUILD_DIR"))) + "uninstall.exe",
           UninstallPath());
  EXPECT_EQ(StateDifference(outsideBefore, OutsideState({Folder(), ProgramsFolder(), SystemDir()}, AppName(), product)),
            "");

  // An IDE whose root folder is stored as a number: the removal stops at the help step, the entry stays.
  WriteRaw(HKEY_LOCAL_MACHINE, "Software\\Borland\\C++Builder\\5.0", "RootDir", REG_DWORD, Dword(5));
  WriteRaw(HKEY_LOCAL_MACHINE, entry, kDelphiVerValue, REG_SZ, std::string("C5", 3));
  run = RunUninstaller(AppName(), {ConfirmRemoval(AppName()), Answer::Press(IDOK).Caption("Uninstall")});
  ASSERT_TRUE(run.Clean()) << FormatRunRecord(run);
  ASSERT_EQ(Questions(run).size(), 2u) << FormatRunRecord(run);
  ExpectMessageBox(Questions(run)[1], "Uninstall", "Invalid data type for 'RootDir'", IconKind::Error, {IDOK});
  EXPECT_EQ(run.exitCode, 1u);
  EXPECT_TRUE(RegistryKeyExists(HKEY_LOCAL_MACHINE, entry));
}

// Keys that cannot be created: the product record below a volatile maker's key stops the installation with the
// write error; an Add/Remove Programs entry below a volatile key is not written, silently, and the installation
// completes without it.
TEST_F(RegistryRobustnessTest, KeysThatCannotBeCreated) {
  WriteConfiguration(AppName(), "Robust");
  CreateVolatileKey(HKEY_CURRENT_USER, "Software\\Quillmark");
  ASSERT_FALSE(HasFatalFailure());
  const std::string outsideBefore = Outside();
  RunRecord run = RunSetup(WithFailureBoxes({WelcomeAnswer(IDOK)}));
  ExpectSetupError(run, "Failed to set data for 'Version'");
  EXPECT_EQ(ExportRegistryTree(HKEY_CURRENT_USER, "Software\\Quillmark"), "[HKEY_CURRENT_USER\\Software\\Quillmark]\n");
  EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, EntryPath(AppName())));
  EXPECT_EQ(StateDifference(outsideBefore, Outside()), "");

  ResetRegistry();
  DeleteFolderTree(installDir_);
  const std::string parent = "E2E Volatile";
  ResetUninstallEntry(parent);
  CreateVolatileKey(HKEY_LOCAL_MACHINE, std::string(kUninstallKeyPath) + "\\" + parent);
  ASSERT_FALSE(HasFatalFailure());
  WriteConfiguration(parent + "\\" + AppName(), "");
  run = RunSetup({WelcomeAnswer(IDOK)});
  ASSERT_TRUE(run.Clean()) << FormatRunRecord(run);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_EQ(ExportRegistryTree(HKEY_LOCAL_MACHINE, EntryPath(parent)),
            "[HKEY_LOCAL_MACHINE\\" + EntryPath(parent) + "]\n");
  EXPECT_EQ(ReadRegistryDword(HKEY_CURRENT_USER, kInstalledFilesKey, installDir_ + "readme.txt"), 1u);
}
}  // namespace
