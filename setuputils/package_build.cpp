// Package build: tool and options per IDE edition and file extension, then the product moved into place.
#include "package_build.h"

#include <windows.h>

#include "change_observer.h"
#include "path_utils.h"
#include "process_runner.h"
#include "setup_error.h"
#include "text_compare.h"

namespace {
bool IsEdition5Or6CppBuilder(IdeEdition edition) { return edition == ieCppBuilder5 || edition == ieCppBuilder6; }

std::string Quoted(const std::string& text) { return QuoteStr(text, '"'); }

// One line of tool output for a product that could not be placed.
std::string PlacementFailure(const std::string& built, const std::string& target, DWORD error) {
  std::string line = FormatText("Cannot move %s to %s", built.c_str(), target.c_str());
  std::string reason = Win32ErrorText(error);
  if (!reason.empty()) line += ". " + reason;
  return line + "\r\n";
}
}  // namespace

std::string PackageFileExt(IdeEdition edition) {
  switch (edition) {
    case ieDelphi2:
    case ieCppBuilder1:
      return "";
    case ieDelphi3:
      return ".dpl";
    default:
      return ".bpl";
  }
}

bool MoveBuildOutput(const std::string& work, const std::string& bareName, const std::string& outputDir,
                     const std::string& newExt, std::string& outputPath, std::string& toolOutput) {
  std::string built = ChangeFileExt(work, newExt);
  std::string target = AddTrailingBackslash(outputDir) + ChangeFileExt(bareName, newExt);
  // Registering a package that is not there would break the IDE's start.
  if (!FileExists(built)) {
    toolOutput += FormatText("Build output not found: %s", built.c_str()) + "\r\n";
    return false;
  }
  if (!SameTextLocale(built, target)) {
    PrepareFileForWriting(target);
    if (FileExists(target)) DeleteFileA(target.c_str());
    bool placed;
    if (!SameTextAscii(ExtractFileDrive(target), ExtractFileDrive(built))) {
      placed = CopyFileA(built.c_str(), target.c_str(), FALSE) != FALSE;
      if (placed) DeleteFileA(built.c_str());
    } else {
      placed = MoveFileA(built.c_str(), target.c_str()) != FALSE;
    }
    if (!placed) {
      const DWORD error = GetLastError();
      // The package that was there before must not go with the commit.
      RestoreUnwrittenFile(target);
      toolOutput += PlacementFailure(built, target, error);
      return false;
    }
  }
  outputPath = target;
  return true;
}

void DeleteBuildOutput(const std::string& work, const std::string& newExt) {
  DeleteFileA(ChangeFileExt(work, newExt).c_str());
}

bool BuildPackage(IdeEdition edition, const std::string& fileName, const std::string& outputDir,
                  const std::string& extraOptions, std::string& outputPath, std::string& toolOutput) {
  std::string work = fileName;
  std::string sourceDir = ExtractFilePath(fileName);
  std::string bareName = ExtractFileName(fileName);
  std::string ext = ExtractFileExt(fileName);
  std::string binDir = IdeRootDir(edition) + "Bin\\";

  // The tools write into the source's folder: what they leave there goes with the source when the installation is
  // undone.
  PrepareToolRun(sourceDir);
  std::string tool;
  std::string options;
  if (!IsCppBuilderEdition(edition)) {
    tool = "dcc32.exe";
    options = "-q -b";
  } else if (SameTextAscii(ext, ".pas") || SameTextAscii(ext, ".dpr")) {
    tool = "dcc32.exe";
    options = "-q -b -JPHN";
  } else {
    if (IsEdition5Or6CppBuilder(edition) && (SameTextAscii(ext, ".bpk") || SameTextAscii(ext, ".bpr"))) {
      // Its result is not looked at: a package may ship a usable makefile. What make really produced is checked
      // when the product is moved into place.
      ExecuteAndCapture(Quoted(binDir + "bpr2mak.exe") + " " + Quoted(fileName), sourceDir, toolOutput, true);
      work = ChangeFileExt(fileName, ".mak");
    }
    tool = "make.exe";
    options = "-B -f";
  }
  if (!extraOptions.empty()) options += " " + extraOptions;

  std::string commandLine = FormatText("\"%s\" %s \"%s\"", (binDir + tool).c_str(), options.c_str(), work.c_str());
  const bool ran = ExecuteAndCapture(commandLine, sourceDir, toolOutput, true);
  FinishToolRun(sourceDir);
  if (!ran) return false;

  bool placed = true;
  if (SameTextAscii(ext, ".pas")) {
    placed = MoveBuildOutput(work, bareName, outputDir, ".dcu", outputPath, toolOutput);
  } else if (SameTextAscii(ext, ".dpk")) {
    placed = MoveBuildOutput(work, bareName, outputDir, PackageFileExt(edition), outputPath, toolOutput);
    DeleteBuildOutput(work, ".dcu");
    DeleteBuildOutput(work, ".dcp");
  } else if (SameTextAscii(ext, ".bpk")) {
    placed = MoveBuildOutput(work, bareName, outputDir, PackageFileExt(edition), outputPath, toolOutput);
    DeleteBuildOutput(work, ".tds");
    DeleteBuildOutput(work, ".obj");
    if (IsEdition5Or6CppBuilder(edition)) DeleteBuildOutput(work, ".mak");
  } else if (SameTextAscii(ext, ".dpr")) {
    placed = MoveBuildOutput(work, bareName, outputDir, ".exe", outputPath, toolOutput);
  }
  return placed;
}
