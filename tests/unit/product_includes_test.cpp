// Product include files rewritten on disk from the unit sources next to them.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

#include "path_utils.h"
#include "product_includes.h"
#include "scratch_registry.h"
#include "test_utils.h"
#include "setup_error.h"
#include "string_list.h"
#include "text_compare.h"

namespace {
using ProductIncludesTest = IsolatedTest;

StringList Lines(const std::vector<std::string>& lines) {
  StringList list;
  for (const auto& line : lines) list.Add(line);
  return list;
}
}  // namespace

TEST(ProductIncludeLines, DefineLinesAndTheirSymbols) {
  struct Case {
    const char* line;
    const char* symbol;  // nullptr: not a define line
  };
  const Case cases[] = {
      {"{$DEFINE MARLIN}", "MARLIN"},
      {" \t// \t{$define vheron} // note", "vheron"},
      {"//{$DEFINE$A_1b}", "$A_1b"},
      {"{$DEFINE   X-Y}", "X"},
      {"{$DEFINE}", ""},
      {"{$DEFINE", ""},
      {"", nullptr},
      {"{ $DEFINE MARLIN}", nullptr},
      {"(*$DEFINE MARLIN*)", nullptr},
      {"/ {$DEFINE MARLIN}", nullptr},
      {"//// {$DEFINE MARLIN}", nullptr},
      {"{$IFDEF MARLIN}", nullptr},
      {"{$DEFIN", nullptr},
  };
  for (const auto& c : cases) {
    auto symbol = ParseDefineLine(c.line);
    if (c.symbol == nullptr)
      EXPECT_FALSE(symbol.has_value()) << c.line;
    else
      EXPECT_EQ(symbol.value_or("(none)"), c.symbol) << c.line;
  }
  EXPECT_EQ(RemoveSpaces(" MAR LIN \t"), "MARLIN\t");
}

TEST(ProductIncludeLines, InstalledFileIsTheFirstWithThatName) {
  StringList files = Lines({"C:\\A\\xorvprod.inc", "C:\\B\\ORVPROD.INC", "C:\\C\\orvprod.inc"});
  EXPECT_EQ(FindInstalledFile("orvprod.inc", files).value_or("(none)"), "C:\\B\\ORVPROD.INC");
  EXPECT_FALSE(FindInstalledFile("prod.inc", files).has_value());
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
  UpdateIncludeFile("prod.inc", Lines({include}), ProductSymbols());
  EXPECT_EQ(ReadFileBytes(include),
            "  {$ENDIF}\r\n//  {$DEFINE }\r\n{ $DEFINE MARLIN}\r\n(*$DEFINE MARLIN*)\r\n{$endif}\r\n"
            "//{$DEFINE MARLIN}\r\n");

  // Symbols of the table are compared without their spaces.
  ApplyDefines(include, {"MAR LIN"});
  EXPECT_EQ(ReadFileBytes(include),
            "  {$ENDIF}\r\n//  {$DEFINE }\r\n{ $DEFINE MARLIN}\r\n(*$DEFINE MARLIN*)\r\n{$endif}\r\n"
            "//{$DEFINE MARLIN}\r\n");
  WriteFileBytes(include, "//{$DEFINE marlin}");
  ApplyDefines(include, {"MAR LIN"});
  EXPECT_EQ(ReadFileBytes(include), "  {$DEFINE marlin}\r\n");

  EXPECT_EQ(ErrorText([&] { ApplyDefines(folder_.path() + "missing.inc", {}); }),
            "Cannot open file " + folder_.path() + "missing.inc");
}

TEST_F(ProductIncludesTest, EachIncludeFromItsOwnFolderAndOnlyTheFirstOne) {
  std::string own = folder_.Write("A\\orvprod.inc", "{$DEFINE MARLIN}\r\n{$DEFINE VLOOM}\r\n");
  std::string second = folder_.Write("B\\orvprod.inc", "{$DEFINE MARLIN}\r\n");
  std::string prod = folder_.Write("C\\prod.inc", "{$DEFINE MARLIN}\r\n{$DEFINE VLOOM}\r\n");
  folder_.Write("A\\vkloom.pas", "");
  folder_.Write("B\\orvmarlin.pas", "");
  folder_.Write("C\\orvmarlin.pas", "");
  UpdateProductIncludes(Lines({prod, own, second}));
  EXPECT_EQ(ReadFileBytes(own), "//  {$DEFINE MARLIN}\r\n  {$DEFINE VLOOM}\r\n");
  EXPECT_EQ(ReadFileBytes(second), "{$DEFINE MARLIN}\r\n");
  EXPECT_EQ(ReadFileBytes(prod), "  {$DEFINE MARLIN}\r\n//  {$DEFINE VLOOM}\r\n");
}

TEST_F(ProductIncludesTest, FilesOutsideTheListAreNeverTouched) {
  std::string stray = folder_.Write("orvprod.inc", "{$DEFINE MARLIN}\n");
  std::string listedButGone = folder_.path() + "Gone\\prod.inc";
  std::string before = CurrentFolder();
  ASSERT_TRUE(SetCurrentDirectoryA(folder_.path().c_str()));
  UpdateProductIncludes(Lines({folder_.path() + "orvmarlin.pas", listedButGone}));
  SetCurrentDirectoryA(before.c_str());
  EXPECT_EQ(ReadFileBytes(stray), "{$DEFINE MARLIN}\n");
  EXPECT_FALSE(FileExists(listedButGone));
}

namespace {
// One line of a random include file, made so that what the rewrite must do with it is known: the symbol of a define
// line (nullopt for every other line) and whether it is an exact "{$ENDIF}" line.
struct IncludeLine {
  std::string text;
  std::optional<std::string> symbol;
  bool endif = false;
};

IncludeLine RandomIncludeLine(std::mt19937& random) {
  auto pick = [&random](size_t count) { return std::uniform_int_distribution<size_t>(0, count - 1)(random); };
  static const std::vector<std::string> symbols = {"ALPHA", "alpha",  "BETA", "BetaMesh", "GAMMA",
                                                   "OTHER", "ALPHA2", "$X_1", ""};
  static const std::vector<std::string> leads = {"", "  ", "\t", "//", "// ", " \t//\t", "//  "};
  static const std::vector<std::string> defines = {"{$DEFINE", "{$define", "{$Define"};
  static const std::vector<std::string> tails = {"}", "} // note", "", "-Y}", " }"};
  static const std::vector<std::string> others = {"",
                                                  "   ",
                                                  "unit orvprod;",
                                                  "{$IFDEF MARLIN}",
                                                  "{ $DEFINE MARLIN}",
                                                  "(*$DEFINE MARLIN*)",
                                                  "/ {$DEFINE MARLIN}",
                                                  "//// {$DEFINE VHERON}",
                                                  "  {$ENDIF}",
                                                  "{$ENDIF} // end",
                                                  "{$DEFIN MARLIN}",
                                                  "\xC4nderung {$DEFINE MARLIN}"};
  IncludeLine line;
  switch (pick(8)) {
    case 0:
      line.text = pick(2) == 0 ? "{$ENDIF}" : "{$endif}";
      line.endif = true;
      break;
    case 1:
    case 2:
    case 3: {
      const std::string& symbol = symbols[pick(symbols.size())];
      // A symbol needs a separator from "{$DEFINE" only when the tail would run on into it.
      line.text = leads[pick(leads.size())] + defines[pick(defines.size())] + (pick(2) == 0 ? " " : "  ") + symbol +
                  tails[pick(tails.size())];
      line.symbol = symbol;
      break;
    }
    default:
      line.text = others[pick(others.size())];
  }
  return line;
}
}  // namespace

// Random include files: the rewrite turns exactly the define lines before the first "{$ENDIF}" into one of the two
// forms, leaves every other line as it was (only line breaks become CR LF), changes nothing when run again, and an
// installation followed by its removal gives the input with every define commented out.
TEST_F(ProductIncludesTest, RandomIncludeFilesChangeOnlyTheirDefines) {
  // Products of the test's own: unit name and symbol.
  const std::vector<std::string> products = {"unita=ALPHA", "unitb=BETA", "betamesh=BETAMESH", "unitc=GAMMA"};
  std::mt19937 random(20261207);
  auto pick = [&random](size_t count) { return std::uniform_int_distribution<size_t>(0, count - 1)(random); };
  const std::string include = folder_.Write("Lib\\orvprod.inc", "");
  const StringList installed = Lines({folder_.path() + "Lib\\readme.txt", include});

  for (int round = 0; round < 200; ++round) {
    SCOPED_TRACE(round);
    std::vector<IncludeLine> lines;
    for (size_t count = pick(12); count > 0; --count) lines.push_back(RandomIncludeLine(random));
    std::string text;
    for (size_t i = 0; i < lines.size(); ++i) {
      text += lines[i].text;
      static const char* const breaks[] = {"\r\n", "\r", "\n"};
      bool afterCr = !text.empty() && text.back() == '\r';
      if (i + 1 < lines.size() || lines[i].text.empty() || pick(2) == 0) text += breaks[pick(afterCr ? 2 : 3)];
    }
    WriteFileBytes(include, text);
    std::vector<std::string> present;
    for (const std::string& product : products) {
      const std::string unit = folder_.path() + "Lib\\" + NamePart(product) + ".pas";
      DeleteFileA(unit.c_str());
      if (pick(2) == 0) {
        WriteFileBytes(unit, "unit;");
        present.push_back(ValuePart(product));
      }
    }
    // The file as it must read with these symbols active.
    auto expected = [&](const std::vector<std::string>& active) {
      std::string result;
      bool scanning = true;
      for (const IncludeLine& line : lines) {
        if (line.endif) scanning = false;
        if (!scanning || !line.symbol) {
          result += line.text + "\r\n";
          continue;
        }
        bool on = false;
        for (const std::string& symbol : active) on = on || SameTextAscii(symbol, *line.symbol);
        result += (on ? "  {$DEFINE " : "//  {$DEFINE ") + *line.symbol + "}\r\n";
      }
      return result;
    };

    UpdateIncludeFile("orvprod.inc", installed, products);
    EXPECT_EQ(ReadFileBytes(include), expected(present));
    UpdateIncludeFile("orvprod.inc", installed, products);
    EXPECT_EQ(ReadFileBytes(include), expected(present));

    // The removal: the units are gone, the include file is still counted by another installation.
    for (const std::string& product : products)
      DeleteFileA((folder_.path() + "Lib\\" + NamePart(product) + ".pas").c_str());
    UpdateIncludeFile("orvprod.inc", installed, products);
    EXPECT_EQ(ReadFileBytes(include), expected({}));
    if (HasFailure()) break;
  }
}
