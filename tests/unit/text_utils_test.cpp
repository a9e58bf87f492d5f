// Shared text, path, list, command-line and registry layers.
#include <windows.h>

#include <gtest/gtest.h>

#include "command_line.h"
#include "path_utils.h"
#include "registry.h"
#include "scratch_registry.h"
#include "test_utils.h"
#include "setup_error.h"
#include "string_list.h"

namespace {
TEST(StringList, TextSplitsAtEveryLineBreakAndJoinsWithCrLf) {
  StringList list;
  list.SetText("a\r\nb\rc\nd\r\n");
  ASSERT_EQ(list.Count(), 4u);
  EXPECT_EQ(list[2], "c");
  EXPECT_EQ(list.Text(), "a\r\nb\r\nc\r\nd\r\n");
  list.SetText("x\n\ny");
  EXPECT_EQ(list.Count(), 3u);  // an empty line in the middle stays
  list.SetText("");
  EXPECT_EQ(list.Text(), "");
  list.SetText("\r\n");
  EXPECT_EQ(list.Count(), 1u);

  list.SetText("Name=first\r\nname=second\r\nplain");
  EXPECT_EQ(list.IndexOfName("NAME"), 0);
  EXPECT_EQ(list.Value("name"), "first");
  EXPECT_EQ(list.Value("plain"), "");
  EXPECT_EQ(list.IndexOf("PLAIN"), 2);
}

TEST(TextUtils, PiecesOfTextsAndPaths) {
  EXPECT_EQ(NamePart("=x"), "");
  EXPECT_EQ(NamePart("no equals"), "");
  EXPECT_EQ(ValuePart("a=b=c"), "b=c");
  EXPECT_EQ(StripTrailingBackslash("C:\\x\\\\"), "C:\\x\\");
  EXPECT_EQ(PosText("abc", "xxABC"), 3u);
  EXPECT_EQ(PosText("x", "xyz"), 1u);
  EXPECT_EQ(PosText("q", "xyz"), 0u);
  StringList pieces;
  pieces.Add("kept");
  SplitText("a;;b;", ';', pieces);
  ASSERT_EQ(pieces.Count(), 4u);
  EXPECT_EQ(pieces[2], "");
  EXPECT_EQ(pieces[3], "b");
  EXPECT_EQ(ExtractFileName("C:\\a\\b.txt"), "b.txt");
  EXPECT_EQ(ExtractFileName("C:b.txt"), "b.txt");
  EXPECT_EQ(ChangeFileExt("C:\\a.b\\c", ".cnt"), "C:\\a.b\\c.cnt");
  EXPECT_EQ(ChangeFileExt("x.hlp", ".cnt"), "x.cnt");
  EXPECT_EQ(ExtractFileDrive("\\\\srv\\share\\x"), "\\\\srv\\share");
  EXPECT_EQ(ExtractFileDrive("d:\\x"), "d:");
}

TEST(TextUtils, ExpandFromAFolderRestoresTheCurrentFolder) {
  ScratchFolder folder;
  folder.Write("sub\\x", "");
  std::string before = CurrentFolder();
  EXPECT_EQ(ExpandFileFrom(folder.path() + "sub", "file.ini"), folder.path() + "sub\\file.ini");
  EXPECT_EQ(ExpandFileFrom(folder.path() + "sub\\", "..\\file.ini"), folder.path() + "file.ini");
  EXPECT_EQ(ExpandFileFrom(folder.path(), "C:\\abs\\f.ini"), "C:\\abs\\f.ini");
  EXPECT_EQ(ExpandPathFrom("", ""), "");
  EXPECT_EQ(CurrentFolder(), before);
}

TEST(CommandLine, BlanksQuotesAndEmptyPairs) {
  auto args = SplitCommandLine("prog.exe  \"My Tool\" second\tthird");
  ASSERT_EQ(args.size(), 4u);
  EXPECT_EQ(args[1], "My Tool");
  EXPECT_EQ(args[3], "third");
  args = SplitCommandLine("prog \"\" \"\" name");
  ASSERT_EQ(args.size(), 2u);
  EXPECT_EQ(args[1], "name");
  args = SplitCommandLine("prog \"\"");
  EXPECT_EQ(args.size(), 1u);
  args = SplitCommandLine("\"C:\\Program Files\\x\\u.exe\" a\"b c\"d");
  ASSERT_EQ(args.size(), 2u);
  EXPECT_EQ(args[0], "C:\\Program Files\\x\\u.exe");
  EXPECT_EQ(args[1], "ab cd");
}

using RegistryLayerTest = IsolatedTest;

TEST_F(RegistryLayerTest, ReadsNeverTrustTerminatorsAndTypesAreChecked) {
  RegistryKey key = RegistryKey::Create(HKEY_CURRENT_USER, "Software\\Layer");
  ASSERT_TRUE(key.valid());
  const char raw[] = {'a', 'b', 'c'};  // stored without a terminating NUL
  ASSERT_EQ(RegSetValueExA(key.get(), "raw", 0, REG_SZ, reinterpret_cast<const BYTE*>(raw), 3), ERROR_SUCCESS);
  EXPECT_EQ(key.ReadString("raw").value_or("?"), "abc");
  const char inner[] = {'a', 0, 'b', 0};
  RegSetValueExA(key.get(), "inner", 0, REG_SZ, reinterpret_cast<const BYTE*>(inner), 4);
  EXPECT_EQ(key.ReadString("inner").value_or("?"), "a");
  RegSetValueExA(key.get(), "empty", 0, REG_SZ, nullptr, 0);
  EXPECT_EQ(key.ReadString("empty").value_or("?"), "");
  EXPECT_FALSE(key.ReadString("absent").has_value());

  key.WriteString("text", "value");
  auto stored = key.ReadRaw("text");
  ASSERT_TRUE(stored.has_value());
  EXPECT_EQ(stored->type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(stored->data, std::string("value\0", 6));
  EXPECT_THROW(key.ReadDword("text"), SetupError);
  key.WriteDword("count", 7);
  EXPECT_EQ(key.ReadDword("count").value_or(0), 7u);
  EXPECT_EQ(ErrorText([&] { key.ReadString("count"); }), "Invalid data type for 'count'");

  RegistryKey missing = RegistryKey::Open(HKEY_CURRENT_USER, "Software\\NotThere");
  EXPECT_FALSE(missing.valid());
  EXPECT_FALSE(missing.ReadString("x").has_value());
  EXPECT_EQ(ErrorText([&] { missing.WriteString("x", "y"); }), "Failed to set data for 'x'");
  EXPECT_FALSE(RegistryKey::Open(HKEY_CURRENT_USER, "Software\\NotThere").valid());  // Open never creates

  RegistryKey::Create(HKEY_CURRENT_USER, "Software\\Layer\\Child\\Deep");
  EXPECT_EQ(key.SubKeyNames().size(), 1u);
  key.Close();
  EXPECT_TRUE(DeleteRegistryTree(HKEY_CURRENT_USER, "Software\\Layer"));
  EXPECT_FALSE(RegistryKey::Open(HKEY_CURRENT_USER, "Software\\Layer").valid());
}
}  // namespace
