// The process launchers and the self-deleting batch, run against small subject programs.
#include <windows.h>

#include <vector>

#include <gtest/gtest.h>

#include "fake_ide.h"
#include "path_utils.h"
#include "process_runner.h"
#include "scratch_registry.h"
#include "self_delete.h"
#include "setup_error.h"
#include "test_utils.h"
#include "unique_handle.h"

namespace {
class ProcessRunnerTest : public IsolatedTest {
 protected:
  void SetUp() override {
    // The runner's capture files go into a temporary folder of the test's own, so leftovers show.
    tempDir_ = folder_.path() + "temp";
    ASSERT_TRUE(CreateDirectoryA(tempDir_.c_str(), nullptr));
    savedTemp_ = EnvironmentValue("TMP");
    SetEnvironmentVariableA("TMP", tempDir_.c_str());
  }
  void TearDown() override { SetEnvironmentVariableA("TMP", savedTemp_.empty() ? nullptr : savedTemp_.c_str()); }

  static std::string Subject(const std::string& arguments) {
    return QuoteStr(HelperProgramPath("runner_subject.exe"), '"') + " " + arguments;
  }
  int FilesInTempDir() const { return FilesIn(tempDir_); }

  std::string tempDir_;
  std::string savedTemp_;
};

TEST_F(ProcessRunnerTest, CapturedOutputAndExitCodes) {
  std::string output = "before";
  EXPECT_TRUE(ExecuteAndCapture(Subject(""), folder_.path(), output, true));
  EXPECT_EQ(output, "");

  output = "before";
  EXPECT_FALSE(
      ExecuteAndCapture(Subject("--line first --line \"second line\" --exit 1"), folder_.path(), output, true));
  EXPECT_EQ(output, "Program failed with code (1)\r\nfirst\r\nsecond line\r\n");

  // The exit code of a crashed program has its highest bit set.
  EXPECT_FALSE(ExecuteAndCapture(Subject("--exit 0xC0000005"), folder_.path(), output, true));
  EXPECT_EQ(output, "Program failed with code (-1073741819)\r\n");
  EXPECT_EQ(FilesInTempDir(), 0);
}

TEST_F(ProcessRunnerTest, WithoutCaptureOutputIsKeptOrFollowsTheFailureLine) {
  std::string output = "kept";
  EXPECT_TRUE(ExecuteAndCapture(Subject("--line ignored"), folder_.path(), output, false));
  EXPECT_EQ(output, "kept");
  EXPECT_FALSE(ExecuteAndCapture(Subject("--exit 4294967295"), folder_.path(), output, false));
  EXPECT_EQ(output, "Program failed with code (-1)\r\nkept");
  EXPECT_EQ(FilesInTempDir(), 0);
}

TEST_F(ProcessRunnerTest, MissingProgramGivesTheSystemReason) {
  std::string reason = Win32ErrorText(ERROR_FILE_NOT_FOUND);
  ASSERT_FALSE(reason.empty());
  std::string output = "before";
  EXPECT_FALSE(ExecuteAndCapture("\"" + folder_.path() + "missing.exe\" -q", folder_.path(), output, true));
  EXPECT_EQ(output, reason + ". ErrorCode=2");
  EXPECT_EQ(FilesInTempDir(), 0);
}

TEST_F(ProcessRunnerTest, RunProgramWaitsOnlyWhenAsked) {
  const std::string ended = folder_.path() + "ended";
  RunProgram(Subject("--sleep 300 --touch \"" + ended + "\""), true);
  EXPECT_TRUE(FileExists(ended)) << "returned before the program ended";
  // Without waiting: the call returns while the program holds on until the event is set.
  const std::string eventName = "OrvRunnerTest" + std::to_string(GetCurrentProcessId());
  UniqueKernelHandle event(CreateEventA(nullptr, TRUE, FALSE, eventName.c_str()));
  ASSERT_TRUE(event);
  ASSERT_TRUE(DeleteFileA(ended.c_str()));
  RunProgram(Subject("--wait-event " + eventName + " --touch \"" + ended + "\""), false);
  EXPECT_FALSE(FileExists(ended));
  SetEvent(event.get());
  EXPECT_TRUE(WaitFor([&] { return FileExists(ended); }, 10000));
  // A program that cannot start is not reported.
  RunProgram("\"" + folder_.path() + "missing.exe\"", true);
}

}  // namespace

namespace {
bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Opened without any sharing: nobody can delete it while the handle lives.
UniqueFile HoldOpen(const std::string& path) {
  return UniqueFile(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
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
    EXPECT_EQ(RunCommand("\"" + program + "\" " + c.mode), 0u) << program;
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
    EXPECT_EQ(RunCommand("\"" + program + "\" raise " + folders), 0u) << program;
    programs.push_back(program);
  }
  SetEnvironmentVariableA("TMP", savedTemp.empty() ? nullptr : savedTemp.c_str());

  for (const std::string& program : programs) {
    std::string batch = ExtractFilePath(program) + "$delme.bat";
    EXPECT_TRUE(WaitFor([&] { return !Exists(program) && !Exists(batch); }, 15000)) << program;
  }
  EXPECT_TRUE(WaitFor([&] { return !Exists(outer); }, 5000));
  EXPECT_EQ(ReadFileBytes(userFile), "mine");
  EXPECT_TRUE(WaitFor([&] { return FilesIn(tempDir) == 0; }, 5000));
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
  EXPECT_TRUE(Exists(path));
  holder.reset();
  EXPECT_TRUE(WaitFor([&] { return !Exists(path) && !Exists(batch); }, 10000));
}

TEST_F(SelfDeleteTest, BatchGivesUpOnAFileThatStaysInUse) {
  std::string path = folder_.Write("locked.dat", "x");
  UniqueFile holder = HoldOpen(path);
  ASSERT_TRUE(holder.valid());
  std::string batch = folder_.path() + "$delme.bat";
  DWORD start = GetTickCount();
  DeleteFileViaBatch(path, BatchWriteErrors::Ignore, {}, 3);
  EXPECT_TRUE(Exists(batch));
  EXPECT_TRUE(WaitFor([&] { return !Exists(batch); }, 15000));
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

  EXPECT_EQ(ErrorText([&] { DeleteFileViaBatch(path, BatchWriteErrors::Raise); }),
            "Cannot create file " + folder + "$delme.bat");
  EXPECT_NO_THROW(DeleteFileViaBatch(path, BatchWriteErrors::Ignore));
  EXPECT_TRUE(Exists(path));
}
}  // namespace
