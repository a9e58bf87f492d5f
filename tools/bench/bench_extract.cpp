// bench_extract.exe: the limit of an installation, a bare extraction loop over unrar.dll.
//
// Usage: bench_extract.exe [--test] UNRAR_DLL ARCHIVE DEST_DIR
// Loads the library, opens the archive for extraction, extracts every entry below DEST_DIR, closes the archive and
// frees the library; prints "microseconds N entries M" for all of that. With --test every entry is only unpacked and
// checked (the library's test mode: nothing is written), the floor under any extraction. Exit code 0, or 1 when the
// library or the archive cannot be opened or an entry fails.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "unique_handle.h"
#include "unrar_library.h"

namespace {
using OpenArchiveProc = HANDLE(WINAPI*)(RAROpenArchiveData*);
using CloseArchiveProc = int(WINAPI*)(HANDLE);
using ReadHeaderProc = int(WINAPI*)(HANDLE, RARHeaderData*);
using ProcessFileProc = int(WINAPI*)(HANDLE, int, char*, char*);

long long Now() {
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return counter.QuadPart;
}

template <typename Proc>
Proc EntryPoint(HMODULE module, const char* name) {
  return reinterpret_cast<Proc>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

int Extract(const char* library, char* archiveName, char* destDir, int operation, long& entries) {
  UniqueModule module(LoadLibraryA(library));
  if (!module) return 1;
  auto open = EntryPoint<OpenArchiveProc>(module.get(), "RAROpenArchive");
  auto close = EntryPoint<CloseArchiveProc>(module.get(), "RARCloseArchive");
  auto readHeader = EntryPoint<ReadHeaderProc>(module.get(), "RARReadHeader");
  auto process = EntryPoint<ProcessFileProc>(module.get(), "RARProcessFile");
  if (open == nullptr || close == nullptr || readHeader == nullptr || process == nullptr) return 1;
  RAROpenArchiveData data{};
  data.ArcName = archiveName;
  data.OpenMode = RAR_OM_EXTRACT;
  HANDLE archive = open(&data);
  if (archive == nullptr) return 1;
  auto closeArchive = ScopeExit([&] { close(archive); });
  RARHeaderData header{};
  int code;
  while ((code = readHeader(archive, &header)) == ERAR_SUCCESS) {
    if (process(archive, operation, operation == RAR_EXTRACT ? destDir : nullptr, nullptr) != ERAR_SUCCESS) return 1;
    ++entries;
  }
  return code == ERAR_END_ARCHIVE ? 0 : 1;
}
}  // namespace

int main(int argc, char** argv) {
  const bool test = argc == 5 && std::strcmp(argv[1], "--test") == 0;
  if (argc != 4 && !test) {
    std::fprintf(stderr, "usage: bench_extract.exe [--test] UNRAR_DLL ARCHIVE DEST_DIR\n");
    return 2;
  }
  if (test) ++argv;
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  long entries = 0;
  const long long start = Now();
  const int result = Extract(argv[1], argv[2], argv[3], test ? RAR_TEST : RAR_EXTRACT, entries);
  const long long microseconds = (Now() - start) * 1000000 / frequency.QuadPart;
  std::printf("microseconds %lld entries %ld\n", microseconds, entries);
  return result;
}
