// End-to-end: whole installations. The sample product into a fake Delphi 5 and out again, a repeated installation
// under the same name, the program offered at the end, and the removal of the setup files.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "e2e_fixture.h"
#include "process_runner.h"
#include "registry.h"

namespace {
// Each line followed by CR LF, as list values and text files are written.
std::string Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

// What a shortcut file holds, as the shell's link object reads it back ("" for each part when it cannot be loaded).
struct ShellLinkContent {
  std::string path, description, workingFolder;
};
ShellLinkContent ReadShellLink(const std::string& linkFile) {
  ShellLinkContent content;
  ComApartment com;
  ComPtr<IShellLinkA> link;
  ComPtr<IPersistFile> file;
  std::wstring wide(linkFile.size() + 1, L'\0');
  MultiByteToWideChar(CP_ACP, 0, linkFile.c_str(), -1, &wide[0], static_cast<int>(wide.size()));
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, link.put_void())) ||
      FAILED(link->QueryInterface(IID_IPersistFile, file.put_void())) || FAILED(file->Load(wide.c_str(), STGM_READ)))
    return content;
  char buffer[3][MAX_PATH + 1] = {};
  link->GetPath(buffer[0], MAX_PATH, nullptr, SLGP_RAWPATH);
  link->GetDescription(buffer[1], MAX_PATH);
  link->GetWorkingDirectory(buffer[2], MAX_PATH);
  return {buffer[0], buffer[1], buffer[2]};
}

// The values of a key by name as numbers; a value of another type fails the test.
std::map<std::string, DWORD> RegistryDwords(HKEY root, const std::string& path) {
  std::map<std::string, DWORD> values;
  for (const RegistryValue& value : RegistryKey::Open(root, path, KEY_READ).Values()) {
    EXPECT_EQ(value.type, static_cast<DWORD>(REG_DWORD)) << path << " " << value.name;
    values[value.name] = value.data.size() == sizeof(DWORD) ? *reinterpret_cast<const DWORD*>(value.data.data()) : 0;
  }
  return values;
}

class SetupInstallTest : public SetupEndToEndTest {
 protected:
  // The lines of tests/e2e/sample_product.golden after "== <section>", up to the next section.
  static std::string Golden(const std::string& section) {
    const std::string text =
        ReadFileBytes(AddTrailingBackslash(WindowsPathFromUnix(EnvironmentValue("ORV_SOURCE_DIR"))) +
                      "tests\\e2e\\sample_product.golden");
    const std::string marker = "== " + section + "\n";
    const size_t begin = text.find(marker);
    if (begin == std::string::npos) return "(no section " + section + ")";
    const size_t end = text.find("\n== ", begin + marker.size() - 1);
    return text.substr(begin + marker.size(),
                       end == std::string::npos ? std::string::npos : end + 1 - begin - marker.size());
  }

  // The small product's configuration: the test's AppName, installed without questions into the folder given.
  std::string SmallConfiguration(const std::string& extraLines) const {
    return "[Application]\r\nAppName=" + AppName() + "\r\nVersion=1.0\r\nCheckPrevVersion=0\r\n" + extraLines;
  }
};

// The sample product into a fake Delphi 5, and removed again by the uninstaller started as Windows starts it: the
// questions, and what the machine holds after each program compared with tests/e2e/sample_product.golden (the
// registry the programs touch and the files below the test's folder, the Start menu and the system folder).
TEST_F(SetupInstallTest, SampleProductInstallsIntoDelphi5AndIsRemovedAgain) {
  const std::string appName = "Quillmark Marlin Components";
  ResetUninstallEntry(appName);
  FakeIde ide = MakeFakeDelphi5();
  CopyPayload("sample\\Data.rar", Folder() + "Data.rar");
  CopyPayload("sample\\OrvSetup.ini", Folder() + "OrvSetup.ini");
  for (const char* name : {"orvmarlin.dll", "OrvMarlin50.bpl"}) RemoveAfterTest(SystemDir() + name);
  for (const char* name : {"Marlin Readme.lnk", "Marlin Demo Notes.lnk"}) RemoveAfterTest(ProgramsFolder() + name);
  // A blank and a "%" in the destination: the uninstall command and the self-deleting batch must cope.
  const std::string root = Folder() + "Apps 100%";
  const std::string installDir = root + "\\Marlin Suite\\";
  const std::string before = MachineState();
  const std::vector<std::string> batchesBefore = BatchFiles(GetTempDir());

  RunRecord run = RunSetup({Welcome(IDOK), Destination(IDOK, StripTrailingBackslash(installDir)),
                            Welcome(IDCANCEL).Text("readme.txt"), Answer::Press(IDOK).Caption("Setup")});
  ASSERT_TRUE(run.Clean()) << FormatRunRecord(run);
  EXPECT_EQ(run.exitCode, 0u);
  const std::vector<WindowRecord> questions = Questions(run);
  ASSERT_EQ(questions.size(), 4u) << FormatRunRecord(run);
  ExpectMessageBox(questions[0], "Welcome!", expected::WelcomeText(appName + " Version 2.1"), IconKind::Information,
                   {IDOK, IDCANCEL});
  // Both programs switch the system's own error boxes off before anything else: none may wait for an answer.
  constexpr UINT kNoSystemBoxes = SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX;
  EXPECT_EQ(questions[0].errorMode, kNoSystemBoxes);
  // The destination dialog proposes the configured folder, its macro expanded.
  EXPECT_EQ(questions[1].caption, "Select Destination Directory");
  ASSERT_NE(questions[1].Control(1000), nullptr);
  EXPECT_EQ(questions[1].Control(1000)->text, ProgramFilesDir() + "Quillmark\\Marlin");
  ExpectMessageBox(questions[2], "Welcome!", "Would you like to run readme.txt right now?", IconKind::Information,
                   {IDOK, IDCANCEL});
  ExpectMessageBox(questions[3], "Setup", "Installation completed.", IconKind::Information, {IDOK});
  SYSTEMTIME today;
  GetLocalTime(&today);
  std::string installed = StateDifference(before, MachineState());
  ReplaceAll(installed, FormatText("%04u%02u%02u", today.wYear, today.wMonth, today.wDay), "<today>");
  // The size follows the uninstaller's, which changes with every build.
  const size_t size = installed.find("\"EstimatedSize\"=4:");
  if (size != std::string::npos) installed.replace(size + 18, installed.find('\n', size) - size - 18, "<kilobytes>");
  EXPECT_EQ(installed, Golden("installation"));

  // The removal, started in the installation folder, with a file that the archive restored read-only.
  ide.ClearRuns();
  ASSERT_TRUE(SetFileAttributesA((installDir + "readme.txt").c_str(), FILE_ATTRIBUTE_READONLY));
  RunRecord removal = RunProgram("\"" + installDir + "uninstall.exe\" \"" + appName + "\"", installDir,
                                 {ConfirmRemoval(appName)}, kRunTimeLimitMs);
  ASSERT_TRUE(removal.Clean()) << FormatRunRecord(removal);
  EXPECT_EQ(removal.exitCode, 0u);
  EXPECT_EQ(Questions(removal).front().errorMode, kNoSystemBoxes);
  // The folders that held the uninstaller go with the batch, after the program has ended.
  EXPECT_TRUE(WaitFor([&] { return !FolderExists(root); }, kBatchWaitMs))
      << ::testing::PrintToString(ListFolderTree(root));
  EXPECT_TRUE(WaitFor([&] { return BatchFiles(GetTempDir()) == batchesBefore; }, kBatchWaitMs));
  // Kept on purpose: the built package and the Known Packages values.
  EXPECT_EQ(StateDifference(before, MachineState()), Golden("removal"));
}

TEST_F(SetupInstallTest, RepeatedInstallationUnderTheSameNameMergesItsLists) {
  const std::string programs = ProgramsFolder();
  ASSERT_FALSE(programs.empty());
  // A shortcut name outside ASCII: the shortcut file is named in the ANSI code page.
  const std::string accented = "Notes \xE9t\xE9";
  RemoveAfterTest(programs + "Notes.lnk");
  RemoveAfterTest(programs + accented + ".lnk");
  CopyPayload("small\\Data.rar", Folder() + "Data.rar");
  const std::string installDir = Folder() + "Small\\";
  const std::string installFolder = StripTrailingBackslash(installDir);
  const std::string entry = UninstallEntryKeyPath(AppName());
  auto install = [&](const std::string& typedFolder) {
    RunRecord run = RunSetup({Welcome(IDOK), Destination(IDOK, typedFolder)});
    EXPECT_TRUE(run.Clean()) << FormatRunRecord(run);
    EXPECT_EQ(run.exitCode, 0u);
  };

  WriteFile("OrvSetup.ini", SmallConfiguration("[Links]\r\nNotes=docs\\readme.txt\r\n"));
  install(installFolder);
  // A shortcut points at the file name of its target in the destination, whatever folder the line named.
  const ShellLinkContent notes = ReadShellLink(programs + "Notes.lnk");
  EXPECT_EQ(notes.path, installDir + "readme.txt");
  EXPECT_EQ(notes.description, "Notes");
  EXPECT_EQ(notes.workingFolder, installDir);
  const std::vector<std::string> firstFiles = {installDir + "readme.txt", installDir + "tools\\ran.bat",
                                               installDir + "uninstall.exe", programs + "Notes.lnk"};
  const std::vector<std::string> firstFolders = {installFolder, installFolder + "\\tools"};
  ASSERT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, entry, kFilesValue), Lines(firstFiles));
  ASSERT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, entry, kFoldersValue), Lines(firstFolders));

  // The same folder typed in other letter case, with a second shortcut: only the shortcut is new, and only it is
  // counted, with readme.txt, whose counter a removal that stopped half-way took. The tools folder comes back under
  // the other spelling and is not listed twice.
  DeleteFolderTree(installDir + "tools");
  ASSERT_TRUE(RegistryKey::Open(HKEY_CURRENT_USER, kInstalledFilesKey).DeleteValue(installDir + "readme.txt"));
  WriteFile("OrvSetup.ini", SmallConfiguration("[Links]\r\nNotes=readme.txt\r\n" + accented + "=readme.txt\r\n"));
  std::string upperFolder = installFolder;
  CharUpperBuffA(&upperFolder[0], static_cast<DWORD>(upperFolder.size()));
  install(upperFolder);
  std::vector<std::string> files = firstFiles;
  files.push_back(programs + accented + ".lnk");
  EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, entry, kFilesValue), Lines(files));
  EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, entry, kFoldersValue), Lines(firstFolders));
  std::map<std::string, DWORD> counters;
  for (const std::string& file : files) counters[file] = 1;
  EXPECT_EQ(RegistryDwords(HKEY_CURRENT_USER, kInstalledFilesKey), counters);
  WIN32_FIND_DATAA found;
  UniqueFind link(FindFirstFileA((programs + accented + ".lnk").c_str(), &found));
  ASSERT_TRUE(link.valid()) << "no shortcut named " << accented << ".lnk";
  EXPECT_EQ(std::string(found.cFileName), accented + ".lnk");
  EXPECT_EQ(ReadShellLink(programs + accented + ".lnk").description, accented);
}

// Also: list lines of 100,000 characters match no file, and a shortcut whose name is too long for a path is neither
// made nor recorded; the installation completes all the same.
TEST_F(SetupInstallTest, ProgramOfferedAtTheEndStartsInTheDestination) {
  CopyPayload("small\\Data.rar", Folder() + "Data.rar");
  const std::string installDir = Folder() + "Small\\";
  const std::string huge(100000, 'n');
  WriteFile("OrvSetup.ini", SmallConfiguration("PromptInstallDir=0\r\nRunAfterInstall=tools\\ran.bat\r\nDefaultDir=" +
                                               installDir + "\r\n[System_Files]\r\n" + huge + "\r\n[Packages]\r\n" +
                                               huge + "=" + huge + "\r\n[Links]\r\n" + huge + "=readme.txt\r\n"));

  RunRecord run = RunSetup({Welcome(IDOK), Welcome(IDOK)});
  ASSERT_TRUE(run.Clean()) << FormatRunRecord(run);
  EXPECT_EQ(run.exitCode, 0u);
  ASSERT_EQ(Questions(run).size(), 2u) << FormatRunRecord(run);
  ExpectMessageBox(Questions(run)[1], "Welcome!", "Would you like to run tools\\ran.bat right now?",
                   IconKind::Information, {IDOK, IDCANCEL});

  // The program runs on after the setup has ended: it writes its current folder.
  const std::string marker = installDir + "ran.txt";
  WaitFor([&] { return !ReadFileBytes(marker).empty(); }, 10000);
  EXPECT_EQ(ReadFileBytes(marker), StripTrailingBackslash(installDir) + "\r\n");
  EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, UninstallEntryKeyPath(AppName()), kFilesValue),
            Lines({installDir + "readme.txt", installDir + "tools\\ran.bat", installDir + "uninstall.exe"}));
}

TEST_F(SetupInstallTest, SetupFilesAreDeletedWhereTheyWereFoundAndUsed) {
  // The setup program's folder holds the program, the library, the configuration and a stray uninstaller; the
  // archive is found in the current folder, next to files that only bear the setup files' names.
  const std::string vendor = Folder() + "vendor\\";
  const std::string work = Folder() + "work\\";
  const std::string installDir = Folder() + "Small\\";
  WriteFile("vendor\\OrvSetup.ini",
            SmallConfiguration("RunAfterInstall=1\r\nPromptInstallDir=0\r\nDefaultDir=" + installDir + "\r\n"));
  for (const char* name : {"orvsetup.exe", "uninstall.exe", "unrar.dll"})
    ASSERT_TRUE(CopyFileA((Folder() + name).c_str(), (vendor + name).c_str(), FALSE)) << name;
  for (const char* name : {"OrvSetup.ini", "uninstall.exe", "unrar.dll"}) WriteFile(std::string("work\\") + name, name);
  CopyPayload("small\\Data.rar", work + "Data.rar");
  CopyPayload("small\\Data.rar", vendor + "Data.rar");

  // The batch gives up after a bounded number of tries: it must not start while the program still waits for the user.
  std::vector<std::string> batchesWhileAsking = {"not looked at"};
  RunRecord run =
      RunSetup({Welcome(IDOK),
                Welcome(IDCANCEL).Text("Would you like to run 1 right now?").WhileShown([&](HWND, const WindowRecord&) {
                  batchesWhileAsking = BatchFiles(vendor);
                })},
               work, vendor + "orvsetup.exe");
  ASSERT_TRUE(run.Clean()) << FormatRunRecord(run);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_EQ(batchesWhileAsking, std::vector<std::string>());
  EXPECT_TRUE(FileExists(installDir + "uninstall.exe"));

  // The running program goes through the batch file once it has ended.
  WaitFor([&] { return !FileExists(vendor + "orvsetup.exe") && !FileExists(vendor + "$delme.bat"); }, kBatchWaitMs);
  EXPECT_EQ(ListFolderTree(vendor), std::vector<std::string>{"Data.rar"});
  EXPECT_EQ(ListFolderTree(work), (std::vector<std::string>{"OrvSetup.ini", "uninstall.exe", "unrar.dll"}));
  for (const char* name : {"OrvSetup.ini", "uninstall.exe", "unrar.dll"})
    EXPECT_EQ(ReadFileBytes(work + name), name) << name;

  // Installed into the setup's own folder, the uninstaller is an installed file and stays.
  WriteFile("OrvSetup.ini",
            SmallConfiguration("RunAfterInstall=1\r\nPromptInstallDir=0\r\nDefaultDir=" + Folder() + "\r\n"));
  CopyPayload("small\\Data.rar", Folder() + "Data.rar");
  run = RunSetup({Welcome(IDOK), Welcome(IDCANCEL)});
  ASSERT_TRUE(run.Clean()) << FormatRunRecord(run);
  WaitFor([&] { return !FileExists(SetupPath()) && !FileExists(Folder() + "$delme.bat"); }, kBatchWaitMs);
  for (const char* name : {"orvsetup.exe", "unrar.dll", "OrvSetup.ini", "Data.rar"})
    EXPECT_FALSE(FileExists(Folder() + name)) << name;
  EXPECT_TRUE(FileExists(Folder() + "uninstall.exe"));
  EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, UninstallEntryKeyPath(AppName()), kUninstallStringValue),
            "\"" + Folder() + "uninstall.exe\" \"" + AppName() + "\"");
}
}  // namespace
