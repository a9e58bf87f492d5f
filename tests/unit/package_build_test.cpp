// Package builds with the stand-in IDE tools: the command lines per edition and extension, and where the
// product ends up.
#include <gtest/gtest.h>

#include <windows.h>

#include "fake_ide.h"
#include "mapped_drive.h"
#include "package_build.h"
#include "path_utils.h"
#include "scratch_registry.h"

namespace {
class PackageBuildTest : public IsolatedTest {
 protected:
  PackageBuildTest() {
    CreateDirectoryA((folder_.path() + "src dir").c_str(), nullptr);
    CreateDirectoryA((folder_.path() + "out").c_str(), nullptr);
  }
  // A source file in the source folder (blank in its name, so quoting shows).
  std::string Source(const std::string& name) const { return folder_.Write("src dir\\" + name, "source\r\n"); }
  std::string SourceDir() const { return folder_.path() + "src dir\\"; }
  std::string OutputDir() const { return folder_.path() + "out\\"; }
  static std::string Quoted(const std::string& text) { return "\"" + text + "\""; }
};

TEST_F(PackageBuildTest, ToolAndOptionsPerEditionAndExtension) {
  FakeIde ide(ieDelphi5, folder_.path() + "Ide");
  for (int i = 0; i < kEditionCount; ++i) ide.RegisterAs(static_cast<IdeEdition>(i));
  std::string dcc32 = Quoted(ide.BinDir() + "dcc32.exe");
  std::string make = Quoted(ide.BinDir() + "make.exe");
  struct Case {
    IdeEdition edition;
    const char* file;
    const char* extraOptions;
    std::string commandLine;  // with {} for the quoted source path
    const char* movedExt;     // "" when nothing is moved
  };
  const Case cases[] = {
      {ieDelphi2, "Unit1.pas", "", dcc32 + " -q -b {}", ".dcu"},
      {ieDelphi4, "Unit1.pas", "", dcc32 + " -q -b {}", ".dcu"},
      {ieDelphi5, "Prog.dpr", "", dcc32 + " -q -b {}", ".exe"},
      {ieDelphi6, "Pack.DPK", "-$D- -U\"C:\\Lib\"", dcc32 + " -q -b -$D- -U\"C:\\Lib\" {}", ".bpl"},
      {ieCppBuilder1, "Unit1.PAS", "", dcc32 + " -q -b -JPHN {}", ".dcu"},
      {ieCppBuilder3, "Prog.dpr", "", dcc32 + " -q -b -JPHN {}", ".exe"},
      {ieCppBuilder4, "Pack.dpk", "", make + " -B -f {}", ".bpl"},
      {ieCppBuilder3, "Pack.bpk", "", make + " -B -f {}", ".bpl"},
      {ieCppBuilder4, "Prog.bpr", "", make + " -B -f {}", ""},
      {ieCppBuilder5, "Pack.dpk", "", make + " -B -f {}", ".bpl"},
      {ieCppBuilder6, "Unit1.pas", "-v", dcc32 + " -q -b -JPHN -v {}", ".dcu"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(EditionCode(c.edition) + " " + c.file);
    std::string source = Source(c.file);
    ide.ClearRuns();
    std::string outputPath = "unchanged";
    std::string toolOutput;
    EXPECT_TRUE(BuildPackage(c.edition, source, OutputDir(), c.extraOptions, outputPath, toolOutput)) << toolOutput;

    std::vector<FakeIde::ToolRun> runs = ide.Runs();
    ASSERT_EQ(runs.size(), 1u);
    std::string expected = c.commandLine;
    expected.replace(expected.find("{}"), 2, Quoted(source));
    EXPECT_EQ(runs[0].commandLine, expected);
    EXPECT_EQ(runs[0].folder, StripTrailingBackslash(SourceDir()));
    EXPECT_NE(toolOutput.find("Fake " + runs[0].tool + ": " + source + "\r\n"), std::string::npos) << toolOutput;

    if (*c.movedExt != '\0') {
      std::string target = OutputDir() + ChangeFileExt(c.file, c.movedExt);
      EXPECT_EQ(outputPath, target);
      EXPECT_NE(ReadFileBytes(target), "");
      EXPECT_FALSE(FileExists(ChangeFileExt(source, c.movedExt)));
    } else {
      EXPECT_EQ(outputPath, "unchanged");
    }
    EXPECT_TRUE(FileExists(source));
  }
}

TEST_F(PackageBuildTest, DelphiPackageExtensionAndByProducts) {
  std::string source = Source("MyPack.dpk");
  const struct {
    IdeEdition edition;
    const char* ext;
  } editions[] = {{ieDelphi3, ".dpl"}, {ieDelphi4, ".bpl"}, {ieDelphi5, ".bpl"}, {ieDelphi6, ".bpl"}};
  for (const auto& e : editions) {
    SCOPED_TRACE(EditionCode(e.edition));
    FakeIde ide(e.edition, folder_.path() + "Ide" + EditionCode(e.edition));
    std::string outputPath;
    std::string toolOutput;
    ASSERT_TRUE(BuildPackage(e.edition, source, OutputDir(), "", outputPath, toolOutput)) << toolOutput;
    EXPECT_EQ(outputPath, OutputDir() + "MyPack" + e.ext);
    EXPECT_EQ(ReadFileBytes(outputPath), std::string("dcc32 built MyPack") + e.ext + " from " + source + "\r\n");
    EXPECT_EQ(PackageFileExt(e.edition), e.ext);
    for (const char* byProduct : {".dcu", ".dcp", ".dpl", ".bpl"})
      EXPECT_FALSE(FileExists(SourceDir() + "MyPack" + byProduct)) << byProduct;
  }
  EXPECT_EQ(PackageFileExt(ieDelphi2), "");
  EXPECT_EQ(PackageFileExt(ieCppBuilder1), "");
  EXPECT_EQ(PackageFileExt(ieCppBuilder3), ".bpl");
}

TEST_F(PackageBuildTest, CppBuilderPackagesGoThroughMake) {
  // C5 and C6: bpr2mak turns the package into a makefile first, which is deleted with the other by-products.
  for (IdeEdition edition : {ieCppBuilder5, ieCppBuilder6}) {
    SCOPED_TRACE(EditionCode(edition));
    FakeIde ide(edition, folder_.path() + "Ide" + EditionCode(edition));
    std::string source = Source("My Pack.bpk");
    std::string outputPath;
    std::string toolOutput;
    ASSERT_TRUE(BuildPackage(edition, source, OutputDir(), "", outputPath, toolOutput)) << toolOutput;
    std::vector<FakeIde::ToolRun> runs = ide.Runs();
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].commandLine, Quoted(ide.BinDir() + "bpr2mak.exe") + " " + Quoted(source));
    EXPECT_EQ(runs[0].folder, StripTrailingBackslash(SourceDir()));
    EXPECT_EQ(runs[1].commandLine, Quoted(ide.BinDir() + "make.exe") + " -B -f " + Quoted(SourceDir() + "My Pack.mak"));
    EXPECT_EQ(runs[1].folder, StripTrailingBackslash(SourceDir()));
    EXPECT_EQ(outputPath, OutputDir() + "My Pack.bpl");
    EXPECT_TRUE(FileExists(outputPath));
    for (const char* byProduct : {".tds", ".obj", ".mak", ".bpl"})
      EXPECT_FALSE(FileExists(SourceDir() + "My Pack" + byProduct)) << byProduct;
    // Only the captured output of the last tool is kept.
    EXPECT_EQ(toolOutput.find("bpr2mak"), std::string::npos) << toolOutput;
  }

  // C3 and C4: make takes the package itself, and a makefile of the same name is none of its business.
  for (IdeEdition edition : {ieCppBuilder3, ieCppBuilder4}) {
    SCOPED_TRACE(EditionCode(edition));
    FakeIde ide(edition, folder_.path() + "Ide" + EditionCode(edition));
    std::string source = Source("Pack.bpk");
    std::string makefile = Source("Pack.mak");
    std::string outputPath;
    std::string toolOutput;
    ASSERT_TRUE(BuildPackage(edition, source, OutputDir(), "", outputPath, toolOutput)) << toolOutput;
    std::vector<FakeIde::ToolRun> runs = ide.Runs();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].tool, "make");
    EXPECT_EQ(outputPath, OutputDir() + "Pack.bpl");
    EXPECT_TRUE(FileExists(makefile));
    EXPECT_FALSE(FileExists(SourceDir() + "Pack.tds"));
    EXPECT_FALSE(FileExists(SourceDir() + "Pack.obj"));
  }
}

TEST_F(PackageBuildTest, ProjectBuildsWithoutOutputPath) {
  FakeIde ide(ieCppBuilder6, folder_.path() + "Ide");
  std::string source = Source("Prog.bpr");
  std::string outputPath = "unchanged";
  std::string toolOutput;
  EXPECT_TRUE(BuildPackage(ieCppBuilder6, source, OutputDir(), "", outputPath, toolOutput)) << toolOutput;
  EXPECT_EQ(outputPath, "unchanged");
  std::vector<FakeIde::ToolRun> runs = ide.Runs();
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0].tool, "bpr2mak");
  EXPECT_EQ(runs[1].commandLine, Quoted(ide.BinDir() + "make.exe") + " -B -f " + Quoted(SourceDir() + "Prog.mak"));
  // Nothing is moved or deleted for a project.
  EXPECT_TRUE(FileExists(SourceDir() + "Prog.exe"));
  EXPECT_TRUE(FileExists(SourceDir() + "Prog.mak"));
}

TEST_F(PackageBuildTest, ProductPlacement) {
  FakeIde ide(ieDelphi5, folder_.path() + "Ide");
  std::string source = Source("Pack.dpk");
  std::string outputPath;
  std::string toolOutput;

  // An older package at the target is replaced.
  std::string target = folder_.Write("out\\Pack.bpl", "old package");
  ASSERT_TRUE(BuildPackage(ieDelphi5, source, OutputDir(), "", outputPath, toolOutput)) << toolOutput;
  EXPECT_EQ(ReadFileBytes(target), "dcc32 built Pack.bpl from " + source + "\r\n");

  // The output folder may be the source folder (and lack its backslash): the product stays where it is.
  ASSERT_TRUE(BuildPackage(ieDelphi5, source, StripTrailingBackslash(SourceDir()), "", outputPath, toolOutput));
  EXPECT_EQ(outputPath, SourceDir() + "Pack.bpl");
  EXPECT_TRUE(FileExists(outputPath));
  EXPECT_FALSE(FileExists(SourceDir() + "Pack.dcu"));

  // Another drive: copied there, and the product next to the source deleted.
  MappedDrive drive;
  ASSERT_TRUE(drive.valid());
  ASSERT_TRUE(BuildPackage(ieDelphi5, source, drive.root(), "", outputPath, toolOutput)) << toolOutput;
  EXPECT_EQ(outputPath, drive.root() + "Pack.bpl");
  EXPECT_EQ(ReadFileBytes(outputPath), "dcc32 built Pack.bpl from " + source + "\r\n");
  EXPECT_FALSE(FileExists(SourceDir() + "Pack.bpl"));
  EXPECT_FALSE(FileExists(SourceDir() + "Pack.dcp"));
}

TEST_F(PackageBuildTest, FailedBuildsReportFalseAndKeepOutputPath) {
  FakeIde ide(ieDelphi5, folder_.path() + "Ide");
  std::string source = Source("Pack.dpk");
  std::string outputPath = "unchanged";
  std::string toolOutput;

  ide.SetExitCode("dcc32", 3);
  EXPECT_FALSE(BuildPackage(ieDelphi5, source, OutputDir(), "", outputPath, toolOutput));
  EXPECT_EQ(toolOutput, "Program failed with code (3)\r\nFake dcc32: " + source + "\r\nFake dcc32 fails as told\r\n");
  EXPECT_EQ(outputPath, "unchanged");

  // A tool that claims success but leaves no package: nothing may be registered.
  ide.SetExitCode("dcc32", 0);
  ide.SetProducesNothing("dcc32");
  EXPECT_FALSE(BuildPackage(ieDelphi5, source, OutputDir(), "", outputPath, toolOutput));
  EXPECT_NE(toolOutput.find("Build output not found: " + SourceDir() + "Pack.bpl\r\n"), std::string::npos)
      << toolOutput;
  EXPECT_EQ(outputPath, "unchanged");

  // A product that cannot be put in place (a folder holds the target's name).
  FakeIde other(ieDelphi6, folder_.path() + "Ide6");
  ASSERT_TRUE(CreateDirectoryA((OutputDir() + "Pack.bpl").c_str(), nullptr));
  EXPECT_FALSE(BuildPackage(ieDelphi6, source, OutputDir(), "", outputPath, toolOutput));
  EXPECT_NE(toolOutput.find("Cannot move " + SourceDir() + "Pack.bpl to " + OutputDir() + "Pack.bpl"),
            std::string::npos)
      << toolOutput;
  EXPECT_EQ(outputPath, "unchanged");

  // A failed conversion stops the build before make runs on a stale makefile.
  FakeIde builder(ieCppBuilder5, folder_.path() + "IdeC5");
  Source("Pack.mak");
  builder.SetExitCode("bpr2mak", 1);
  EXPECT_FALSE(BuildPackage(ieCppBuilder5, Source("Pack.bpk"), OutputDir(), "", outputPath, toolOutput));
  ASSERT_EQ(builder.Runs().size(), 1u);
  EXPECT_EQ(toolOutput.substr(0, 30), "Program failed with code (1)\r\n");

  // An edition that is not installed: the tool is looked for in a relative "Bin\" and not found.
  EXPECT_FALSE(BuildPackage(ieDelphi4, source, OutputDir(), "", outputPath, toolOutput));
  EXPECT_NE(toolOutput.find("ErrorCode=2"), std::string::npos) << toolOutput;
  EXPECT_EQ(outputPath, "unchanged");
}
}  // namespace
