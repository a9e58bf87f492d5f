// Shared text, path, list, command-line and registry layers.
#include <windows.h>

#include <gtest/gtest.h>

#include "command_line.h"
#include "path_utils.h"
#include "registry.h"
#include "scratch_registry.h"
#include "setup_error.h"
#include "string_list.h"
#include "test_utils.h"

namespace {
TEST(StringList, TextSplitsAtEveryLineBreakAndJoinsWithCrLf) {
  StringList list;
  list.SetText("a\r\nb\rc\nd\r\n");
  EXPECT_EQ(list.Lines(), (Texts{"a", "b", "c", "d"}));
  EXPECT_EQ(list.Text(), "a\r\nb\r\nc\r\nd\r\n");
  list.SetText("x\n\ny");
  EXPECT_EQ(list.Lines(), (Texts{"x", "", "y"}));  // an empty line in the middle stays
  list.SetText("");
  EXPECT_EQ(list.Text(), "");
  list.SetText("\r\n");
  EXPECT_EQ(list.Lines(), Texts{""});

  list.SetText("Name=first\r\nname=second\r\nplain");
  EXPECT_EQ((std::vector<int>{list.IndexOfName("NAME"), list.IndexOf("PLAIN")}), (std::vector<int>{0, 2}));
  EXPECT_EQ((Texts{list.Value("name"), list.Value("plain")}), (Texts{"first", ""}));
}

TEST(TextUtils, ExpandFromAFolderRestoresTheCurrentFolder) {
  ScratchFolder folder;
  folder.Write("sub\\x", "");
  std::string before = CurrentFolder();
  EXPECT_EQ(
      (Texts{ExpandFileFrom(folder.path() + "sub", "file.ini"), ExpandFileFrom(folder.path() + "sub\\", "..\\file.ini"),
             ExpandFileFrom(folder.path(), "C:\\abs\\f.ini"), ExpandPathFrom("", "")}),
      (Texts{folder.path() + "sub\\file.ini", folder.path() + "file.ini", "C:\\abs\\f.ini", ""}));
  EXPECT_EQ(CurrentFolder(), before);
}

TEST(CommandLine, BlanksQuotesAndEmptyPairs) {
  EXPECT_EQ(SplitCommandLine("prog.exe  \"My Tool\" second\tthird"), (Texts{"prog.exe", "My Tool", "second", "third"}));
  EXPECT_EQ(SplitCommandLine("prog \"\" \"\" name"), (Texts{"prog", "name"}));
  EXPECT_EQ(SplitCommandLine("prog \"\""), Texts{"prog"});
  EXPECT_EQ(SplitCommandLine("\"C:\\Program Files\\x\\u.exe\" a\"b c\"d"),
            (Texts{"C:\\Program Files\\x\\u.exe", "ab cd"}));
}

using RegistryLayerTest = IsolatedTest;

TEST_F(RegistryLayerTest, ReadsNeverTrustTerminatorsAndTypesAreChecked) {
  RegistryKey key = RegistryKey::Create(HKEY_CURRENT_USER, "Software\\Layer");
  ASSERT_TRUE(key.valid());
  // Stored without a terminating NUL, with one inside, and empty.
  for (const auto& [name, bytes] :
       {std::pair<const char*, std::string>{"raw", "abc"}, {"inner", std::string("a\0b\0", 4)}, {"empty", ""}})
    WriteRawValue(HKEY_CURRENT_USER, "Software\\Layer", name, REG_SZ, bytes);
  EXPECT_EQ((Texts{key.ReadString("raw").value_or("?"), key.ReadString("inner").value_or("?"),
                   key.ReadString("empty").value_or("?")}),
            (Texts{"abc", "a", ""}));
  EXPECT_FALSE(key.ReadString("absent").has_value());

  key.WriteString("text", "value");
  EXPECT_EQ(key.ReadRaw("text").value_or(RegistryValue{}).data, std::string("value\0", 6));
  EXPECT_EQ(key.ReadRaw("text").value_or(RegistryValue{}).type, static_cast<DWORD>(REG_SZ));
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
