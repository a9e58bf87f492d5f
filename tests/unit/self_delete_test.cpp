// Deleting files through "$delme.bat": at once when possible, after the owner lets go, and never forever.
#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "fake_ide.h"
#include "path_utils.h"
#include "scratch_registry.h"
#include "self_delete.h"
#include "setup_error.h"
#include "test_utils.h"
#include "unique_handle.h"

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
  Sleep(500);
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
