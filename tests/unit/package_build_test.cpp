// Package builds with the stand-in IDE tools: the command lines per edition and extension, and where the
// product ends up.
#include <gtest/gtest.h>

#include <windows.h>

#include "e2e_support.h"
#include "fake_ide.h"
#include "package_build.h"
#include "path_utils.h"
#include "scratch_registry.h"
#include "test_utils.h"
#include "unique_handle.h"

namespace {
bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class PackageBuildTest : public IsolatedTest {
 protected:
  PackageBuildTest() { CreateDirectoryA(OutputDir().c_str(), nullptr); }
  // A source file in the source folder (blank in its name, so quoting shows).
  std::string Source(const std::string& name) const { return folder_.Write("src dir\\" + name, "source\r\n"); }
  std::string SourceDir() const { return folder_.path() + "src dir\\"; }
  std::string OutputDir() const { return folder_.path() + "out\\"; }
};

// Each case in a folder of its own (with a blank in its name, so quoting shows) and with a fake IDE of its edition.
TEST_F(PackageBuildTest, ToolsOptionsAndProductsPerEditionAndExtension) {
  struct Case {
    IdeEdition edition;
    const char* file;
    const char* extraOptions;
    // The command lines run in the source's folder: {dcc32}, {make} and {bpr2mak} the quoted tools, {} the quoted
    // source, {mak} the quoted makefile next to it.
    Texts runs;
    const char* product;  // the extension of the product moved to the output folder; "" for a project
    // What stays next to the source: a makefile of the package's name already there (make alone must leave it) and
    // make's by-products of a ".dpk", whose build deletes only what dcc32 would leave.
    Texts left;
  };
  const std::string dcc32 = "{dcc32} -q -b {}", cppDcc32 = "{dcc32} -q -b -JPHN {}", make = "{make} -B -f {}";
  const Texts bpr2mak = {"{bpr2mak} {}", "{make} -B -f {mak}"};
  const Case cases[] = {
      {ieDelphi2, "Unit1.pas", "", {dcc32}, ".dcu", {}},
      {ieDelphi3, "MyPack.dpk", "", {dcc32}, ".dpl", {}},
      {ieDelphi4, "MyPack.dpk", "", {dcc32}, ".bpl", {}},
      {ieDelphi4, "Unit1.pas", "", {dcc32}, ".dcu", {}},
      {ieDelphi5, "Prog.dpr", "", {dcc32}, ".exe", {}},
      {ieDelphi6, "Pack.DPK", "-$D- -U\"C:\\Lib\"", {"{dcc32} -q -b -$D- -U\"C:\\Lib\" {}"}, ".bpl", {}},
      {ieCppBuilder1, "Unit1.PAS", "", {cppDcc32}, ".dcu", {}},
      {ieCppBuilder3, "Prog.dpr", "", {cppDcc32}, ".exe", {}},
      {ieCppBuilder3, "Pack.bpk", "", {make}, ".bpl", {"Pack.mak"}},
      {ieCppBuilder4, "Pack.bpk", "", {make}, ".bpl", {"Pack.mak"}},
      {ieCppBuilder4, "Pack.dpk", "", {make}, ".bpl", {"Pack.obj", "Pack.tds"}},
      {ieCppBuilder4, "Prog.bpr", "", {make}, "", {}},
      {ieCppBuilder5, "Pack.dpk", "", {make}, ".bpl", {"Pack.obj", "Pack.tds"}},
      {ieCppBuilder5, "My Pack.bpk", "", bpr2mak, ".bpl", {}},
      {ieCppBuilder6, "My Pack.bpk", "", bpr2mak, ".bpl", {}},
      {ieCppBuilder6, "Prog.bpr", "", bpr2mak, "", {}},
      {ieCppBuilder6, "Unit1.pas", "-v", {"{dcc32} -q -b -JPHN -v {}"}, ".dcu", {}},
  };
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(EditionCode(c.edition) + " " + c.file);
    const std::string folder = "src " + std::to_string(++index) + "\\";
    FakeIde ide(c.edition, folder_.path() + "Ide" + std::to_string(index));
    const std::string source = folder_.Write(folder + c.file, "source\r\n");
    for (const std::string& name : c.left)
      if (ExtractFileExt(name) == ".mak") folder_.Write(folder + name, "all:\r\n");
    std::string outputPath = "unchanged", toolOutput;
    EXPECT_TRUE(BuildPackage(c.edition, source, OutputDir(), c.extraOptions, outputPath, toolOutput)) << toolOutput;

    Texts expected, commandLines;
    for (std::string line : c.runs) {
      for (const auto& [field, value] :
           std::vector<std::pair<std::string, std::string>>{{"{dcc32}", ide.BinDir() + "dcc32.exe"},
                                                            {"{make}", ide.BinDir() + "make.exe"},
                                                            {"{bpr2mak}", ide.BinDir() + "bpr2mak.exe"},
                                                            {"{mak}", ChangeFileExt(source, ".mak")},
                                                            {"{}", source}})
        if (line.find(field) != std::string::npos) line.replace(line.find(field), field.size(), "\"" + value + "\"");
      expected.push_back(line);
    }
    const std::vector<FakeIde::ToolRun> runs = ide.Runs();
    for (const FakeIde::ToolRun& run : runs) {
      commandLines.push_back(run.commandLine);
      EXPECT_EQ(run.folder, StripTrailingBackslash(folder_.path() + folder));
    }
    EXPECT_EQ(commandLines, expected);
    // Only the captured output of the last tool is kept.
    ASSERT_FALSE(runs.empty());
    EXPECT_EQ(toolOutput.find("Fake " + runs.back().tool + ": "), 0u) << toolOutput;
    EXPECT_EQ(toolOutput.find("bpr2mak", 1), std::string::npos) << toolOutput;

    if (*c.product != '\0') {
      // The product moved to the output folder (replacing an earlier one), the by-products deleted.
      EXPECT_EQ(outputPath, OutputDir() + ChangeFileExt(c.file, c.product));
      EXPECT_PRED2(Contains, ReadFileBytes(outputPath), " from " + folder_.path() + folder);
      Texts left = c.left;
      left.insert(left.begin(), c.file);
      EXPECT_EQ(ListFolderTree(folder_.path() + folder), left);
    } else {
      // Nothing is moved or deleted for a project.
      EXPECT_EQ(outputPath, "unchanged");
      EXPECT_TRUE(FileExists(ChangeFileExt(source, ".exe")));
    }
  }
  EXPECT_EQ(PackageFileExt(ieDelphi2) + PackageFileExt(ieCppBuilder1), "");
}

TEST_F(PackageBuildTest, ProductPlacement) {
  FakeIde ide(ieDelphi5, folder_.path() + "Ide");
  std::string source = Source("Pack.dpk");
  std::string outputPath, toolOutput;

  // An older package at the target is replaced.
  std::string target = folder_.Write("out\\Pack.bpl", "old package");
  ASSERT_TRUE(BuildPackage(ieDelphi5, source, OutputDir(), "", outputPath, toolOutput)) << toolOutput;
  EXPECT_EQ(ReadFileBytes(target), "dcc32 built Pack.bpl from " + source + "\r\n");

  // The output folder may be the source folder (and lack its backslash): the product stays where it is.
  ASSERT_TRUE(BuildPackage(ieDelphi5, source, StripTrailingBackslash(SourceDir()), "", outputPath, toolOutput));
  EXPECT_EQ(outputPath, SourceDir() + "Pack.bpl");
  EXPECT_EQ(ListFolderTree(SourceDir()), (Texts{"Pack.bpl", "Pack.dpk"}));

  // Another drive (Z: maps the Unix root; the scratch folder is on C:): copied there, the product next to the
  // source deleted.
  const std::string otherDrive = WindowsPathFromUnix("/tmp/orv-package-" + std::to_string(GetCurrentProcessId()) + "-" +
                                                     std::to_string(GetTickCount())) +
                                 "\\";
  ASSERT_TRUE(CreateDirectoryA(otherDrive.c_str(), nullptr)) << otherDrive;
  auto removeOtherDrive = ScopeExit([&] { DeleteFolderTree(otherDrive); });
  ASSERT_TRUE(BuildPackage(ieDelphi5, source, otherDrive, "", outputPath, toolOutput)) << toolOutput;
  EXPECT_EQ(outputPath, otherDrive + "Pack.bpl");
  EXPECT_EQ(ReadFileBytes(outputPath), "dcc32 built Pack.bpl from " + source + "\r\n");
  EXPECT_EQ(ListFolderTree(SourceDir()), Texts{"Pack.dpk"});
}

TEST_F(PackageBuildTest, FailedBuildsReportFalseAndKeepOutputPath) {
  FakeIde ide(ieDelphi5, folder_.path() + "Ide");
  std::string source = Source("Pack.dpk");
  std::string outputPath = "unchanged", toolOutput;

  ide.SetExitCode("dcc32", 3);
  EXPECT_FALSE(BuildPackage(ieDelphi5, source, OutputDir(), "", outputPath, toolOutput));
  EXPECT_EQ(toolOutput, "Program failed with code (3)\r\nFake dcc32: " + source + "\r\nFake dcc32 fails as told\r\n");
  EXPECT_EQ(outputPath, "unchanged");

  // A tool that claims success but leaves no package: nothing may be registered.
  ide.SetExitCode("dcc32", 0);
  ide.SetProducesNothing("dcc32");
  EXPECT_FALSE(BuildPackage(ieDelphi5, source, OutputDir(), "", outputPath, toolOutput));
  EXPECT_PRED2(Contains, toolOutput, "Build output not found: " + SourceDir() + "Pack.bpl\r\n");
  EXPECT_EQ(outputPath, "unchanged");

  // A product that cannot be put in place (a folder holds the target's name).
  FakeIde other(ieDelphi6, folder_.path() + "Ide6");
  ASSERT_TRUE(CreateDirectoryA((OutputDir() + "Pack.bpl").c_str(), nullptr));
  EXPECT_FALSE(BuildPackage(ieDelphi6, source, OutputDir(), "", outputPath, toolOutput));
  EXPECT_PRED2(Contains, toolOutput, "Cannot move " + SourceDir() + "Pack.bpl to " + OutputDir() + "Pack.bpl");
  EXPECT_EQ(outputPath, "unchanged");

  // A failed conversion does not stop the build: make runs on the makefile the package ships, and only a package
  // that make really produced is reported.
  FakeIde builder(ieCppBuilder5, folder_.path() + "IdeC5");
  builder.SetExitCode("bpr2mak", 1);
  const std::string shipped = Source("Shipped.bpk");
  Source("Shipped.mak");
  EXPECT_TRUE(BuildPackage(ieCppBuilder5, shipped, OutputDir(), "", outputPath, toolOutput)) << toolOutput;
  ASSERT_EQ(builder.Runs().size(), 2u);
  EXPECT_EQ(outputPath, OutputDir() + "Shipped.bpl");
  outputPath = "unchanged";
  EXPECT_FALSE(BuildPackage(ieCppBuilder5, Source("Pack.bpk"), OutputDir(), "", outputPath, toolOutput));
  EXPECT_EQ(builder.Runs().size(), 4u);
  EXPECT_EQ(outputPath, "unchanged");

  // An edition that is not installed: the tool is looked for in a relative "Bin\" and not found.
  EXPECT_FALSE(BuildPackage(ieDelphi4, source, OutputDir(), "", outputPath, toolOutput));
  EXPECT_PRED2(Contains, toolOutput, "ErrorCode=2");
  EXPECT_EQ(outputPath, "unchanged");
}
}  // namespace
