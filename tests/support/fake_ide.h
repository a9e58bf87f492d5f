// A fake IDE installation for tests: a root folder whose "Bin\" holds the stand-in command-line tools
// (copies of tools/fake-ide/fake_tool.exe named dcc32.exe, bpr2mak.exe and make.exe), registered as RootDir.
#pragma once

#include <string>
#include <vector>

#include "ide_editions.h"

// Full path of a file below the build folder (found through ORV_BUILD_DIR), e.g. "tools\driver\orvdriver.exe".
std::string BuildPath(const std::string& relativePath);
// Full path of a helper program built in <build>\tests\helpers.
std::string HelperProgramPath(const std::string& fileName);

class FakeIde {
 public:
  // One run of a fake tool as it recorded itself.
  struct ToolRun {
    std::string tool;    // "dcc32", "bpr2mak" or "make"
    std::string folder;  // its current folder
    std::string commandLine;
  };

  // Makes rootDir (with or without a trailing backslash) and its "Bin\" with the tools, and writes rootDir as
  // RootDir of the edition under HKEY_LOCAL_MACHINE (the scratch one inside an IsolatedTest). Like the real
  // compilers, the fake dcc32 of Delphi 3 makes ".dpl" packages and every other one ".bpl".
  FakeIde(IdeEdition edition, const std::string& rootDir);

  const std::string& root() const { return root_; }  // with a trailing backslash
  std::string BinDir() const { return root_ + "Bin\\"; }

  // The runs recorded so far, oldest first.
  std::vector<ToolRun> Runs() const;
  void ClearRuns() const;
  // Controls of a tool ("dcc32", "bpr2mak", "make"): fail with an exit code and produce nothing, or report
  // success and produce nothing.
  void SetExitCode(const std::string& tool, unsigned long exitCode) const;
  void SetProducesNothing(const std::string& tool) const;

 private:
  void SetControl(const std::string& tool, const std::string& key, const std::string& value) const;
  std::string root_;
};
