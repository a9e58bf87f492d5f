// Known Packages registration against an isolated registry: which values go, which stay, what is written.
#include <windows.h>

#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "ide_editions.h"
#include "known_packages.h"
#include "registry.h"
#include "scratch_registry.h"
#include "string_list.h"
#include "test_utils.h"

namespace {
// Every value of a key: name -> (type, raw data).
using Snapshot = std::map<std::string, std::pair<DWORD, std::string>>;

const std::string kPackage = "C:\\WINNT\\System32\\MyPack50.bpl";

void SetValue(const std::string& keyPath, const std::string& name, DWORD type, const std::string& bytes) {
  WriteRawValue(HKEY_CURRENT_USER, keyPath, name, type, bytes);
}

void SetText(const std::string& keyPath, const std::string& name, const std::string& text) {
  SetValue(keyPath, name, REG_SZ, text + '\0');
}

Snapshot Take(const std::string& keyPath) {
  Snapshot values;
  for (auto& value : RegistryKey::Open(HKEY_CURRENT_USER, keyPath, KEY_READ).Values())
    values[value.name] = {value.type, value.data};
  return values;
}

std::pair<DWORD, std::string> Text(const std::string& text) { return {REG_SZ, text + '\0'}; }

bool KeyExists(const std::string& keyPath) { return RegistryKey::Open(HKEY_CURRENT_USER, keyPath, KEY_READ).valid(); }

using KnownPackagesTest = IsolatedTest;

TEST_F(KnownPackagesTest, EarlierRegistrationsGoAndUnrelatedValuesStay) {
  const std::string key = KnownPackagesKey(ieCppBuilder5);
  SetText(key, "C:\\Old\\MyPack50.bpl", "My Components");
  SetText(key, "C:\\Older\\MyPack40.bpl", "MY COMPONENTS");
  SetText(key, "C:\\New\\MyPack50.bpl", "Something else");
  // Same file name, another description: not ours.
  SetText(key, "C:\\Other\\MyPack50.bpl", "Other Components");
  SetText(key, "C:\\x.bpl", "My Components Extra");
  SetValue(key, "Number", REG_DWORD, DwordBytes(1));
  Snapshot unrelated = Take(key);
  unrelated.erase("C:\\Old\\MyPack50.bpl");
  unrelated.erase("C:\\Older\\MyPack40.bpl");
  unrelated.erase("C:\\New\\MyPack50.bpl");

  RegisterKnownPackage(ieCppBuilder5, "my components", "C:\\New\\MyPack50.bpl");
  Snapshot expected = unrelated;
  expected["C:\\New\\MyPack50.bpl"] = Text("my components");
  EXPECT_EQ(Take(key), expected);

  UnregisterKnownPackage(ieCppBuilder5, "My Components", "C:\\New\\MyPack50.bpl");
  EXPECT_EQ(Take(key), unrelated);
}

TEST_F(KnownPackagesTest, EditionsWithoutPackageSupportTouchNothing) {
  for (IdeEdition edition : {ieDelphi2, ieCppBuilder1}) {
    // Keys where such a registration would plausibly land, each with a value it would delete.
    const std::string guessed = IdeUserKey(edition) + "Known Packages";
    SetText(guessed, kPackage, "Old");
    SetText(guessed, "C:\\Any.bpl", "My Components");
    const Snapshot before = Take(guessed);
    RegisterKnownPackage(edition, "My Components", kPackage);
    UnregisterKnownPackage(edition, "My Components", kPackage);
    EXPECT_EQ(Take(guessed), before) << EditionCode(edition);
  }
}

TEST_F(KnownPackagesTest, KeyIsNeverCreatedButAnEmptyKeyGetsTheValue) {
  const std::string key = KnownPackagesKey(ieDelphi3);
  ASSERT_TRUE(RegistryKey::Create(HKEY_CURRENT_USER, IdeUserKey(ieDelphi3)).valid());
  RegisterKnownPackage(ieDelphi3, "My Components", kPackage);
  EXPECT_FALSE(KeyExists(key));

  // The same path registered twice leaves one value.
  ASSERT_TRUE(RegistryKey::Create(HKEY_CURRENT_USER, key).valid());
  RegisterKnownPackage(ieDelphi3, "My Components", kPackage);
  RegisterKnownPackage(ieDelphi3, "My Components", kPackage);
  EXPECT_EQ(Take(key), (Snapshot{{kPackage, Text("My Components")}}));
}

TEST_F(KnownPackagesTest, EmptyAndUnterminatedDataReadAsTheirText) {
  const std::string key = KnownPackagesKey(ieCppBuilder4);
  SetValue(key, "C:\\Empty.bpl", REG_SZ, std::string());
  SetValue(key, "C:\\Bare.bpl", REG_SZ, "My Components");  // stored without its terminating zero
  SetValue(key, "C:\\Binary.bpl", REG_BINARY, "my components");
  SetText(key, "C:\\Keep.bpl", "My Component");
  RegisterKnownPackage(ieCppBuilder4, "My Components", kPackage);
  Snapshot after = Take(key);
  EXPECT_EQ(after.count("C:\\Bare.bpl"), 0u);
  EXPECT_EQ(after.count("C:\\Binary.bpl"), 0u);
  EXPECT_EQ(after.count("C:\\Empty.bpl"), 1u);  // an empty text is not "my components"
  EXPECT_EQ(after.count("C:\\Keep.bpl"), 1u);
  EXPECT_EQ(after.size(), 3u);

  // The value of size 0 is the empty text, so an empty description finds it.
  RegistryKey opened = RegistryKey::Open(HKEY_CURRENT_USER, key);
  StringList names;
  CollectValuesWithData(opened.get(), names, "");
  EXPECT_EQ(names.Lines(), std::vector<std::string>{"C:\\Empty.bpl"});
}

TEST_F(KnownPackagesTest, CollectAddsEachNameOnce) {
  const std::string key = KnownPackagesKey(ieDelphi5);
  SetText(key, "C:\\A.bpl", "Pack");
  SetText(key, "C:\\B.bpl", "PACK");
  SetText(key, "C:\\C.bpl", "Other");
  RegistryKey opened = RegistryKey::Open(HKEY_CURRENT_USER, key);
  StringList names;
  names.Add("c:\\a.BPL");
  CollectValuesWithData(opened.get(), names, "pack");
  EXPECT_EQ(names.Lines(), (std::vector<std::string>{"c:\\a.BPL", "C:\\B.bpl"}));
  // Nothing was deleted by collecting.
  EXPECT_EQ(Take(key).size(), 3u);

  DeleteValuesWithData(opened.get(), "pACK");
  EXPECT_EQ(Take(key), (Snapshot{{"C:\\C.bpl", Text("Other")}}));
}

// Random Known Packages keys: the product's own values go (every one of them, however many; descriptions compare
// in the user locale, so accents are letters of their own), every other value keeps its name, type and data.
TEST_F(KnownPackagesTest, RandomKeysKeepEveryOtherValue) {
  const std::string description = "Composants \xC9l\xE9gants";
  const std::vector<std::string> sameDescription = {description, "composants \xE9l\xE9gants",
                                                    "COMPOSANTS \xC9L\xC9GANTS", "Composants \xE9L\xC9gants"};
  const std::vector<std::string> otherDescriptions = {"",
                                                      "Composants Elegants",
                                                      "Composants \xC9l\xE9gants ",
                                                      "Composants \xC9l\xE9gant",
                                                      "My Components",
                                                      "Composants \xC9l\xE9gants 2"};
  std::mt19937 random(19990401);
  auto pick = [&random](size_t count) { return std::uniform_int_distribution<size_t>(0, count - 1)(random); };

  for (int round = 0; round < 300; ++round) {
    SCOPED_TRACE(round);
    const auto edition = static_cast<IdeEdition>(ieDelphi3 + pick(kEditionCount - ieDelphi3));
    const auto neighbour = static_cast<IdeEdition>(edition == ieCppBuilder6 ? ieDelphi3 : edition + 1);
    const std::string key = KnownPackagesKey(edition);
    const std::string path = "C:\\Lib\\Pack" + std::to_string(pick(4)) + ".bpl";
    ASSERT_TRUE(DeleteRegistryTree(HKEY_CURRENT_USER, "Software\\Borland"));
    ASSERT_TRUE(RegistryKey::Create(HKEY_CURRENT_USER, key).valid());
    // Another edition's key holding a value that would match: it must not be touched.
    SetText(KnownPackagesKey(neighbour), path, description);
    const Snapshot neighbourBefore = Take(KnownPackagesKey(neighbour));

    Snapshot others;
    for (size_t count = pick(9), index = 0; index < count; ++index) {
      // Names come from a small pool, so the package's own path turns up now and then.
      std::string name = "C:\\Lib\\Pack" + std::to_string(pick(8)) + ".bpl";
      others.erase(name);
      if (pick(3) == 0) {
        std::string data = sameDescription[pick(sameDescription.size())];
        if (pick(4) == 0)
          SetValue(key, name, REG_BINARY, data);
        else
          SetValue(key, name, pick(2) ? REG_SZ : REG_EXPAND_SZ, data + '\0');
        continue;
      }
      DWORD type = REG_DWORD;
      std::string bytes("\x05\x00\x00\x00", 4);
      if (pick(5) != 0) {
        type = pick(4) == 0 ? REG_BINARY : REG_SZ;
        bytes = otherDescriptions[pick(otherDescriptions.size())] + '\0';
      }
      SetValue(key, name, type, bytes);
      if (name != path) others[name] = {type, bytes};
    }

    Snapshot registered = others;
    registered[path] = Text(description);
    RegisterKnownPackage(edition, description, path);
    EXPECT_EQ(Take(key), registered);
    RegisterKnownPackage(edition, description, path);
    EXPECT_EQ(Take(key), registered);
    UnregisterKnownPackage(edition, description, path);
    EXPECT_EQ(Take(key), others);
    EXPECT_EQ(Take(KnownPackagesKey(neighbour)), neighbourBefore);
    if (HasFailure()) break;
  }
}
}  // namespace
