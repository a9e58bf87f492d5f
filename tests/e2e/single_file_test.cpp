// End-to-end: the single-file setup (tools/package_product.py --single-file, signed with a throw-away certificate)
// installing the sample product, its exit codes, a damaged or cut download, and DLLs planted beside every program.
#include <windows.h>

#include <gtest/gtest.h>

#include "e2e_fixture.h"
#include "process_runner.h"

namespace {
const std::string kAppName = "Quillmark Marlin Components";

// The system DLLs the programs load once they run, as Wine 8 names them (WINEDEBUG=+loaddll); kernel32 and msvcrt,
// loaded with every program, are Wine's own whatever it is told.
const char* const kRunTimeDlls[] = {"advapi32", "bcrypt",  "combase",  "comctl32", "crypt32",  "gdi32",
                                    "imm32",    "ole32",   "oleaut32", "powrprof", "rpcrt4",   "rsaenh",
                                    "sechost",  "shcore",  "shell32",  "shlwapi",  "ucrtbase", "user32",
                                    "uxtheme",  "version", "win32u",   "zlib1"};

class SingleFileTest : public SetupEndToEndTest {
 protected:
  void SetUp() override {
    SetupEndToEndTest::SetUp();
    ide_.emplace(MakeFakeDelphi5());
    ResetUninstallEntry(kAppName);
    for (const char* name : {"orvmarlin.dll", "OrvMarlin50.bpl"}) RemoveAfterTest(SystemDir() + name);
    for (const char* name : {"Marlin Readme.lnk", "Marlin Demo Notes.lnk"}) RemoveAfterTest(ProgramsFolder() + name);
  }
  void TearDown() override {
    for (const std::string& folder : plantedIn_)
      for (const std::string& entry : ListFolderTree(folder))
        EXPECT_EQ(entry.find(".loaded"), std::string::npos) << "planted DLL loaded: " << folder << entry;
    SetEnvironmentVariableA("WINEDLLOVERRIDES", overridesBefore_.c_str());
    SetupEndToEndTest::TearDown();
  }

  // Runs a single file from the test's folder; whatever happens, the user's temporary folder (which holds the test's
  // folder) has no new entry afterwards.
  RunRecord RunSingleFile(const std::string& path, const std::vector<std::string>& arguments,
                          const std::vector<Answer>& script) const {
    const std::vector<std::string> before = TempEntries();
    RunOptions options;
    options.commandLine = CommandLine(path, arguments);
    options.workingFolder = Folder();
    options.script = script;
    options.timeLimitMs = kRunTimeLimitMs;
    options.descendants = true;
    RunRecord run = RunProgram(options);
    EXPECT_EQ(TempEntries(), before) << "left in the temporary folder by " << path;
    return run;
  }
  static std::vector<std::string> TempEntries() {
    std::vector<std::string> entries;
    for (const std::string& entry : ListFolderTree(AddTrailingBackslash(GetTempDir())))
      if (entry.find('\\') >= entry.size() - 1) entries.push_back(entry);
    return entries;
  }
  // A copy of the planted DLL under each run-time DLL's name in the folder, and Wine told to prefer such DLLs to its
  // own for every program started from now on (its other overrides kept). None may be loaded (TearDown checks).
  void PlantDlls(const std::string& folder) {
    CreateDirectoryA(folder.c_str(), nullptr);
    std::string overrides = overridesBefore_;
    for (const char* name : kRunTimeDlls) {
      CopyInto(HelperProgramPath("planted_dll.dll"), folder + name + ".dll");
      overrides += std::string(";") + name + "=n,b";
    }
    ASSERT_TRUE(SetEnvironmentVariableA("WINEDLLOVERRIDES", overrides.c_str()));
    plantedIn_.push_back(folder);
  }
  std::optional<std::string> EntryValue(const std::string& name) const {
    return ReadRegistryString(HKEY_LOCAL_MACHINE, UninstallEntryKeyPath(kAppName), name);
  }

  std::optional<FakeIde> ide_;
  const std::string overridesBefore_ = EnvironmentValue("WINEDLLOVERRIDES");
  std::vector<std::string> plantedIn_;
};

// The signed single file installs interactively from a download folder, the uninstaller removes the product, and the
// setup folder installs unattended: DLLs planted beside each of them are never loaded.
TEST_F(SingleFileTest, InstallsAndRemovesWithoutLoadingDllsPlantedBesideAnyProgram) {
  const std::string downloads = Folder() + "Downloads\\";
  PlantDlls(downloads);
  CopyPayload("sample\\SetupMarlin.exe", downloads + "SetupMarlin.exe");
  const std::string installDir = Folder() + "Marlin\\";
  RunRecord run = RunSingleFile(downloads + "SetupMarlin.exe", {},
                                {Welcome(IDOK), Destination(IDOK, StripTrailingBackslash(installDir)),
                                 Welcome(IDCANCEL).Text("readme.txt"), Answer::Press(IDOK).Caption("Setup")});
  ASSERT_TRUE(run.Clean()) << FormatRunRecord(run);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_TRUE(FileExists(installDir + "units\\orvmarlin.pas"));
  EXPECT_EQ(EntryValue("InstallLocation"), std::optional<std::string>(StripTrailingBackslash(installDir)));

  PlantDlls(installDir);
  const std::vector<std::string> batchesBefore = BatchFiles(AddTrailingBackslash(GetTempDir()));
  RunRecord removal = Run("\"" + installDir + "uninstall.exe\" \"" + kAppName + "\"", {ConfirmRemoval(kAppName)});
  ASSERT_TRUE(removal.Clean()) << FormatRunRecord(removal);
  EXPECT_EQ(removal.exitCode, 0u);
  EXPECT_FALSE(EntryValue("UninstallString"));
  EXPECT_FALSE(FileExists(installDir + "units\\orvmarlin.pas"));
  // Its batch in the temporary folder is gone before a single file looks there.
  EXPECT_TRUE(WaitFor([&] { return BatchFiles(AddTrailingBackslash(GetTempDir())) == batchesBefore; }, kBatchWaitMs));

  // The setup folder itself, the test's folder: the fixture's programs with the sample's configuration and archive.
  PlantDlls(Folder());
  for (const char* name : {"OrvSetup.ini", "Data.rar"}) CopyPayload(std::string("sample\\") + name, Folder() + name);
  const std::string unattendedDir = Folder() + "Unattended";
  run = RunProgram(CommandLine(SetupPath(), {"/VERYSILENT", "/DIR=" + unattendedDir}), Folder(), {}, kRunTimeLimitMs);
  ASSERT_TRUE(run.Clean()) << FormatRunRecord(run);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_TRUE(FileExists(unattendedDir + "\\units\\orvmarlin.pas"));
}

// Unattended, the single file passes its command line on and ends with the setup's exit code, whether the setup
// deletes its own files or not.
TEST_F(SingleFileTest, UnattendedRunsEndWithTheSetupsExitCode) {
  const std::string log = Folder() + "run.log";
  const std::string installDir = Folder() + "Marlin";
  RunRecord run = RunSingleFile(PayloadPath("sample-delete\\SetupMarlin.exe"),
                                {"/VERYSILENT", "/DIR=" + installDir, "/LOG=" + log}, {});
  ASSERT_TRUE(run.Clean()) << FormatRunRecord(run);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_TRUE(run.windows.empty()) << FormatRunRecord(run);
  EXPECT_TRUE(FileExists(installDir + "\\units\\orvmarlin.pas"));
  EXPECT_NE(ReadFileBytes(log).find("DeleteSetupFiles=on"), std::string::npos) << ReadFileBytes(log);

  // An edition the configuration does not list stops the setup.
  run = RunSingleFile(PayloadPath("sample\\SetupMarlin.exe"), {"/SILENT", "/IDE=C6", "/LOG=" + log}, {});
  ASSERT_TRUE(run.Clean()) << FormatRunRecord(run);
  EXPECT_EQ(run.exitCode, 1u);
  EXPECT_NE(ReadFileBytes(log).find("Outcome: not installed, exit code 1"), std::string::npos) << ReadFileBytes(log);
}

// A byte changed in the data, or the file cut short: the damage box (none unattended), exit code 1, nothing written.
TEST_F(SingleFileTest, DamagedOrCutDownloadOrNoTemporaryFolderIsRefused) {
  const std::string signedFile = ReadFileBytes(PayloadPath("sample\\SetupMarlin.exe"));
  std::string damaged = signedFile;
  damaged[damaged.size() / 2] ^= 0x01;
  WriteFile("Damaged.exe", damaged);
  WriteFile("Cut.exe", signedFile.substr(0, signedFile.size() * 3 / 4));
  const std::string before = MachineState();
  for (const char* name : {"Damaged.exe", "Cut.exe"}) {
    const std::string path = Folder() + name;
    RunRecord run = RunSingleFile(path, {}, {Answer::Press(IDOK).Caption("Setup")});
    ASSERT_TRUE(run.Clean()) << name << "\n" << FormatRunRecord(run);
    EXPECT_EQ(run.exitCode, 1u) << name;
    ASSERT_EQ(Questions(run).size(), 1u) << FormatRunRecord(run);
    ExpectMessageBox(Questions(run)[0], "Setup", "The setup file is damaged. Please download it again.",
                     IconKind::Error, {IDOK});
    run = RunSingleFile(path, {"/VERYSILENT"}, {});
    ASSERT_TRUE(run.Clean()) << name << "\n" << FormatRunRecord(run);
    EXPECT_EQ(run.exitCode, 1u) << name;
    EXPECT_TRUE(run.windows.empty()) << FormatRunRecord(run);
  }
  EXPECT_EQ(StateDifference(before, MachineState()), "");

  // A temporary folder that cannot hold the setup's folder: a box that says where, exit code 1.
  const std::string temp = GetTempDir();
  const std::string missing = Folder() + "NoTemp";
  for (const char* variable : {"TMP", "TEMP"}) ASSERT_TRUE(SetEnvironmentVariableA(variable, missing.c_str()));
  RunRecord run = RunProgram(CommandLine(PayloadPath("sample\\SetupMarlin.exe"), {}), Folder(),
                             {Answer::Press(IDOK).Caption("Setup")}, kRunTimeLimitMs);
  for (const char* variable : {"TMP", "TEMP"}) SetEnvironmentVariableA(variable, temp.c_str());
  ASSERT_TRUE(run.Clean()) << FormatRunRecord(run);
  EXPECT_EQ(run.exitCode, 1u);
  EXPECT_EQ(Questions(run)[0].text.find("The setup files could not be unpacked into " + missing + "."), 0u)
      << FormatRunRecord(run);
}
}  // namespace
