// The fake IDE installation and the helper programs' location.
#include "fake_ide.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "path_macros.h"
#include "path_utils.h"
#include "registry.h"
#include "scratch_registry.h"
#include "string_list.h"

std::string BuildPath(const std::string& relativePath) {
  std::string buildDir = EnvironmentValue("ORV_BUILD_DIR");
  if (buildDir.empty()) ADD_FAILURE() << "ORV_BUILD_DIR is not set";
  return AddTrailingBackslash(WindowsPathFromUnix(buildDir)) + relativePath;
}

std::string HelperProgramPath(const std::string& fileName) { return BuildPath("tests\\helpers\\" + fileName); }

FakeIde::FakeIde(IdeEdition edition, const std::string& rootDir) : root_(AddTrailingBackslash(rootDir)) {
  CreateDirectoryA(StripTrailingBackslash(root_).c_str(), nullptr);
  CreateDirectoryA(StripTrailingBackslash(BinDir()).c_str(), nullptr);
  std::string tool = BuildPath("tools\\fake-ide\\fake_tool.exe");
  for (const char* name : {"dcc32.exe", "bpr2mak.exe", "make.exe"})
    if (!CopyFileA(tool.c_str(), (BinDir() + name).c_str(), FALSE))
      ADD_FAILURE() << "cannot copy " << tool << " to " << BinDir() << name;
  if (edition == ieDelphi3)
    for (const char* name : {"dcc32", "bpr2mak", "make"}) SetControl(name, "PackageExt", ".dpl");
  RegistryKey key = RegistryKey::Create(HKEY_LOCAL_MACHINE, "Software\\Borland\\" + IdeRegistryKey(edition));
  if (!key.valid()) ADD_FAILURE() << "cannot create the key of " << EditionCode(edition);
  key.WriteString("RootDir", StripTrailingBackslash(root_));
}

std::vector<FakeIde::ToolRun> FakeIde::Runs() const {
  std::vector<ToolRun> runs;
  for (const std::string& line : SplitLines(ReadFileBytes(BinDir() + "tools.log"))) {
    size_t first = line.find('\t');
    size_t second = line.find('\t', first + 1);
    if (first == std::string::npos || second == std::string::npos) {
      ADD_FAILURE() << "malformed tool record: " << line;
      continue;
    }
    runs.push_back({line.substr(0, first), line.substr(first + 1, second - first - 1), line.substr(second + 1)});
  }
  return runs;
}

void FakeIde::ClearRuns() const { DeleteFileA((BinDir() + "tools.log").c_str()); }

void FakeIde::SetExitCode(const std::string& tool, unsigned long exitCode) const {
  SetControl(tool, "ExitCode", std::to_string(exitCode));
}

void FakeIde::SetProducesNothing(const std::string& tool) const { SetControl(tool, "Produce", "0"); }

void FakeIde::SetControl(const std::string& tool, const std::string& key, const std::string& value) const {
  if (!WritePrivateProfileStringA(tool.c_str(), key.c_str(), value.c_str(), (BinDir() + "fake_tools.ini").c_str()))
    ADD_FAILURE() << "cannot write the fake tools' control file";
}
