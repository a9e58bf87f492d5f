// Deleting files through "$delme.bat": at once when possible, after the owner lets go, and never forever.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <vector>

#include "fake_ide.h"
#include "path_utils.h"
#include "scratch_registry.h"
#include "self_delete.h"
#include "setup_error.h"
#include "unique_handle.h"

namespace {
// Polls the condition every 100 ms until it holds or the time is up.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  while (!condition()) {
    if (GetTickCount() - start > timeoutMs) return false;
    Sleep(100);
  }
  return true;
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

int FilesIn(const std::string& folder) {
  int count = 0;
  WIN32_FIND_DATAA data;
  UniqueFind find(FindFirstFileA((folder + "\\*").c_str(), &data));
  if (find) {
    do {
      if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) ++count;
    } while (FindNextFileA(find.get(), &data));
  }
  return count;
}

// Opened without any sharing: nobody can delete it while the handle lives.
UniqueFile HoldOpen(const std::string& path) {
  return UniqueFile(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
}

// Runs a program to its end and returns its exit code.
DWORD RunToEnd(const std::string& commandLine) {
  std::vector<char> command(commandLine.begin(), commandLine.end());
  command.push_back('\0');
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started))
    return GetLastError() | 0x80000000u;
  UniqueKernelHandle process(started.hProcess);
  UniqueKernelHandle thread(started.hThread);
  WaitForSingleObject(process.get(), INFINITE);
  DWORD exitCode = 0;
  GetExitCodeProcess(process.get(), &exitCode);
  return exitCode;
}

class SelfDeleteTest : public IsolatedTest {
 protected:
  std::string Folder(const std::string& name) const {
    std::string folder = folder_.path() + name + "\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
  }
};

TEST_F(SelfDeleteTest, FileNotInUseIsDeletedAtOnce) {
  std::string plain = folder_.Write("plain.txt", "x");
  DeleteFileViaBatch(plain, BatchWriteErrors::Raise);
  EXPECT_FALSE(Exists(plain));

  std::string readOnly = folder_.Write("read only.txt", "x");
  ASSERT_TRUE(SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  DeleteFileViaBatch(readOnly, BatchWriteErrors::Ignore);
  EXPECT_FALSE(Exists(readOnly));

  // A bare name is taken from the current folder.
  std::string bare = folder_.Write("bare.txt", "x");
  std::string saved = CurrentFolder();
  ASSERT_TRUE(SetCurrentDirectoryA(folder_.path().c_str()));
  DeleteFileViaBatch("bare.txt", BatchWriteErrors::Raise);
  SetCurrentDirectoryA(saved.c_str());
  EXPECT_FALSE(Exists(bare));

  // The folders go with the file when they are empty.
  std::string outer = Folder("outer");
  std::string inner = Folder("outer\\inner");
  std::string last = folder_.Write("outer\\inner\\last.txt", "x");
  DeleteFileViaBatch(last, BatchWriteErrors::Raise, {StripTrailingBackslash(inner), StripTrailingBackslash(outer)});
  EXPECT_FALSE(Exists(outer));

  EXPECT_FALSE(Exists(folder_.path() + "$delme.bat"));
}

TEST_F(SelfDeleteTest, RunningProgramIsGoneAfterItEnds) {
  // Blanks and the characters cmd treats specially, and a letter that differs between the ANSI and OEM code pages.
  const struct {
    const char* folder;
    const char* mode;
  } cases[] = {{"plain", "raise"}, {"a b%c&d^e!f (\xE9)", "ignore"}, {"100%% (x)%", "raise"}};
  std::vector<std::string> programs;
  for (const auto& c : cases) {
    std::string program = Folder(c.folder) + "self delete.exe";
    ASSERT_TRUE(CopyFileA(HelperProgramPath("self_delete_subject.exe").c_str(), program.c_str(), FALSE)) << program;
    EXPECT_EQ(RunToEnd("\"" + program + "\" " + c.mode), 0u) << program;
    programs.push_back(program);
  }

  // The folders around the program go after it, deepest first; one that holds anything else stays. The batch then
  // lives in the temporary folder, the test's own here.
  std::string tempDir = StripTrailingBackslash(Folder("temp"));
  std::string savedTemp = EnvironmentValue("TMP");
  SetEnvironmentVariableA("TMP", tempDir.c_str());
  std::string outer = StripTrailingBackslash(Folder("outer & co"));
  std::string inner = StripTrailingBackslash(Folder("outer & co\\in%ner"));
  std::string kept = StripTrailingBackslash(Folder("kept"));
  std::string userFile = folder_.Write("kept\\user file.txt", "mine");
  for (const std::string& folder : {inner, kept}) {
    std::string program = folder + "\\self delete.exe";
    ASSERT_TRUE(CopyFileA(HelperProgramPath("self_delete_subject.exe").c_str(), program.c_str(), FALSE)) << program;
    std::string folders = folder == inner ? "\"" + inner + "\" \"" + outer + "\"" : "\"" + kept + "\"";
    EXPECT_EQ(RunToEnd("\"" + program + "\" raise " + folders), 0u) << program;
    programs.push_back(program);
  }
  SetEnvironmentVariableA("TMP", savedTemp.empty() ? nullptr : savedTemp.c_str());

  for (const std::string& program : programs) {
    std::string batch = ExtractFilePath(program) + "$delme.bat";
    EXPECT_TRUE(WaitUntil([&] { return !Exists(program) && !Exists(batch); }, 15000)) << program;
  }
  EXPECT_TRUE(WaitUntil([&] { return !Exists(outer); }, 5000));
  EXPECT_EQ(ReadFileBytes(userFile), "mine");
  EXPECT_TRUE(WaitUntil([&] { return FilesIn(tempDir) == 0; }, 5000));
}

// Wine's del removes hidden files without being asked; Windows needs the batch's "/aH" line for them.
TEST_F(SelfDeleteTest, HiddenFileIsDeletedOnceReleased) {
  std::string path = Folder("hidden files") + "secret.dat";
  WriteFileBytes(path, "x");
  ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_HIDDEN));
  UniqueFile holder = HoldOpen(path);
  ASSERT_TRUE(holder.valid());
  DeleteFileViaBatch(path, BatchWriteErrors::Raise);
  std::string batch = folder_.path() + "hidden files\\$delme.bat";
  EXPECT_TRUE(Exists(batch));
  Sleep(500);
  EXPECT_TRUE(Exists(path));
  holder.reset();
  EXPECT_TRUE(WaitUntil([&] { return !Exists(path) && !Exists(batch); }, 10000));
}

TEST_F(SelfDeleteTest, BatchGivesUpOnAFileThatStaysInUse) {
  std::string path = folder_.Write("locked.dat", "x");
  UniqueFile holder = HoldOpen(path);
  ASSERT_TRUE(holder.valid());
  std::string batch = folder_.path() + "$delme.bat";
  DWORD start = GetTickCount();
  DeleteFileViaBatch(path, BatchWriteErrors::Ignore, {}, 3);
  EXPECT_TRUE(Exists(batch));
  EXPECT_TRUE(WaitUntil([&] { return !Exists(batch); }, 15000));
  // Three tries about a second apart.
  EXPECT_GE(GetTickCount() - start, 1500u);
  EXPECT_TRUE(Exists(path));
}

TEST_F(SelfDeleteTest, BatchThatCannotBeWritten) {
  // A folder named like the batch file makes its creation fail.
  std::string folder = Folder("blocked");
  ASSERT_TRUE(CreateDirectoryA((folder + "$delme.bat").c_str(), nullptr));
  std::string path = folder + "locked.dat";
  WriteFileBytes(path, "x");
  UniqueFile holder = HoldOpen(path);
  ASSERT_TRUE(holder.valid());

  try {
    DeleteFileViaBatch(path, BatchWriteErrors::Raise);
    ADD_FAILURE() << "no error raised";
  } catch (const SetupError& error) {
    EXPECT_STREQ(error.what(), ("Cannot create file " + folder + "$delme.bat").c_str());
  }
  EXPECT_NO_THROW(DeleteFileViaBatch(path, BatchWriteErrors::Ignore));
  EXPECT_TRUE(Exists(path));
}
}  // namespace
