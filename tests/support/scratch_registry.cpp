// Scratch registry keys and folders for tests.
#include "scratch_registry.h"

#include <shellapi.h>

#include <utility>

#include "path_macros.h"
#include "path_utils.h"
#include "registry.h"
#include "text_file.h"
#include "unique_handle.h"

namespace {
const char* kTestRoot = "Software\\OrvSetupTests";
}

ScratchRegistry::ScratchRegistry() {
  root_ = std::string(kTestRoot) + "\\" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount());
  DeleteRegistryTree(HKEY_CURRENT_USER, root_);
  for (auto [key, name] : {std::pair{&currentUser_, "\\HKCU"}, std::pair{&localMachine_, "\\HKLM"}})
    RegCreateKeyExA(HKEY_CURRENT_USER, (root_ + name).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key->put(),
                    nullptr);
  if (!currentUser_ || !localMachine_) ADD_FAILURE() << "cannot create scratch keys";
  // Both scratch keys are opened before the first override: afterwards HKCU means the scratch key.
  RegOverridePredefKey(HKEY_CURRENT_USER, currentUser_.get());
  RegOverridePredefKey(HKEY_LOCAL_MACHINE, localMachine_.get());
}

ScratchRegistry::~ScratchRegistry() {
  RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
  RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
  currentUser_.reset();
  localMachine_.reset();
  DeleteRegistryTree(HKEY_CURRENT_USER, root_);
}

ScratchFolder::ScratchFolder() {
  char temp[MAX_PATH + 1];
  DWORD length = GetTempPathA(sizeof temp, temp);
  std::string base = (length > 0 && length < sizeof temp) ? std::string(temp, length) : std::string("C:\\");
  static int counter = 0;
  path_ = AddTrailingBackslash(base) + "orvtest-" + std::to_string(GetCurrentProcessId()) + "-" +
          std::to_string(++counter) + "-" + std::to_string(GetTickCount()) + "\\";
  DeleteFolderTree(path_);
  CreateDirectoryA(path_.c_str(), nullptr);
}

ScratchFolder::~ScratchFolder() { DeleteFolderTree(path_); }

std::string ScratchFolder::Write(const std::string& relativePath, const std::string& content) const {
  std::string full = path_ + relativePath;
  std::string folder = ExtractFilePath(full);
  for (size_t i = path_.size(); i < folder.size(); ++i)
    if (folder[i] == '\\') CreateDirectoryA(folder.substr(0, i).c_str(), nullptr);
  WriteFileBytes(full, content);
  return full;
}

std::string ReadFileBytes(const std::string& path) {
  return ReadFileContent(path, FILE_SHARE_READ | FILE_SHARE_WRITE).value_or(std::string());
}

void WriteFileBytes(const std::string& path, const std::string& content) {
  UniqueFile file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  ASSERT_TRUE(file.valid()) << "cannot write " << path;
  DWORD written = 0;
  if (!content.empty()) WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
}

void DeleteFolderTree(const std::string& path) {
  std::string folder = StripTrailingBackslash(path);
  if (folder.empty()) return;
  WIN32_FIND_DATAA data;
  UniqueFind find(FindFirstFileA((folder + "\\*").c_str(), &data));
  if (find) {
    do {
      std::string name = data.cFileName;
      if (name == "." || name == "..") continue;
      std::string child = folder + "\\" + name;
      SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        DeleteFolderTree(child);
      else
        DeleteFileA(child.c_str());
    } while (FindNextFileA(find.get(), &data));
  }
  find.reset();
  RemoveDirectoryA(folder.c_str());
}

std::string WindowsPathFromUnix(const std::string& unixPath) {
  if (unixPath.empty() || unixPath[0] != '/') return unixPath;
  return "Z:" + ReplaceChar('/', '\\', unixPath);
}

std::string EnvironmentValue(const char* name) {
  char buffer[32768];
  DWORD length = GetEnvironmentVariableA(name, buffer, sizeof buffer);
  if (length == 0 || length >= sizeof buffer) return std::string();
  return std::string(buffer, length);
}
