// End-to-end: whole installations. The sample product into a fake Delphi 5 with everything it leaves behind, a
// repeated installation under the same name, the program offered at the end, and the removal of the setup files.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "e2e_fixture.h"
#include "process_runner.h"
#include "rar_extraction.h"
#include "registry.h"
#include "text_compare.h"
#include "unrar_library.h"

namespace {
// Each line followed by CR LF, as list values and text files are written.
std::string Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

// Every entry of the archive in archive order (path, folder, size), read with the library the tests are given.
struct ArchiveEntry {
  std::string path;
  bool folder = false;
  long long size = 0;
};
std::vector<ArchiveEntry> ListArchive(const std::string& archive) {
  std::vector<ArchiveEntry> entries;
  LoadUnrarLibrary(WindowsPathFromUnix(EnvironmentValue("ORV_UNRAR_DLL")));
  auto unload = ScopeExit(UnloadUnrarLibrary);
  UniqueRarArchive handle(OpenRarArchive(archive, RAR_OM_LIST));
  RARHeaderData header;
  while (handle && ReadRarHeader(handle.get(), header) == ERAR_SUCCESS) {
    entries.push_back({RarEntryPath(header), IsRarFolderEntry(header), header.UnpSize});
    if (ProcessRarFile(handle.get(), RAR_SKIP, std::string(), std::string()) != ERAR_SUCCESS) break;
  }
  return entries;
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

// The values of a key by name, as text ("" for the default value) or as numbers; a value of another type fails the
// test.
std::map<std::string, std::string> RegistryStrings(HKEY root, const std::string& path) {
  std::map<std::string, std::string> values;
  for (const RegistryValue& value : RegistryKey::Open(root, path, KEY_READ).Values()) {
    EXPECT_EQ(value.type, static_cast<DWORD>(REG_SZ)) << path << " " << value.name;
    values[value.name] = RegistryDataToText(value.data);
  }
  return values;
}
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
  // The small product's configuration: the test's AppName, installed without questions into the folder given.
  std::string SmallConfiguration(const std::string& extraLines) const {
    return "[Application]\r\nAppName=" + AppName() + "\r\nVersion=1.0\r\nCheckPrevVersion=0\r\n" + extraLines;
  }
};

// The sample product into a fake Delphi 5 with everything it registers, and removed again by the uninstaller started
// as Windows starts it: the machine is as it was, apart from what is kept on purpose.
TEST_F(SetupInstallTest, SampleProductInstallsIntoDelphi5AndIsRemovedAgain) {
  const std::string appName = "Quillmark Marlin Components";
  ResetUninstallEntry(appName);
  FakeIde ide = MakeFakeDelphi5();
  CopyPayload("sample\\Data.rar", Folder() + "Data.rar");
  CopyPayload("sample\\OrvSetup.ini", Folder() + "OrvSetup.ini");
  const std::string systemDir = SystemDir();
  const std::string programs = ProgramsFolder();
  ASSERT_FALSE(programs.empty());
  for (const char* name : {"orvmarlin.dll", "OrvMarlin50.bpl"}) RemoveAfterTest(systemDir + name);
  for (const char* name : {"Marlin Readme.lnk", "Marlin Demo Notes.lnk"}) RemoveAfterTest(programs + name);
  // A blank and a "%" in the destination: the uninstall command and the self-deleting batch must cope.
  const std::string root = Folder() + "Apps 100%";
  const std::string installDir = root + "\\Marlin Suite\\";
  const std::string helpDir = ide.root() + "HELP\\";
  const std::string registryBefore = RegistrySnapshot();
  const std::vector<std::string> filesBefore = ListFolderTree(Folder());
  const std::vector<std::string> programsBefore = ListFolderTree(programs);
  const std::vector<std::string> batchesBefore = BatchFiles(GetTempDir());

  SetupRun run = RunSetup({Welcome(IDOK), Destination(IDOK, StripTrailingBackslash(installDir)),
                           Welcome(IDCANCEL).Text("readme.txt"), Answer::Press(IDOK).Caption("Setup")});
  ASSERT_TRUE(run.record.Clean()) << FormatRunRecord(run.record);
  EXPECT_EQ(run.record.exitCode, 0u);
  const std::vector<WindowRecord> questions = run.Questions();
  ASSERT_EQ(questions.size(), 4u) << FormatRunRecord(run.record);
  ExpectMessageBox(questions[0], "Welcome!", WelcomeText(appName + " Version 2.1"), IconKind::Information,
                   {IDOK, IDCANCEL});

  // The destination dialog proposes the configured folder, its macro expanded.
  EXPECT_EQ(WindowKindName(questions[1].kind), WindowKindName(WindowKind::Dialog));
  EXPECT_EQ(questions[1].caption, "Select Destination Directory");
  std::vector<std::string> controls;
  for (const ControlRecord& control : questions[1].controls)
    controls.push_back(std::to_string(control.id) + " " + control.className + " " + control.text);
  EXPECT_EQ(controls,
            (std::vector<std::string>{"1000 Edit " + ProgramFilesDir() + "Quillmark\\Marlin", "1 Button OK",
                                      "2 Button Cancel", "65535 Static Destination Directory:", "3 Button Browse..."}));
  ExpectMessageBox(questions[2], "Welcome!", "Would you like to run readme.txt right now?", IconKind::Information,
                   {IDOK, IDCANCEL});
  ExpectMessageBox(questions[3], "Setup", "Installation completed.", IconKind::Information, {IDOK});

  // The progress dialog: the greeting, entries' paths inside the archive (their order and pace are the extraction
  // unit tests' matter), the last entry with the bar full, then the package build.
  const std::vector<ArchiveEntry> entries = ListArchive(Folder() + "Data.rar");
  ASSERT_FALSE(entries.empty());
  long long total = 0;
  for (const ArchiveEntry& entry : entries) total += entry.size;
  EXPECT_EQ(run.progress.dialogs, std::vector<std::string>{"Installing files"});
  const std::vector<std::string>& texts = run.progress.texts;
  ASSERT_GE(texts.size(), 3u) << ::testing::PrintToString(texts);
  EXPECT_EQ(texts.front(), "Starting setup. Please wait...");
  EXPECT_EQ(texts.back(), "Building Delphi 5 packages...");
  EXPECT_EQ(texts[texts.size() - 2], entries.back().path);
  EXPECT_EQ(run.progress.rangeMinimum, 0);
  EXPECT_EQ(run.progress.rangeMaximum, total);
  ASSERT_FALSE(run.progress.positions.empty());
  EXPECT_TRUE(std::is_sorted(run.progress.positions.begin(), run.progress.positions.end()))
      << ::testing::PrintToString(run.progress.positions);
  EXPECT_EQ(run.progress.positions.back(), total);

  // Where each file of the archive went: the system file into the system folder, the help files into the IDE's
  // help folder, the rest below the destination.
  const std::map<std::string, std::string> destinations = {
      {"bin\\OrvTools50.bpl", installDir + "bin\\OrvTools50.bpl"},
      {"bin\\orvmarlin.dll", systemDir + "orvmarlin.dll"},
      {"demo\\marlindemo.txt", installDir + "demo\\marlindemo.txt"},
      {"help\\orvmarlin.cnt", helpDir + "orvmarlin.cnt"},
      {"help\\orvmarlin.hlp", helpDir + "orvmarlin.hlp"},
      {"readme.txt", installDir + "readme.txt"},
      {"source\\OrvMarlin50.dpk", installDir + "source\\OrvMarlin50.dpk"},
      {"units\\orvmarlin.pas", installDir + "units\\orvmarlin.pas"},
      {"units\\orvprod.inc", installDir + "units\\orvprod.inc"},
      {"units\\vkheron.pas", installDir + "units\\vkheron.pas"},
      {"uninstall.exe", installDir + "uninstall.exe"}};
  std::vector<std::string> files;
  for (const ArchiveEntry& entry : entries) {
    if (entry.folder) continue;
    auto found = destinations.find(entry.path);
    ASSERT_NE(found, destinations.end()) << "unexpected archive entry " << entry.path;
    files.push_back(found->second);
  }
  ASSERT_EQ(files.size(), destinations.size());
  files.push_back(programs + "Marlin Readme.lnk");
  files.push_back(programs + "Marlin Demo Notes.lnk");
  const std::string installFolder = StripTrailingBackslash(installDir);
  // The missing parents outermost first, then the archive's folders.
  std::vector<std::string> folders = {root, installFolder};
  for (const char* folder : {"bin", "demo", "help", "source", "units"}) folders.push_back(installDir + folder);

  const std::map<std::string, std::string> expectedEntry = {
      {"ProductName", "Marlin"},
      {"SubProductName", "Grid;Charts"},
      {"Files", Lines(files)},
      {"Folders", Lines(folders)},
      {"RegKeys", ""},
      {"AppName", appName},
      {"DelphiVer", "D5"},
      {"DisplayName", appName},
      {"UninstallString", "\"" + installDir + "uninstall.exe\" \"" + appName + "\""},
      {"Version", "2.1"},
      {"InstalledPaths", installDir + "units"},
      {"InstalledHelps", "orvmarlin.hlp\r\n"}};
  EXPECT_EQ(RegistryStrings(HKEY_LOCAL_MACHINE, UninstallEntryPath(appName)), expectedEntry);

  std::map<std::string, DWORD> expectedCounters;
  for (const std::string& file : files) expectedCounters[file] = 1;
  EXPECT_EQ(RegistryDwords(HKEY_CURRENT_USER, kInstalledFilesKey), expectedCounters);
  const std::map<std::string, std::string> expectedProduct = {
      {"Version", "2.1"}, {"FolderName", installFolder}, {"Grid", ""}, {"Charts", ""}};
  EXPECT_EQ(RegistryStrings(HKEY_CURRENT_USER, std::string(kInstalledProductsKey) + "\\Marlin"), expectedProduct);

  // The package source was compiled in its folder; the package went into the system folder and the by-products
  // were deleted. Both packages are known to the IDE next to its own.
  const std::vector<FakeIde::ToolRun> runs = ide.Runs();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].tool, "dcc32");
  EXPECT_EQ(runs[0].folder, installDir + "source");
  EXPECT_EQ(runs[0].commandLine,
            "\"" + ide.BinDir() + "dcc32.exe\" -q -b \"" + installDir + "source\\OrvMarlin50.dpk\"");
  EXPECT_TRUE(FileExists(systemDir + "OrvMarlin50.bpl"));
  const std::map<std::string, std::string> expectedPackages = {
      {kDelphiOwnPackage, kDelphiOwnPackageDescription},
      {systemDir + "OrvMarlin50.bpl", "Quillmark Marlin Components"},
      {installDir + "bin\\OrvTools50.bpl", "Quillmark Marlin Tools"}};
  EXPECT_EQ(RegistryStrings(HKEY_CURRENT_USER, kDelphiKnownPackagesKey), expectedPackages);

  EXPECT_EQ(ReadRegistryString(HKEY_CURRENT_USER, kDelphiLibraryKey, "Search Path"),
            installDir + "units;" + kDelphiSearchPath);
  EXPECT_EQ(
      ReadFileBytes(helpDir + "delphi5.cnt"),
      std::string(kDelphiHelpLines) + ":Include orvmarlin.cnt\r\n:Index Marlin Components Help =orvmarlin.hlp\r\n");

  // Below the destination: the recorded folders and files that went there, and nothing else.
  std::vector<std::string> installed;
  for (size_t index = 2; index < folders.size(); ++index)
    installed.push_back(folders[index].substr(installDir.size()) + "\\");
  for (const std::string& file : files)
    if (file.compare(0, installDir.size(), installDir) == 0) installed.push_back(file.substr(installDir.size()));
  std::sort(installed.begin(), installed.end(),
            [](const std::string& a, const std::string& b) { return CompareTextLocale(a, b) < 0; });
  EXPECT_EQ(ListFolderTree(installDir), installed);
  EXPECT_EQ(ListFolderTree(helpDir), (std::vector<std::string>{"delphi5.cnt", "orvmarlin.cnt", "orvmarlin.hlp"}));
  const std::string payload = AddTrailingBackslash(WindowsPathFromUnix(EnvironmentValue("ORV_SOURCE_DIR"))) +
                              "tools\\sample-product\\payload\\";
  EXPECT_EQ(ReadFileBytes(systemDir + "orvmarlin.dll"), ReadFileBytes(payload + "bin\\orvmarlin.dll"));

  // The include file switches on the symbols of the units beside it and comments out every other one.
  EXPECT_EQ(ReadFileBytes(installDir + "units\\orvprod.inc"),
            Lines({"{ Product symbols: the setup switches these on for the units installed beside this file. }",
                   "{$IFNDEF ORVPROD}", "  {$DEFINE MARLIN}", "//  {$DEFINE TESSERA}", "  {$DEFINE vheron}",
                   "//  {$DEFINE VLOOM}", "{$ENDIF}", "{$DEFINE AFTER_ENDIF}"}));

  // The shortcuts point at the file name of their target in the destination, whatever folder the line named.
  ShellLinkContent readme = ReadShellLink(programs + "Marlin Readme.lnk");
  EXPECT_EQ(readme.path, installDir + "readme.txt");
  EXPECT_EQ(readme.description, "Marlin Readme");
  EXPECT_EQ(readme.workingFolder, installDir);
  ShellLinkContent demo = ReadShellLink(programs + "Marlin Demo Notes.lnk");
  EXPECT_EQ(demo.path, installDir + "marlindemo.txt");
  EXPECT_EQ(demo.description, "Marlin Demo Notes");

  // The removal, started in the installation folder, with a file that the archive restored read-only.
  ide.ClearRuns();
  ASSERT_TRUE(SetFileAttributesA((installDir + "readme.txt").c_str(), FILE_ATTRIBUTE_READONLY));
  RunRecord removal =
      RunProgram(expectedEntry.at("UninstallString"), installDir, {ConfirmRemoval(appName)}, kRunTimeLimitMs);
  ASSERT_TRUE(removal.Clean()) << FormatRunRecord(removal);
  EXPECT_EQ(removal.exitCode, 0u);
  // The folders that held the uninstaller go with the batch, after the program has ended.
  EXPECT_TRUE(WaitFor([&] { return !FolderExists(root); }, kBatchWaitMs))
      << ::testing::PrintToString(ListFolderTree(root));
  EXPECT_TRUE(WaitFor([&] { return BatchFiles(GetTempDir()) == batchesBefore; }, kBatchWaitMs));
  EXPECT_EQ(ListFolderTree(Folder()), filesBefore);
  EXPECT_EQ(ListFolderTree(programs), programsBefore);
  EXPECT_EQ(ReadFileBytes(helpDir + "delphi5.cnt"), kDelphiHelpLines);
  EXPECT_FALSE(FileExists(systemDir + "orvmarlin.dll"));
  // Kept on purpose: the built package and the Known Packages values; without them the registry is as before.
  EXPECT_TRUE(FileExists(systemDir + "OrvMarlin50.bpl"));
  RegistryKey knownPackages = RegistryKey::Open(HKEY_CURRENT_USER, kDelphiKnownPackagesKey);
  for (const auto& package : expectedPackages) {
    EXPECT_EQ(knownPackages.ReadString(package.first), package.second);
    if (package.first != kDelphiOwnPackage) knownPackages.DeleteValue(package.first);
  }
  knownPackages.Close();
  EXPECT_EQ(RegistrySnapshot(), registryBefore);
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
  const std::string entry = UninstallEntryPath(AppName());
  auto install = [&](const std::string& typedFolder) {
    SetupRun run = RunSetup({Welcome(IDOK), Destination(IDOK, typedFolder)});
    EXPECT_TRUE(run.record.Clean()) << FormatRunRecord(run.record);
    EXPECT_EQ(run.record.exitCode, 0u);
  };

  WriteFile("OrvSetup.ini", SmallConfiguration("[Links]\r\nNotes=readme.txt\r\n"));
  install(installFolder);
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

  // Another folder: its files and folders follow the earlier ones.
  const std::string otherDir = Folder() + "Other\\";
  install(StripTrailingBackslash(otherDir));
  for (const char* name : {"readme.txt", "tools\\ran.bat", "uninstall.exe"}) {
    files.push_back(otherDir + name);
    counters[otherDir + name] = 1;
  }
  const std::vector<std::string> folders = {installFolder, installFolder + "\\tools", StripTrailingBackslash(otherDir),
                                            otherDir + "tools"};
  EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, entry, kFilesValue), Lines(files));
  EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, entry, kFoldersValue), Lines(folders));
  EXPECT_EQ(RegistryDwords(HKEY_CURRENT_USER, kInstalledFilesKey), counters);
  EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, entry, kUninstallStringValue),
            "\"" + otherDir + "uninstall.exe\" \"" + AppName() + "\"");
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

  SetupRun run = RunSetup({Welcome(IDOK), Welcome(IDOK)});
  ASSERT_TRUE(run.record.Clean()) << FormatRunRecord(run.record);
  EXPECT_EQ(run.record.exitCode, 0u);
  ASSERT_EQ(run.Questions().size(), 2u) << FormatRunRecord(run.record);
  EXPECT_EQ(run.progress.dialogs, std::vector<std::string>{"Installing files"});
  ExpectMessageBox(run.Questions()[1], "Welcome!", "Would you like to run tools\\ran.bat right now?",
                   IconKind::Information, {IDOK, IDCANCEL});

  // The program runs on after the setup has ended: it writes its current folder.
  const std::string marker = installDir + "ran.txt";
  WaitFor([&] { return !ReadFileBytes(marker).empty(); }, 10000);
  EXPECT_EQ(ReadFileBytes(marker), StripTrailingBackslash(installDir) + "\r\n");
  // Nothing but the destination and the test's own files in the setup's folder: no setup file was deleted.
  for (const char* name : {"orvsetup.exe", "uninstall.exe", "unrar.dll", "OrvSetup.ini", "Data.rar"})
    EXPECT_TRUE(FileExists(Folder() + name)) << name;
  EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, UninstallEntryPath(AppName()), kFilesValue),
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
  SetupRun run =
      RunSetup({Welcome(IDOK),
                Welcome(IDCANCEL).Text("Would you like to run 1 right now?").WhileShown([&](HWND, const WindowRecord&) {
                  batchesWhileAsking = BatchFiles(vendor);
                })},
               {}, work, vendor + "orvsetup.exe");
  ASSERT_TRUE(run.record.Clean()) << FormatRunRecord(run.record);
  EXPECT_EQ(run.record.exitCode, 0u);
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
  ASSERT_TRUE(run.record.Clean()) << FormatRunRecord(run.record);
  WaitFor([&] { return !FileExists(SetupPath()) && !FileExists(Folder() + "$delme.bat"); }, kBatchWaitMs);
  for (const char* name : {"orvsetup.exe", "unrar.dll", "OrvSetup.ini", "Data.rar"})
    EXPECT_FALSE(FileExists(Folder() + name)) << name;
  EXPECT_TRUE(FileExists(Folder() + "uninstall.exe"));
  EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, UninstallEntryPath(AppName()), kUninstallStringValue),
            "\"" + Folder() + "uninstall.exe\" \"" + AppName() + "\"");
}
}  // namespace
