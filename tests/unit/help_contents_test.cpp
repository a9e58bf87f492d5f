// Help contents registration against real master files: the lines written, the lines removed, the bytes kept.
#include <windows.h>

#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "help_contents.h"
#include "scratch_registry.h"
#include "test_utils.h"
#include "setup_error.h"
#include "unique_handle.h"

namespace {
const std::string kBase = ":Base delphi5.hlp\r\n:Index Delphi Help =delphi5.hlp\r\n";

using HelpContentsTest = IsolatedTest;

TEST_F(HelpContentsTest, AddAddAgainRemoveInRegistrationOrder) {
  const std::string master = folder_.Write("delphi5.cnt", kBase);
  const std::string mine = ":Include myprod.cnt\r\n:Index My Product =myprod.hlp\r\n";
  AddHelpToContents("myprod.hlp", "My Product", master);
  EXPECT_EQ(ReadFileBytes(master), kBase + mine);
  AddHelpToContents("myprod.hlp", "My Product", master);
  EXPECT_EQ(ReadFileBytes(master), kBase + mine);
  AddHelpToContents("first", "First", master);  // no extension: ".cnt" is appended
  AddHelpToContents("Help\\other.hlp", "Other", master);
  const std::string first = ":Include first.cnt\r\n:Index First =first\r\n";
  EXPECT_EQ(ReadFileBytes(master),
            kBase + mine + first + ":Include Help\\other.cnt\r\n:Index Other =Help\\other.hlp\r\n");
  RemoveHelpFromContents("", master);  // an empty name removes nothing
  RemoveHelpFromContents("myprod.hlp", master);
  RemoveHelpFromContents("other.hlp", master);  // given with a folder, removed by its bare name
  EXPECT_EQ(ReadFileBytes(master), kBase + first);
}

TEST_F(HelpContentsTest, LineBreaksAreNormalisedAndLinesKeptInOrder) {
  const std::string master = folder_.Write("delphi4.cnt", "one\rtwo\nthree\r\n\r\n  five  \n\nseven");
  RemoveHelpFromContents("myprod.hlp", master);
  EXPECT_EQ(ReadFileBytes(master), "one\r\ntwo\r\nthree\r\n\r\n  five  \r\n\r\nseven\r\n");

  WriteFileBytes(master, "");
  AddHelpToContents("myprod.hlp", "T", master);
  EXPECT_EQ(ReadFileBytes(master), ":Include myprod.cnt\r\n:Index T =myprod.hlp\r\n");
}

TEST_F(HelpContentsTest, RemovalIsBySubstringInTheUserLocale) {
  const std::string master = folder_.Write("delphi6.cnt",
                                           "keep 1\r\n"
                                           ":Link xmyprod.hlp\r\n"
                                           "see MYPROD.CNT here\r\n"
                                           ":Index Vendor's own =MyProd.Hlp\r\n"
                                           "myprod.hl\r\n"
                                           "myprod-cnt myprod hlp\r\n"
                                           ":Include \xDC"
                                           "BUNG.CNT\r\n"
                                           ":Include UBUNG.CNT\r\n");
  RemoveHelpFromContents("myprod.hlp", master);
  RemoveHelpFromContents(
      "\xFC"
      "bung.hlp",
      master);  // übung.hlp: ü and Ü are one letter in the locale
  EXPECT_EQ(ReadFileBytes(master), "keep 1\r\nmyprod.hl\r\nmyprod-cnt myprod hlp\r\n:Include UBUNG.CNT\r\n");
}

TEST_F(HelpContentsTest, FileErrorsCarryTheirTexts) {
  const std::string missing = folder_.path() + "missing.cnt";
  EXPECT_EQ(ErrorText([&] { AddHelpToContents("myprod.hlp", "T", missing); }), "Cannot open file " + missing);
  EXPECT_EQ(GetFileAttributesA(missing.c_str()), INVALID_FILE_ATTRIBUTES);

  // Another reader that shares only reading lets the read pass and refuses the write.
  const std::string master = folder_.Write("delphi5.cnt", kBase);
  UniqueFile reader(CreateFileA(master.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(reader.valid());
  EXPECT_EQ(ErrorText([&] { RemoveHelpFromContents("myprod.hlp", master); }), "Cannot create file " + master);
  reader.reset();
  EXPECT_EQ(ReadFileBytes(master), kBase);
}

// Random master files: the product's lines come and go, every other line keeps its text and order.
TEST_F(HelpContentsTest, RandomMasterFilesKeepEveryOtherLine) {
  const std::string help =
      "\xDC"
      "bung.hlp";  // Übung.hlp
  const std::vector<std::string> mentionsProduct = {
      ":Include \xFC"
      "bung.cnt",
      ":Index Old =\xDC"
      "BUNG.HLP",
      "x\xFC"
      "bung.hlpx",
      "see \xDC"
      "bung.CNT"};
  const std::vector<std::string> others = {"",
                                           ":Base delphi5.hlp",
                                           ":Title Delphi Help",
                                           ":Include delphi5.cnt",
                                           ":Index Delphi Help =delphi5.hlp",
                                           "1 Getting started",
                                           "Ubung.hlp",
                                           "\xDC"
                                           "bung.hl",
                                           "\xDC"
                                           "bung hlp",
                                           "\xDC"
                                           "bung.cn",
                                           "   ",
                                           "\t:Link vcl.hlp"};
  std::mt19937 random(4711);
  auto pick = [&random](size_t count) { return std::uniform_int_distribution<size_t>(0, count - 1)(random); };
  const std::string master = folder_.path() + "bcb6.cnt";

  for (int round = 0; round < 300; ++round) {
    SCOPED_TRACE(round);
    std::vector<std::string> lines;
    std::string kept;
    for (size_t count = pick(10); count > 0; --count) {
      bool own = pick(4) == 0;
      lines.push_back(own ? mentionsProduct[pick(mentionsProduct.size())] : others[pick(others.size())]);
      if (!own) kept += lines.back() + "\r\n";
    }
    std::string text;
    for (size_t i = 0; i < lines.size(); ++i) {
      text += lines[i];
      // An LF right after a lone CR would pair with it; an empty last line needs its break.
      static const char* const breaks[] = {"\r\n", "\r", "\n"};
      bool afterCr = !text.empty() && text.back() == '\r';
      if (i + 1 < lines.size() || lines[i].empty() || pick(2) == 0) text += breaks[pick(afterCr ? 2 : 3)];
    }
    WriteFileBytes(master, text);

    const std::string added = kept +
                              ":Include \xDC"
                              "bung.cnt\r\n:Index \xDC"
                              "bung Help =" +
                              help + "\r\n";
    AddHelpToContents(help,
                      "\xDC"
                      "bung Help",
                      master);
    EXPECT_EQ(ReadFileBytes(master), added);
    AddHelpToContents(help,
                      "\xDC"
                      "bung Help",
                      master);
    EXPECT_EQ(ReadFileBytes(master), added);
    RemoveHelpFromContents(help, master);
    EXPECT_EQ(ReadFileBytes(master), kept);
    if (HasFailure()) break;
  }
}
}  // namespace
