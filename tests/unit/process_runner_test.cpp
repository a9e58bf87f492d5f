// The process launchers, run against a small subject program.
#include <gtest/gtest.h>

#include <windows.h>

#include "fake_ide.h"
#include "path_utils.h"
#include "process_runner.h"
#include "scratch_registry.h"
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

TEST_F(ProcessRunnerTest, ProgramRunsInTheGivenFolder) {
  std::string workDir = folder_.path() + "work folder";
  ASSERT_TRUE(CreateDirectoryA(workDir.c_str(), nullptr));
  std::string output;
  EXPECT_TRUE(ExecuteAndCapture(Subject("--cwd"), workDir, output, true));
  EXPECT_EQ(output, workDir + "\r\n");
  EXPECT_TRUE(ExecuteAndCapture(Subject("--cwd"), workDir + "\\", output, true));
  EXPECT_EQ(output, workDir + "\r\n");
}

int timerTicks = 0;

void CALLBACK CountTick(HWND, UINT, UINT_PTR, DWORD) {
  // The first tick also asks to quit, which must survive the wait.
  if (++timerTicks == 1) PostQuitMessage(7);
}

TEST_F(ProcessRunnerTest, MessagesAreProcessedWhileWaiting) {
  timerTicks = 0;
  UINT_PTR timer = SetTimer(nullptr, 0, 20, CountTick);
  ASSERT_NE(timer, 0u);
  std::string output;
  EXPECT_TRUE(ExecuteAndCapture(Subject("--sleep 600"), folder_.path(), output, true));
  KillTimer(nullptr, timer);
  EXPECT_GE(timerTicks, 3);

  MSG message;
  bool quitFound = false;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
    if (message.message == WM_QUIT) quitFound = message.wParam == 7;
  EXPECT_TRUE(quitFound);
}

TEST_F(ProcessRunnerTest, RunProgramWaitsOnlyWhenAsked) {
  DWORD start = GetTickCount();
  RunProgram(Subject("--sleep 700"), true);
  EXPECT_GE(GetTickCount() - start, 650u);
  start = GetTickCount();
  RunProgram(Subject("--sleep 3000"), false);
  EXPECT_LT(GetTickCount() - start, 2000u);
  // A program that cannot start is not reported.
  RunProgram("\"" + folder_.path() + "missing.exe\"", true);
}

TEST_F(ProcessRunnerTest, TemporaryFolderAndFileNames) {
  EXPECT_EQ(GetTempDir(), tempDir_);
  std::string name = MakeTempFileName("tempfile");
  EXPECT_EQ(ExtractFilePath(name), tempDir_ + "\\");
  EXPECT_EQ(ExtractFileName(name).substr(0, 3), "tem");
  EXPECT_TRUE(FileExists(name));
  EXPECT_EQ(ReadFileBytes(name), "");
  EXPECT_NE(MakeTempFileName("tempfile"), name);

  SetEnvironmentVariableA("TMP", "C:\\");
  EXPECT_EQ(GetTempDir(), "C:\\");
  SetEnvironmentVariableA("TMP", (folder_.path() + "no such folder").c_str());
  EXPECT_EQ(MakeTempFileName("tempfile"), "");
}
}  // namespace
