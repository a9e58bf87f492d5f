// End-to-end test support: program copies, registry reset, state readers and a kill at a line of a log.
#include "e2e_support.h"

#include <algorithm>
#include <set>

#include "path_macros.h"
#include "path_utils.h"
#include "registry.h"
#include "registry_names.h"
#include "setup_error.h"
#include "string_list.h"
#include "text_compare.h"
#include "uninstall_entry.h"
#include "unique_handle.h"

namespace {
struct SharedKey {
  HKEY root;
  const char* path;
};
const SharedKey kSharedKeys[] = {{HKEY_CURRENT_USER, "Software\\Quillmark"},
                                 {HKEY_CURRENT_USER, "Software\\Borland"},
                                 {HKEY_LOCAL_MACHINE, "Software\\Borland"}};

std::string RootName(HKEY root) { return root == HKEY_CURRENT_USER ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE"; }

// Between double quotes, with backslashes and quotes escaped and every byte below a blank as \xNN.
std::string Quoted(const std::string& text) {
  std::string quoted = "\"";
  for (unsigned char c : text) {
    if (c == '\\' || c == '"') quoted += '\\';
    quoted += c < ' ' ? FormatText("\\x%02x", c) : std::string(1, static_cast<char>(c));
  }
  return quoted + "\"";
}

// The name, the type and the data as stored, terminators included.
std::string ValueLine(const RegistryValue& value) {
  return (value.name.empty() ? "@" : Quoted(value.name)) + "=" + std::to_string(value.type) + ":" + Quoted(value.data);
}

bool LessIgnoringCase(const std::string& left, const std::string& right) { return CompareTextLocale(left, right) < 0; }

// Appends the key with all its subkeys and values as text, keys and values sorted (nothing when the key is missing);
// each value is its name, type and data as stored:
//   [HKEY_CURRENT_USER\Software\Quillmark\InstalledFiles]
//   "C:\\Dest\\a.txt"=4:"\x01\x00\x00\x00"
void ExportKey(HKEY root, const std::string& path, std::string& text) {
  RegistryKey key = RegistryKey::Open(root, path, KEY_READ);
  if (!key.valid()) return;
  text += "[" + RootName(root) + "\\" + path + "]\n";
  std::vector<RegistryValue> values = key.Values();
  std::sort(values.begin(), values.end(), [](const RegistryValue& left, const RegistryValue& right) {
    return LessIgnoringCase(left.name, right.name);
  });
  for (const RegistryValue& value : values) text += ValueLine(value) + "\n";
  std::vector<std::string> subKeys = key.SubKeyNames();
  std::sort(subKeys.begin(), subKeys.end(), LessIgnoringCase);
  for (const std::string& subKey : subKeys) ExportKey(root, path + "\\" + subKey, text);
}

void ListFolder(const std::string& folder, const std::string& relative, std::vector<std::string>& entries) {
  WIN32_FIND_DATAA data;
  UniqueFind find(FindFirstFileA((folder + relative + "*").c_str(), &data));
  if (!find) return;
  do {
    const std::string name = data.cFileName;
    if (name == "." || name == "..") continue;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      entries.push_back(relative + name + "\\");
      ListFolder(folder, relative + name + "\\", entries);
    } else {
      entries.push_back(relative + name);
    }
  } while (FindNextFileA(find.get(), &data));
}
}  // namespace

void EndToEndTest::SetUp() {
  appName_ = std::string("E2E ") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
  uninstallEntries_ = {appName_};
  ResetRegistry();
  const std::string buildDir = AddTrailingBackslash(WindowsPathFromUnix(EnvironmentValue("ORV_BUILD_DIR")));
  const std::string unrarDll = WindowsPathFromUnix(EnvironmentValue("ORV_UNRAR_DLL"));
  ASSERT_FALSE(buildDir.empty()) << "ORV_BUILD_DIR is not set";
  ASSERT_FALSE(unrarDll.empty()) << "ORV_UNRAR_DLL is not set";
  for (const char* program : {"orvsetup.exe", "uninstall.exe"})
    ASSERT_TRUE(CopyFileA((buildDir + program).c_str(), (Folder() + program).c_str(), FALSE))
        << "cannot copy " << buildDir << program;
  ASSERT_TRUE(CopyFileA(unrarDll.c_str(), (Folder() + "unrar.dll").c_str(), FALSE)) << "cannot copy " << unrarDll;
}

void EndToEndTest::TearDown() { ResetRegistry(); }

void EndToEndTest::ResetUninstallEntry(const std::string& name) {
  uninstallEntries_.push_back(name);
  DeleteRegistryTree(HKEY_LOCAL_MACHINE, UninstallEntryKeyPath(name));
}

std::string EndToEndTest::WriteFile(const std::string& relativePath, const std::string& content) const {
  return folder_.Write(relativePath, content);
}

void EndToEndTest::ResetRegistry() const {
  // What a test left to be deleted at the next restart (nothing else in the test prefix does).
  RegistryKey::Open(HKEY_LOCAL_MACHINE, kSessionManagerKey).DeleteValue(kPendingDeletionsValue);
  for (const SharedKey& key : kSharedKeys)
    EXPECT_TRUE(DeleteRegistryTree(key.root, key.path)) << "cannot delete " << RootName(key.root) << "\\" << key.path;
  for (const std::string& name : uninstallEntries_)
    EXPECT_TRUE(DeleteRegistryTree(HKEY_LOCAL_MACHINE, UninstallEntryKeyPath(name)))
        << "cannot delete the Add/Remove Programs entry " << name;
}

std::string EndToEndTest::RegistrySnapshot() const {
  std::string text;
  for (const SharedKey& key : kSharedKeys) ExportKey(key.root, key.path, text);
  for (const std::string& name : uninstallEntries_) ExportKey(HKEY_LOCAL_MACHINE, UninstallEntryKeyPath(name), text);
  return text;
}

std::string PendingDeletions() {
  return RegistryKey::Open(HKEY_LOCAL_MACHINE, kSessionManagerKey)
      .ReadRaw(kPendingDeletionsValue)
      .value_or(RegistryValue{})
      .data;
}

std::optional<std::string> ReadRegistryString(HKEY root, const std::string& path, const std::string& name) {
  return RegistryKey::Open(root, path, KEY_READ).ReadString(name);
}

void WriteRegistryString(HKEY root, const std::string& path, const std::string& name, const std::string& value) {
  RegistryKey key = RegistryKey::Create(root, path);
  ASSERT_TRUE(key.valid()) << "cannot create " << RootName(root) << "\\" << path;
  key.WriteString(name, value);
}

std::vector<std::string> ListFolderTree(const std::string& folder) {
  std::vector<std::string> entries;
  ListFolder(AddTrailingBackslash(folder), "", entries);
  std::sort(entries.begin(), entries.end(), LessIgnoringCase);
  return entries;
}

std::string StateDifference(const std::string& before, const std::string& after) {
  StringList beforeLines, afterLines;
  beforeLines.SetText(before);
  afterLines.SetText(after);
  const std::set<std::string> beforeSet(beforeLines.begin(), beforeLines.end());
  const std::set<std::string> afterSet(afterLines.begin(), afterLines.end());
  std::string difference;
  for (const std::string& line : beforeLines)
    if (afterSet.count(line) == 0) difference += "- " + line + "\n";
  for (const std::string& line : afterLines)
    if (beforeSet.count(line) == 0) difference += "+ " + line + "\n";
  return difference;
}

bool KillAfterLogLine(std::string commandLine, const std::string& folder, int line, const std::string& text) {
  const std::string pipeName = FormatText("\\\\.\\pipe\\orv-log-%lu", GetCurrentProcessId());
  UniqueFile pipe(CreateNamedPipeA(pipeName.c_str(), PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE, 1, 0, 0, 0, nullptr));
  commandLine += " /VERYSILENT /LOG=" + pipeName;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!pipe || !CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                               &started))
    return false;
  UniqueKernelHandle process(started.hProcess), thread(started.hThread);
  ConnectNamedPipe(pipe.get(), nullptr);
  std::string log;
  auto enough = [&] {
    const size_t start = log.find(text);
    return start != std::string::npos && std::count(log.begin() + start, log.end(), '\n') >= line;
  };
  char buffer[4096];
  DWORD got = 0, waiting = 0;
  while (!enough() && ReadFile(pipe.get(), buffer, sizeof buffer, &got, nullptr)) log.append(buffer, got);
  while (PeekNamedPipe(pipe.get(), nullptr, 0, nullptr, &waiting, nullptr) && waiting == 0) Sleep(1);
  const bool killed = waiting > 0 && TerminateProcess(process.get(), 99);
  WaitForSingleObject(process.get(), INFINITE);
  return killed;
}
