// Run-time binding of "unrar.dll": the module, its entry points and the call wrappers.
#include "unrar_library.h"

#include <algorithm>
#include <cstring>

#include "path_utils.h"
#include "run_log.h"
#include "setup_error.h"

namespace {
// Bound in this order; neither volume changes nor passwords are ever asked for.
enum EntryPoint {
  epOpenArchive,
  epCloseArchive,
  epReadHeader,
  epProcessFile,
  epSetProcessDataProc = 5,
  epReadHeaderEx = 7,
  epCount
};
const char* const kEntryPointNames[epCount] = {
    "RAROpenArchive",      "RARCloseArchive",       "RARReadHeader",  "RARProcessFile",
    "RARSetChangeVolProc", "RARSetProcessDataProc", "RARSetPassword", "RARReadHeaderEx",
};

using OpenArchiveProc = HANDLE(WINAPI*)(RAROpenArchiveData*);
using CloseArchiveProc = int(WINAPI*)(HANDLE);
using ReadHeaderProc = int(WINAPI*)(HANDLE, RARHeaderData*);
using ProcessFileProc = int(WINAPI*)(HANDLE, int, char*, char*);
using SetProcessDataProc = void(WINAPI*)(HANDLE, RarDataProc);
using ReadHeaderExProc = int(WINAPI*)(HANDLE, RARHeaderDataEx*);

UniqueModule unrarModule;
// Stored untyped: each is cast to its own type where it is called.
void* entryPoints[epCount] = {};

SetupError MissingEntryPointError(const char* name) {
  return SetupError(FormatText("Can not find %s in %s", name, kUnrarLibraryName));
}

// The bound entry point, cast to its type; raises instead of handing out a missing one.
template <typename Proc>
Proc BoundEntryPoint(EntryPoint which) {
  EnsureUnrarLibrary();
  if (entryPoints[which] == nullptr) throw MissingEntryPointError(kEntryPointNames[which]);
  return reinterpret_cast<Proc>(entryPoints[which]);
}

// The library reads destination texts and writes entry names in the OEM code page.
std::string AnsiToOem(std::string text) {
  if (!text.empty()) CharToOemBuffA(text.c_str(), &text[0], static_cast<DWORD>(text.size()));
  return text;
}

void NameFromOem(RARHeaderData& header) {
  DWORD length = static_cast<DWORD>(strnlen(header.FileName, sizeof header.FileName));
  OemToCharBuffA(header.FileName, header.FileName, length);
}

template <size_t To, size_t From>
void CopyTerminated(char (&to)[To], const char (&from)[From]) {
  const size_t length = strnlen(from, std::min(To - 1, From));
  std::memcpy(to, from, length);
  to[length] = '\0';
}

// A null pointer for an empty text, as the library expects for "not given".
char* OptionalText(std::string& text) { return text.empty() ? nullptr : &text[0]; }
}  // namespace

void LoadUnrarLibrary(const std::string& libraryName) {
  UnloadUnrarLibrary();
  // By its full path: the DLL search is restricted to the system folder (program_entry.cpp), and a bare name would
  // be looked for in the current folder and PATH on a system without that restriction.
  HMODULE module = LoadLibraryA(ExpandFromExeDir(libraryName).c_str());
  if (module == nullptr) throw CannotLoadLibraryError(kUnrarLibraryName);
  unrarModule.reset(module);
  for (int i = 0; i < epCount; ++i)
    entryPoints[i] = reinterpret_cast<void*>(GetProcAddress(module, kEntryPointNames[i]));
}

void UnloadUnrarLibrary() {
  for (void*& entryPoint : entryPoints) entryPoint = nullptr;
  unrarModule.reset();
}

void EnsureUnrarLibrary() {
  if (!unrarModule) LoadUnrarLibrary(kUnrarLibraryName);
}

bool UnrarLibraryLoaded() { return unrarModule.valid(); }

HANDLE OpenRarArchive(const std::string& archiveName, unsigned int openMode) {
  auto open = BoundEntryPoint<OpenArchiveProc>(epOpenArchive);
  // An archive that cannot be closed again is never opened.
  BoundEntryPoint<CloseArchiveProc>(epCloseArchive);
  // The archive name is read in the code page of the file functions (ANSI, we never switch them to OEM).
  std::string name = archiveName;
  RAROpenArchiveData data;
  std::memset(&data, 0, sizeof data);
  data.ArcName = &name[0];
  data.OpenMode = openMode;
  HANDLE archive = open(&data);
  if (archive == nullptr)
    LogLine(FormatText("The archive %s could not be opened: the library reported error %u", archiveName.c_str(),
                       data.OpenResult));
  return archive;
}

void CloseRarArchive(HANDLE archive) noexcept {
  if (unrarModule && entryPoints[epCloseArchive] != nullptr)
    reinterpret_cast<CloseArchiveProc>(entryPoints[epCloseArchive])(archive);
}

int ReadRarHeader(HANDLE archive, RARHeaderData& header) {
  auto read = BoundEntryPoint<ReadHeaderProc>(epReadHeader);
  int result = read(archive, &header);
  if (result == ERAR_SUCCESS) NameFromOem(header);
  return result;
}

bool RarLibraryStreamsData() {
  EnsureUnrarLibrary();
  return entryPoints[epSetProcessDataProc] != nullptr && entryPoints[epReadHeaderEx] != nullptr;
}

int ReadRarHeaderEx(HANDLE archive, RARHeaderData& header, RARHeaderDataEx& extended) {
  auto read = BoundEntryPoint<ReadHeaderExProc>(epReadHeaderEx);
  std::memset(&extended, 0, sizeof extended);
  const int result = read(archive, &extended);
  // The basic form as the library makes it from the extended one: names cut to their fields, always terminated.
  std::memset(&header, 0, sizeof header);
  CopyTerminated(header.ArcName, extended.ArcName);
  CopyTerminated(header.FileName, extended.FileName);
  header.Flags = extended.Flags;
  header.PackSize = extended.PackSize;
  header.UnpSize = extended.UnpSize;
  header.HostOS = extended.HostOS;
  header.FileCRC = extended.FileCRC;
  header.FileTime = extended.FileTime;
  header.UnpVer = extended.UnpVer;
  header.Method = extended.Method;
  header.FileAttr = extended.FileAttr;
  if (result == ERAR_SUCCESS) NameFromOem(header);
  return result;
}

void SetRarDataProc(HANDLE archive, RarDataProc proc) {
  BoundEntryPoint<SetProcessDataProc>(epSetProcessDataProc)(archive, proc);
}

int ProcessRarFile(HANDLE archive, int operation, const std::string& destPath, const std::string& destName) {
  auto process = BoundEntryPoint<ProcessFileProc>(epProcessFile);
  std::string oemPath = AnsiToOem(destPath);
  std::string oemName = AnsiToOem(destName);
  return process(archive, operation, OptionalText(oemPath), OptionalText(oemName));
}

std::string RarEntryPath(const RARHeaderData& header) {
  return std::string(header.FileName, strnlen(header.FileName, sizeof header.FileName));
}
