// The process launchers and the self-deleting batch, run against small subject programs.
#include <windows.h>

#include <vector>

#include <gtest/gtest.h>

#include "e2e_support.h"
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

  std::string tempDir_;
  std::string savedTemp_;
};

// The result and the output text a run leaves, captured or not; the exit code of a crashed program has its highest
// bit set, and a program that cannot start gives the system's reason.
TEST_F(ProcessRunnerTest, CapturedOutputAndExitCodes) {
  // "true " or "false " for the result, then the output text.
  auto run = [&](const std::string& commandLine, bool capture, std::string output) {
    return (ExecuteAndCapture(commandLine, folder_.path(), output, capture) ? "true " : "false ") + output;
  };
  EXPECT_EQ((Texts{run(Subject(""), true, "before"),
                   run(Subject("--line first --line \"second line\" --exit 1"), true, "before"),
                   run(Subject("--exit 0xC0000005"), true, "before"), run(Subject("--line ignored"), false, "kept"),
                   run(Subject("--exit 4294967295"), false, "kept"),
                   run("\"" + folder_.path() + "missing.exe\" -q", true, "before")}),
            (Texts{"true ", "false Program failed with code (1)\r\nfirst\r\nsecond line\r\n",
                   "false Program failed with code (-1073741819)\r\n", "true kept",
                   "false Program failed with code (-1)\r\nkept",
                   "false " + Win32ErrorText(ERROR_FILE_NOT_FOUND) + ". ErrorCode=2"}));
  EXPECT_FALSE(Win32ErrorText(ERROR_FILE_NOT_FOUND).empty());
  EXPECT_EQ(FilesIn(tempDir_), 0);
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

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The self-deleting batch, with the temporary folder the test's own (see ProcessRunnerTest).
class SelfDeleteTest : public ProcessRunnerTest {
 protected:
  std::string Folder(const std::string& name) const {
    std::string folder = folder_.path() + name + "\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
  }
  // Writes the file with the attributes and opens it without any sharing: nobody can delete it while it is held.
  static UniqueFile Held(const std::string& path, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
    WriteFileBytes(path, "x");
    SetFileAttributesA(path.c_str(), attributes);
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_TRUE(file.valid()) << path;
    return file;
  }
};

// Read-only and hidden, a bare name (taken from the current folder), and a file whose empty folders go with it.
TEST_F(SelfDeleteTest, FileNotInUseIsDeletedAtOnce) {
  DeleteFileViaBatch(folder_.Write("plain.txt", "x"), BatchWriteErrors::Raise);
  std::string readOnly = folder_.Write("read only.txt", "x");
  ASSERT_TRUE(SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  DeleteFileViaBatch(readOnly, BatchWriteErrors::Ignore);

  folder_.Write("bare.txt", "x");
  std::string saved = CurrentFolder();
  ASSERT_TRUE(SetCurrentDirectoryA(folder_.path().c_str()));
  DeleteFileViaBatch("bare.txt", BatchWriteErrors::Raise);
  SetCurrentDirectoryA(saved.c_str());

  std::string outer = Folder("outer"), inner = Folder("outer\\inner");
  DeleteFileViaBatch(folder_.Write("outer\\inner\\last.txt", "x"), BatchWriteErrors::Raise,
                     {StripTrailingBackslash(inner), StripTrailingBackslash(outer)});
  EXPECT_EQ(ListFolderTree(folder_.path()), Texts{"temp\\"}) << "no batch either";
}

// Blanks and the characters cmd treats specially, and a letter that differs between the ANSI and OEM code pages.
// The folders around the program go after it, deepest first; one that holds anything else stays.
TEST_F(SelfDeleteTest, RunningProgramIsGoneAfterItEnds) {
  std::string outer = StripTrailingBackslash(Folder("outer & co"));
  std::string inner = StripTrailingBackslash(Folder("outer & co\\in%ner"));
  std::string kept = StripTrailingBackslash(Folder("kept"));
  std::string userFile = folder_.Write("kept\\user file.txt", "mine");
  const std::pair<std::string, std::string> cases[] = {{Folder("plain"), "raise"},
                                                       {Folder("a b%c&d^e!f (\xE9)"), "ignore"},
                                                       {Folder("100%% (x)%"), "raise"},
                                                       {inner + "\\", "raise \"" + inner + "\" \"" + outer + "\""},
                                                       {kept + "\\", "raise \"" + kept + "\""}};
  Texts programs;
  for (const auto& [folder, arguments] : cases) {
    std::string program = folder + "self delete.exe";
    ASSERT_TRUE(CopyFileA(HelperProgramPath("self_delete_subject.exe").c_str(), program.c_str(), FALSE)) << program;
    std::string output;
    EXPECT_TRUE(ExecuteAndCapture("\"" + program + "\" " + arguments, folder_.path(), output, false)) << output;
    programs.push_back(program);
  }
  for (const std::string& program : programs) {
    std::string batch = ExtractFilePath(program) + "$delme.bat";
    EXPECT_TRUE(WaitFor([&] { return !Exists(program) && !Exists(batch); }, 15000)) << program;
  }
  EXPECT_TRUE(WaitFor([&] { return !Exists(outer); }, 5000));
  EXPECT_EQ(ReadFileBytes(userFile), "mine");
  EXPECT_TRUE(WaitFor([&] { return FilesIn(tempDir_) == 0; }, 5000));
}

// Wine's del removes hidden files without being asked; Windows needs the batch's "/aH" line for them.
TEST_F(SelfDeleteTest, HiddenFileIsDeletedOnceReleased) {
  std::string path = Folder("hidden files") + "secret.dat";
  UniqueFile holder = Held(path, FILE_ATTRIBUTE_HIDDEN);
  DeleteFileViaBatch(path, BatchWriteErrors::Raise);
  std::string batch = folder_.path() + "hidden files\\$delme.bat";
  EXPECT_TRUE(Exists(batch) && Exists(path));
  holder.reset();
  EXPECT_TRUE(WaitFor([&] { return !Exists(path) && !Exists(batch); }, 10000));
}

// Three tries about a second apart.
TEST_F(SelfDeleteTest, BatchGivesUpOnAFileThatStaysInUse) {
  std::string path = folder_.path() + "locked.dat";
  UniqueFile holder = Held(path);
  std::string batch = folder_.path() + "$delme.bat";
  DWORD start = GetTickCount();
  DeleteFileViaBatch(path, BatchWriteErrors::Ignore, {}, 3);
  EXPECT_TRUE(Exists(batch));
  EXPECT_TRUE(WaitFor([&] { return !Exists(batch); }, 15000));
  EXPECT_GE(GetTickCount() - start, 1500u);
  EXPECT_TRUE(Exists(path));
}

// A folder named like the batch file makes its creation fail.
TEST_F(SelfDeleteTest, BatchThatCannotBeWritten) {
  std::string folder = Folder("blocked");
  ASSERT_TRUE(CreateDirectoryA((folder + "$delme.bat").c_str(), nullptr));
  std::string path = folder + "locked.dat";
  UniqueFile holder = Held(path);
  EXPECT_EQ(ErrorText([&] { DeleteFileViaBatch(path, BatchWriteErrors::Raise); }),
            "Cannot create file " + folder + "$delme.bat");
  EXPECT_NO_THROW(DeleteFileViaBatch(path, BatchWriteErrors::Ignore));
  EXPECT_TRUE(Exists(path));
}
}  // namespace
