// Run-time binding of the RAR extraction library "unrar.dll" and thin wrappers around the entry points we call.
//
// The library's char interface takes destination paths and gives entry names in the OEM code page (the archive
// path it takes as ANSI); the wrappers convert at this boundary, so every text above them is ANSI.
#pragma once

#include <windows.h>

#include <string>

#include "unique_handle.h"

// Records of the library's published interface (stdcall), packed as its own header packs them: without gaps, which
// matters where a pointer follows a field whose end is not aligned for it (64-bit builds).
#pragma pack(push, 1)
struct RAROpenArchiveData {
  char* ArcName;
  unsigned int OpenMode;
  unsigned int OpenResult;
  char* CmtBuf;
  unsigned int CmtBufSize;
  unsigned int CmtSize;
  unsigned int CmtState;
};

// The basic header form with 260-character name fields.
struct RARHeaderData {
  char ArcName[260];
  char FileName[260];
  unsigned int Flags;
  unsigned int PackSize;
  unsigned int UnpSize;
  unsigned int HostOS;
  unsigned int FileCRC;
  unsigned int FileTime;
  unsigned int UnpVer;
  unsigned int Method;
  unsigned int FileAttr;
  char* CmtBuf;
  unsigned int CmtBufSize;
  unsigned int CmtSize;
  unsigned int CmtState;
};

// The extended header form: 1024-character names, the Unicode name and full-precision times among them.
struct RARHeaderDataEx {
  char ArcName[1024];
  wchar_t ArcNameW[1024];
  char FileName[1024];
  wchar_t FileNameW[1024];
  unsigned int Flags;
  unsigned int PackSize;
  unsigned int PackSizeHigh;
  unsigned int UnpSize;
  unsigned int UnpSizeHigh;
  unsigned int HostOS;
  unsigned int FileCRC;
  unsigned int FileTime;
  unsigned int UnpVer;
  unsigned int Method;
  unsigned int FileAttr;
  char* CmtBuf;
  unsigned int CmtBufSize;
  unsigned int CmtSize;
  unsigned int CmtState;
  unsigned int DictSize;
  unsigned int HashType;
  char Hash[32];
  unsigned int RedirType;  // 0: a plain file or folder; otherwise a link of some kind
  wchar_t* RedirName;
  unsigned int RedirNameSize;
  unsigned int DirTarget;
  unsigned int MtimeLow;  // FILETIME of the last change; 0 when the archive holds none
  unsigned int MtimeHigh;
  unsigned int CtimeLow;
  unsigned int CtimeHigh;
  unsigned int AtimeLow;
  unsigned int AtimeHigh;
  unsigned int Reserved[988];
};

#pragma pack(pop)

// Receives each piece of an entry's data while the library unpacks it; 0 stops the unpacking.
using RarDataProc = int(WINAPI*)(unsigned char* data, int size);

// Open modes.
constexpr unsigned int RAR_OM_LIST = 0;     // headers only; entries can only be skipped
constexpr unsigned int RAR_OM_EXTRACT = 1;  // entries can be extracted

// Operations of ProcessRarFile.
constexpr int RAR_SKIP = 0;
constexpr int RAR_TEST = 1;  // unpacked and checked, nothing written
constexpr int RAR_EXTRACT = 2;

// Result codes of the library.
constexpr int ERAR_SUCCESS = 0;
constexpr int ERAR_END_ARCHIVE = 10;
constexpr int ERAR_NO_MEMORY = 11;
constexpr int ERAR_BAD_DATA = 12;
constexpr int ERAR_BAD_ARCHIVE = 13;
constexpr int ERAR_UNKNOWN_FORMAT = 14;
constexpr int ERAR_EOPEN = 15;
constexpr int ERAR_ECREATE = 16;
constexpr int ERAR_ECLOSE = 17;
constexpr int ERAR_EREAD = 18;
constexpr int ERAR_EWRITE = 19;
constexpr int ERAR_MISSING_PASSWORD = 22;
constexpr int ERAR_BAD_PASSWORD = 24;

// RARHeaderData.Flags: the entry is a folder.
constexpr unsigned int RHDF_DIRECTORY = 0x20;
// RARHeaderData.HostOS values.
constexpr unsigned int RAR_HOST_MSDOS = 0;
constexpr unsigned int RAR_HOST_OS2 = 1;
constexpr unsigned int RAR_HOST_WIN32 = 2;
constexpr unsigned int RAR_HOST_UNIX = 3;
constexpr unsigned int RAR_HOST_BEOS = 5;

// The library name that EnsureUnrarLibrary loads and that a load failure reports.
constexpr const char* kUnrarLibraryName = "unrar.dll";

// Loads the library with LoadLibraryA, a relative name taken from the running program's folder (the name itself
// unchanged), and binds the seven entry points by name; a missing one stays unbound. A library already loaded is
// unloaded first. Raises "Can not load unrar.dll" when no module is returned, whatever name was asked for.
void LoadUnrarLibrary(const std::string& libraryName);
// Frees the library when one is loaded; otherwise does nothing.
void UnloadUnrarLibrary();
// Loads "unrar.dll" when nothing is loaded. Raises as LoadUnrarLibrary does.
void EnsureUnrarLibrary();
bool UnrarLibraryLoaded();

// The wrappers. Each loads the library first when needed, and raises "Can not find %s in unrar.dll"
// instead of calling an entry point the library does not export.

// Opens the archive; the archive handle, or null when the library cannot open it.
HANDLE OpenRarArchive(const std::string& archiveName, unsigned int openMode);
// Closes an archive handle. Never raises: does nothing when the library is gone.
void CloseRarArchive(HANDLE archive) noexcept;
// Reads the next header; 0 when one was read (its FileName converted to ANSI), else the library's code
// (ERAR_END_ARCHIVE after the last entry).
int ReadRarHeader(HANDLE archive, RARHeaderData& header);
// Processes the current entry; an empty destPath or destName is passed as null. Returns the library's code.
int ProcessRarFile(HANDLE archive, int operation, const std::string& destPath, const std::string& destName);

// True when the library hands out entries' data (RARSetProcessDataProc) and extended headers (RARReadHeaderEx).
bool RarLibraryStreamsData();
// Reads the next header in the extended form; header gets the basic fields exactly as ReadRarHeader gives them.
int ReadRarHeaderEx(HANDLE archive, RARHeaderData& header, RARHeaderDataEx& extended);
// From now on the archive hands every piece of data it unpacks (tested or extracted) to proc; null: to nobody.
void SetRarDataProc(HANDLE archive, RarDataProc proc);

struct RarArchiveTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { CloseRarArchive(h); }
};
using UniqueRarArchive = UniqueHandle<RarArchiveTraits>;  // CloseRarArchive

// The entry's path inside the archive: FileName up to its NUL, all 260 characters when it has none.
std::string RarEntryPath(const RARHeaderData& header);
