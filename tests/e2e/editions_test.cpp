// End-to-end: one setup for several IDE editions. Fake Delphi 5, Delphi 6 and C++Builder 5 are installed, C++Builder
// 6 is not; the product lists all four (and a code no edition has), with a package section for each and a units
// folder of its own for Delphi 6. Each chosen edition gets its package, library path and help; the others stay
// untouched; the removal withdraws the product from each.
#include <windows.h>

#include <gtest/gtest.h>

#include <deque>

#include "e2e_fixture.h"
#include "library_path.h"
#include "resource_ids.h"

namespace {
constexpr IdeEdition kInstalled[] = {ieDelphi5, ieDelphi6, ieCppBuilder5};

class EditionsTest : public SetupEndToEndTest {
 protected:
  void SetUp() override {
    SetupEndToEndTest::SetUp();
    CopyPayload("editions\\Data.rar", Folder() + "Data.rar");
    std::string config = "[Application]\r\nAppName=" + AppName() +
                         "\r\nDelphiVer=D5; d6;C5;C6;X9;D5\r\nDefaultDir=" + Folder() +
                         "dest\r\nCheckPrevVersion=0\r\nPromptInstallDir=0\r\nUnits.D6=units\\d6\r\n"
                         "[Help_Files]\r\ned.hlp=Editions Help\r\n";
    for (const char* code : {"D5", "D6", "C5", "C6"}) {
      const std::string pack = std::string("Orv") + code + (code[0] == 'D' ? ".dpk" : ".bpk");
      config += std::string("[Build_Packages.") + code + "]\r\n" + pack + "=Pack " + code + "\r\n";
      RemoveAfterTest(SystemDir() + "Orv" + code + ".bpl");
    }
    WriteFile("OrvSetup.ini", config);
    for (IdeEdition edition : kInstalled) {
      ides_.emplace_back(edition, Folder() + EditionCode(edition));
      WriteFile(EditionCode(edition) + "\\HELP\\" + HelpContentsFileName(edition), ":Base ide.hlp\r\n");
      WriteRegistryString(HKEY_CURRENT_USER, IdeUserKey(edition) + "Library", SearchPathValueName(edition),
                          "$(X)\\Lib;");
      WriteRegistryString(HKEY_CURRENT_USER, KnownPackagesKey(edition), "$(X)\\Bin\\dclstd.bpl", "Standard");
    }
  }

  // What the product changes in an edition: its search path, help contents, help file copy and built package.
  Texts EditionState(IdeEdition edition) const {
    const std::string root = Folder() + EditionCode(edition) + "\\HELP\\";
    const std::string package = SystemDir() + "Orv" + EditionCode(edition) + ".bpl";
    return {ReadRegistryString(HKEY_CURRENT_USER, IdeUserKey(edition) + "Library", SearchPathValueName(edition))
                .value_or("-"),
            ReadFileBytes(root + HelpContentsFileName(edition)), FileExists(root + "ed.hlp") ? "help" : "-",
            ReadRegistryString(HKEY_CURRENT_USER, KnownPackagesKey(edition), package).value_or("-")};
  }
  Texts Installed(IdeEdition edition, const std::string& units = "units", bool built = true) const {
    return {Folder() + "dest\\" + units + ";$(X)\\Lib;",
            ":Base ide.hlp\r\n:Include ed.cnt\r\n:Index Editions Help =ed.hlp\r\n", "help",
            built ? "Pack " + EditionCode(edition) : "-"};
  }
  static Texts Untouched() { return {"$(X)\\Lib;", ":Base ide.hlp\r\n", "-", "-"}; }
  // After a removal: a Known Packages entry stays, as it does for one edition.
  static Texts Withdrawn(Texts state) {
    state.pop_back();
    return state;
  }
  std::string DelphiVer() const {
    return ReadRegistryString(HKEY_LOCAL_MACHINE, UninstallEntryKeyPath(AppName()), kDelphiVerValue).value_or("-");
  }
  DWORD Remove() const {
    const DWORD exitCode = Run(CommandLine(Folder() + "dest\\uninstall.exe", {AppName(), "/VERYSILENT"}), {}).exitCode;
    EXPECT_TRUE(WaitFor([&] { return !FileExists(Folder() + "dest\\uninstall.exe"); }, kBatchWaitMs));
    return exitCode;
  }

  std::deque<FakeIde> ides_;
};

TEST_F(EditionsTest, UnattendedIntoEveryInstalledEditionAFailedBuildStopsNoOtherAndTheRemovalWithdrawsFromEach) {
  ides_[1].SetExitCode("dcc32", 2);
  ASSERT_EQ(Run(CommandLine(SetupPath(), {"/VERYSILENT", "/LOG=install.log"}), {}).exitCode, 0u);
  EXPECT_EQ(EditionState(ieDelphi5), Installed(ieDelphi5));
  EXPECT_EQ(EditionState(ieDelphi6), Installed(ieDelphi6, "units\\d6", false));
  EXPECT_EQ(EditionState(ieCppBuilder5), Installed(ieCppBuilder5));
  EXPECT_EQ(DelphiVer(), "D5;D6;C5");
  EXPECT_NE(ReadFileBytes(Folder() + "install.log").find("\"X9\" names no edition"), std::string::npos);
  EXPECT_EQ(Remove(), 0u);
  for (IdeEdition edition : kInstalled)
    EXPECT_EQ(Withdrawn(EditionState(edition)), Withdrawn(Untouched())) << EditionCode(edition);
}

TEST_F(EditionsTest, IdeSwitchChoosesAndARepeatedInstallationAddsItsEditions) {
  const std::string before = MachineState();
  EXPECT_EQ(Run(CommandLine(SetupPath(), {"/VERYSILENT", "/IDE=C6"}), {}).exitCode, 1u);
  EXPECT_EQ(Run(CommandLine(SetupPath(), {"/SILENT", "/IDE=D4"}), {}).exitCode, 1u);
  EXPECT_EQ(MachineState(), before);
  ASSERT_EQ(Run(CommandLine(SetupPath(), {"/VERYSILENT", "/IDE=d6"}), {}).exitCode, 0u);
  EXPECT_EQ(EditionState(ieDelphi5), Untouched());
  EXPECT_EQ(EditionState(ieDelphi6), Installed(ieDelphi6, "units\\d6"));
  EXPECT_EQ(EditionState(ieCppBuilder5), Untouched());
  EXPECT_EQ(DelphiVer(), "D6");
  ASSERT_EQ(Run(CommandLine(SetupPath(), {"/VERYSILENT", "/IDE=C5,D5"}), {}).exitCode, 0u);
  EXPECT_EQ(EditionState(ieDelphi5), Installed(ieDelphi5));
  EXPECT_EQ(EditionState(ieCppBuilder5), Installed(ieCppBuilder5));
  EXPECT_EQ(DelphiVer(), "D6;D5;C5");
  EXPECT_EQ(Remove(), 0u);
  for (IdeEdition edition : kInstalled)
    EXPECT_EQ(Withdrawn(EditionState(edition)), Withdrawn(Untouched())) << EditionCode(edition);
}

TEST_F(EditionsTest, TheUserChoosesInTheSelectIdesDialog) {
  const std::string before = MachineState();
  RunRecord run = Run(CommandLine(SetupPath(), {}), {Welcome(IDOK), Answer::Press(IDCANCEL).Caption("Select IDEs")});
  EXPECT_TRUE(run.Clean() && run.exitCode == 0) << FormatRunRecord(run);
  const std::vector<WindowRecord> questions = Questions(run);
  ASSERT_EQ(questions.size(), 2u);
  const WindowRecord& dialog = questions[1];
  // Check boxes make it a dialog, recorded with its controls, not a message box.
  EXPECT_EQ(WindowKindName(dialog.kind), WindowKindName(WindowKind::Dialog));
  Texts boxes;
  for (int id = IDC_IDE_FIRST; id < IDC_IDE_FIRST + 5; ++id) {
    const ControlRecord* box = dialog.Control(id);
    ASSERT_NE(box, nullptr) << id;
    boxes.push_back((box->style & WS_VISIBLE) == 0
                        ? "hidden"
                        : box->text + ((box->style & WS_DISABLED) ? ", disabled" : "") +
                              (box->checkState == BST_CHECKED     ? ", checked"
                               : box->checkState == BST_UNCHECKED ? ", unchecked"
                                                                  : ", check state unknown"));
  }
  EXPECT_EQ(boxes, (Texts{"Delphi 5, checked", "Delphi 6, checked", "C++ Builder 5, checked",
                          "C++ Builder 6 (not installed), disabled, unchecked", "hidden"}));
  EXPECT_NE(FormatRunRecord(run).find(" Button 0x50010003 [checked] Delphi 6\n"), std::string::npos)
      << FormatRunRecord(run);
  EXPECT_EQ(MachineState(), before);

  // C++Builder 5 unchecked.
  run = Run(CommandLine(SetupPath(), {}),
            {Welcome(IDOK), Answer::Press(IDOK).Caption("Select IDEs").WhileShown([](HWND window, const WindowRecord&) {
               SendMessageA(GetDlgItem(window, IDC_IDE_FIRST + 2), BM_CLICK, 0, 0);
             })});
  EXPECT_TRUE(run.Clean() && run.exitCode == 0) << FormatRunRecord(run);
  EXPECT_EQ(EditionState(ieDelphi5), Installed(ieDelphi5));
  EXPECT_EQ(EditionState(ieDelphi6), Installed(ieDelphi6, "units\\d6"));
  EXPECT_EQ(EditionState(ieCppBuilder5), Untouched());
  EXPECT_EQ(DelphiVer(), "D5;D6");
}
}  // namespace
