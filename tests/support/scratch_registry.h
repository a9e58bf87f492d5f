// Test isolation: HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE redirected onto scratch keys for this process,
// and a scratch folder; both are removed again when the fixture ends.
#pragma once

#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "unique_handle.h"

class ScratchRegistry {
 public:
  ScratchRegistry();
  ~ScratchRegistry();
  ScratchRegistry(const ScratchRegistry&) = delete;
  ScratchRegistry& operator=(const ScratchRegistry&) = delete;

 private:
  std::string root_;
  UniqueKey currentUser_;
  UniqueKey localMachine_;
};

// A new empty folder below the temporary folder, deleted with everything in it at the end.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  // The folder with a trailing backslash.
  const std::string& path() const { return path_; }
  // Writes a file below the folder (creating its folders) and returns its full path.
  std::string Write(const std::string& relativePath, const std::string& content) const;

 private:
  std::string path_;
};

// Each test gets its own registry state and folder.
class IsolatedTest : public ::testing::Test {
 protected:
  ScratchRegistry registry_;
  ScratchFolder folder_;
};

// Reads a whole file as bytes ("" when missing).
std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& content);
// Deletes a folder with all its content.
void DeleteFolderTree(const std::string& path);
// A Windows path for a Unix path handed in through the environment (Z: maps the Unix root).
std::string WindowsPathFromUnix(const std::string& unixPath);
// An environment variable, or "".
std::string EnvironmentValue(const char* name);
