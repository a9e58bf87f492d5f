// Product include files rewritten on disk from the unit sources next to them.
#include <windows.h>

#include <gtest/gtest.h>

#include "path_utils.h"
#include "product_includes.h"
#include "scratch_registry.h"
#include "string_list.h"
#include "test_utils.h"

namespace {
using ProductIncludesTest = IsolatedTest;

StringList Lines(const Texts& lines) {
  StringList list;
  for (const auto& line : lines) list.Add(line);
  return list;
}
}  // namespace

TEST(ProductIncludeLines, DefineLinesAndTheirSymbols) {
  const std::string none = "(not a define line)";
  Texts symbols;
  for (const char* line : {"{$DEFINE MARLIN}", " \t// \t{$define vheron} // note", "//{$DEFINE$A_1b}",
                           "{$DEFINE   X-Y}", "{$DEFINE}", "{$DEFINE", "", "{ $DEFINE MARLIN}", "(*$DEFINE MARLIN*)",
                           "/ {$DEFINE MARLIN}", "//// {$DEFINE MARLIN}", "{$IFDEF MARLIN}", "{$DEFIN"})
    symbols.push_back(ParseDefineLine(line).value_or(none));
  EXPECT_EQ(symbols, (Texts{"MARLIN", "vheron", "$A_1b", "X", "", "", none, none, none, none, none, none, none}));
  EXPECT_EQ(RemoveSpaces(" MAR LIN \t"), "MARLIN\t");
}

TEST_F(ProductIncludesTest, DefinesFollowTheUnitsInTheIncludeFolder) {
  std::string include = folder_.Write(
      "Lib\\orvprod.inc",
      "{$DEFINE MARLIN}\n// {$define vheron}\r{$DEFINE TESSERA} // note\r\n{$ENDIF}\r\n{$DEFINE TESSERA}\n");
  folder_.Write("Lib\\orvmarlin.pas", "unit orvmarlin;");
  folder_.Write("Lib\\VKHERON.PAS", "unit vkheron;");
  folder_.Write("orvtessera.pas", "unit orvtessera;");  // another folder: does not count
  StringList files = Lines({folder_.path() + "orvtessera.pas", include});
  const std::string expected =
      "  {$DEFINE MARLIN}\r\n  {$DEFINE vheron}\r\n//  {$DEFINE TESSERA}\r\n{$ENDIF}\r\n{$DEFINE TESSERA}\r\n";
  UpdateProductIncludes(files);
  EXPECT_EQ(ReadFileBytes(include), expected);
  UpdateProductIncludes(files);
  EXPECT_EQ(ReadFileBytes(include), expected);
}

TEST_F(ProductIncludesTest, OnlyAnExactEndifLineEndsTheScan) {
  std::string include = folder_.Write("prod.inc",
                                      "  {$ENDIF}\r\n{$DEFINE}\r\n{ $DEFINE MARLIN}\r\n(*$DEFINE MARLIN*)\r\n"
                                      "{$endif}\r\n//{$DEFINE MARLIN}\r\n");
  const std::string scanned =
      "  {$ENDIF}\r\n//  {$DEFINE }\r\n{ $DEFINE MARLIN}\r\n(*$DEFINE MARLIN*)\r\n{$endif}\r\n//{$DEFINE MARLIN}\r\n";
  UpdateIncludeFile("prod.inc", Lines({include}), ProductSymbols());
  EXPECT_EQ(ReadFileBytes(include), scanned);

  // Symbols of the table are compared without their spaces.
  ApplyDefines(include, {"MAR LIN"});
  EXPECT_EQ(ReadFileBytes(include), scanned);
  WriteFileBytes(include, "//{$DEFINE marlin}");
  ApplyDefines(include, {"MAR LIN"});
  EXPECT_EQ(ReadFileBytes(include), "  {$DEFINE marlin}\r\n");

  EXPECT_EQ(ErrorText([&] { ApplyDefines(folder_.path() + "missing.inc", {}); }),
            "Cannot open file " + folder_.path() + "missing.inc");
}

// Each include file follows the units of its own folder, and only the first listed one of a name; files outside the
// list are never touched.
TEST_F(ProductIncludesTest, EachIncludeFromItsOwnFolderOnlyTheFirstOneAndOnlyListedOnes) {
  std::string own = folder_.Write("A\\orvprod.inc", "{$DEFINE MARLIN}\r\n{$DEFINE VLOOM}\r\n");
  std::string second = folder_.Write("B\\orvprod.inc", "{$DEFINE MARLIN}\r\n");
  std::string prod = folder_.Write("C\\prod.inc", "{$DEFINE MARLIN}\r\n{$DEFINE VLOOM}\r\n");
  folder_.Write("A\\vkloom.pas", "");
  folder_.Write("B\\orvmarlin.pas", "");
  folder_.Write("C\\orvmarlin.pas", "");
  UpdateProductIncludes(Lines({prod, own, second}));
  EXPECT_EQ((Texts{ReadFileBytes(own), ReadFileBytes(second), ReadFileBytes(prod)}),
            (Texts{"//  {$DEFINE MARLIN}\r\n  {$DEFINE VLOOM}\r\n", "{$DEFINE MARLIN}\r\n",
                   "  {$DEFINE MARLIN}\r\n//  {$DEFINE VLOOM}\r\n"}));

  std::string stray = folder_.Write("orvprod.inc", "{$DEFINE MARLIN}\n");
  std::string listedButGone = folder_.path() + "Gone\\prod.inc";
  std::string before = CurrentFolder();
  ASSERT_TRUE(SetCurrentDirectoryA(folder_.path().c_str()));
  UpdateProductIncludes(Lines({folder_.path() + "orvmarlin.pas", listedButGone}));
  SetCurrentDirectoryA(before.c_str());
  EXPECT_EQ(ReadFileBytes(stray), "{$DEFINE MARLIN}\n");
  EXPECT_FALSE(FileExists(listedButGone));
}
