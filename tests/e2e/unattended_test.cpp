// End-to-end: unattended installations and removals (/SILENT, /VERYSILENT, /DIR=, /LOG=) and their exit codes.
#include <windows.h>

#include <gtest/gtest.h>

#include "e2e_fixture.h"
#include "registry.h"
#include "string_list.h"

namespace {
class UnattendedTest : public SetupEndToEndTest {
 protected:
  void SetUp() override {
    SetupEndToEndTest::SetUp();
    ide_.emplace(MakeFakeDelphi5());
    CopyPayload("sample\\Data.rar", Folder() + "Data.rar");
    for (const char* name : {"orvmarlin.dll", "OrvMarlin50.bpl"}) RemoveAfterTest(SystemDir() + name);
    RemoveAfterTest(ProgramsFolder() + AppName() + " Readme.lnk");
  }

  // The sample product with every question switched on; DefaultDir as given.
  void WriteConfiguration(const std::string& defaultDir, const std::string& extra = std::string()) const {
    WriteFile("OrvSetup.ini",
              "[Application]\r\nAppName=" + AppName() +
                  "\r\nProductName=Marlin\r\nVersion=2.1\r\nPublisher=Quillmark\r\nDelphiVer=D5\r\n"
                  "DefaultDir=" +
                  defaultDir +
                  "\r\nCheckPrevVersion=1\r\nCheckDelphi=1\r\nSuccessMessage=1\r\nPromptInstallDir=1\r\n"
                  "RunAfterInstall=readme.txt\r\n" +
                  extra +
                  "\r\n[Build_Packages]\r\nOrvMarlin50.dpk=Quillmark Marlin Components\r\n"
                  "[Links]\r\n" +
                  AppName() + " Readme=readme.txt\r\n");
  }
  std::string Log() const { return ReadFileBytes(Folder() + "run.log"); }
  RunRecord Setup(const std::vector<std::string>& switches) const {
    std::vector<std::string> arguments = switches;
    arguments.push_back("/LOG=run.log");  // relative: taken from the current folder
    return RunProgram(CommandLine(SetupPath(), arguments), Folder(), {}, kRunTimeLimitMs);
  }
  // Windows that wait for an answer: message boxes and dialogs, not the progress window.
  static bool AsksNothing(const RunRecord& run) {
    return run.WindowsOfKind(WindowKind::MessageBox).empty() && run.WindowsOfKind(WindowKind::Dialog).empty();
  }
  std::optional<std::string> EntryValue(const std::string& name) const {
    return RegistryKey::Open(HKEY_LOCAL_MACHINE, UninstallEntryKeyPath(AppName()), KEY_READ).ReadString(name);
  }

  std::optional<FakeIde> ide_;
};

TEST_F(UnattendedTest, VerySilentInstallationAndQuietRemovalShowNoQuestion) {
  WriteConfiguration("C:\\Nowhere\\Proposed");
  const std::string destination = Folder() + "Dest\\";
  const std::string before = MachineState();
  RunRecord run = Setup({"/VERYSILENT", "/DIR=" + StripTrailingBackslash(destination)});
  ASSERT_TRUE(run.Clean()) << FormatRunRecord(run);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_TRUE(run.windows.empty()) << FormatRunRecord(run);
  EXPECT_TRUE(FileExists(destination + "units\\orvmarlin.pas"));
  EXPECT_EQ(EntryValue("Publisher"), std::optional<std::string>("Quillmark"));
  EXPECT_EQ(EntryValue("InstallLocation"), std::optional<std::string>(StripTrailingBackslash(destination)));
  const std::string log = Log();
  for (const std::string& expected :
       {"Destination: " + destination, "Extracted units\\orvmarlin.pas -> " + destination + "units\\orvmarlin.pas",
        std::string("Run \"") + ide_->BinDir() + "dcc32.exe\"", std::string("Box \"Welcome!\""),
        std::string("answered unattended: Cancel"), std::string("step installation "),
        "Registry HKCU\\Software\\Quillmark\\InstalledFiles \"" + destination + "readme.txt\" = 1 (was none)",
        std::string("Outcome: completed, exit code 0")})
    EXPECT_NE(log.find(expected), std::string::npos) << expected << "\n" << log;
  // The program offered at the end is not started, nobody being there to use it.
  EXPECT_EQ(log.find("answered unattended: OK\r\n", log.find("Would you like to run")), std::string::npos);

  // The entry's quiet command: only the progress window, then the machine is as before.
  const std::optional<std::string> quiet = EntryValue("QuietUninstallString");
  ASSERT_TRUE(quiet);
  RunRecord removal = RunProgram(*quiet, destination, {}, kRunTimeLimitMs);
  ASSERT_TRUE(removal.Clean()) << FormatRunRecord(removal);
  EXPECT_EQ(removal.exitCode, 0u);
  EXPECT_TRUE(AsksNothing(removal)) << FormatRunRecord(removal);
  EXPECT_TRUE(WaitFor([&] { return !FileExists(destination + "uninstall.exe"); }, kBatchWaitMs));
  for (const std::string& line : SplitLines(StateDifference(before, MachineState())))
    EXPECT_TRUE(line.find("Known Packages") != std::string::npos || line.find("OrvMarlin50.bpl") != std::string::npos ||
                line.find("tools.log") != std::string::npos || line.find("run.log") != std::string::npos)
        << line;  // a built package stays registered, as after an interactive removal
}

TEST_F(UnattendedTest, SilentShowsOnlyTheProgress) {
  WriteConfiguration(Folder() + "Dest");
  RunRecord run = Setup({"/silent"});
  ASSERT_TRUE(run.Clean()) << FormatRunRecord(run);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_TRUE(AsksNothing(run)) << FormatRunRecord(run);
}

// Every way an unattended installation stops: no window, exit code 1, nothing written, the cause in the log.
TEST_F(UnattendedTest, FailuresShowNoWindowExitWithOneAndNameTheCause) {
  struct Case {
    const char* name;
    std::function<void()> arrange;
    const char* cause;
  };
  std::string damaged = ReadFileBytes(Folder() + "Data.rar");
  damaged[damaged.size() - 200] ^= 0x55;
  std::optional<FakeIdeWindows> runningIde;
  const std::vector<Case> cases = {
      {"no configuration", [&] { DeleteFileA((Folder() + "OrvSetup.ini").c_str()); }, "Error: Cannot open file"},
      {"missing archive", [&] { WriteConfiguration(Folder() + "Dest", "RarFile=Missing.rar\r\n"); },
       "The archive could not be extracted whole"},
      {"damaged archive",
       [&] {
         WriteConfiguration(Folder() + "Dest");
         WriteFile("Data.rar", damaged);
       },
       "The archive could not be extracted whole"},
      {"running IDE",
       [&] {
         WriteConfiguration(Folder() + "Dest");
         runningIde.emplace(std::vector<const char*>{"TAlignPalette", "TPropertyInspector", "TAppBuilder"});
       },
       "Box \"Installation Warning\""},
      {"no destination",
       [&] {
         runningIde.reset();
         WriteConfiguration("");
       },
       "Destination: none given and none proposed"},
  };
  for (const Case& c : cases) {
    c.arrange();
    const std::string before = MachineState();
    RunRecord run = Setup({"/VERYSILENT"});
    ASSERT_TRUE(run.Clean()) << c.name << "\n" << FormatRunRecord(run);
    EXPECT_EQ(run.exitCode, 1u) << c.name;
    EXPECT_TRUE(run.windows.empty()) << c.name << "\n" << FormatRunRecord(run);
    const std::string log = Log();
    EXPECT_NE(log.find(c.cause), std::string::npos) << c.name << "\n" << log;
    EXPECT_NE(log.find("exit code 1"), std::string::npos) << c.name << "\n" << log;
    for (const std::string& line : SplitLines(StateDifference(before, MachineState())))
      EXPECT_NE(line.find("run.log"), std::string::npos) << c.name << ": " << line;
  }
}
}  // namespace
