// bench_extract.exe: the limit of an installation, a bare extraction loop over unrar.dll.
//
// Usage: bench_extract.exe [--test | --list] UNRAR_DLL ARCHIVE DEST_DIR
// Loads the library, opens the archive for extraction, extracts every entry below DEST_DIR, closes the archive and
// frees the library; prints "microseconds N entries M walk W": N for all of that, W from the library loaded to the
// archive closed. With --test every entry is only unpacked and checked (the library's test mode: nothing is
// written), the floor under any extraction. With --list the archive is opened for its headers only and every entry
// skipped, the floor under a pass that counts the entries. Exit code 0, or 1 when the library or the archive cannot
// be opened or an entry fails.
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

int Extract(const char* library, char* archiveName, char* destDir, int operation, long& entries, long long& loaded) {
  UniqueModule module(LoadLibraryA(library));
  if (!module) return 1;
  auto open = EntryPoint<OpenArchiveProc>(module.get(), "RAROpenArchive");
  auto close = EntryPoint<CloseArchiveProc>(module.get(), "RARCloseArchive");
  auto readHeader = EntryPoint<ReadHeaderProc>(module.get(), "RARReadHeader");
  auto process = EntryPoint<ProcessFileProc>(module.get(), "RARProcessFile");
  if (open == nullptr || close == nullptr || readHeader == nullptr || process == nullptr) return 1;
  loaded = Now();
  RAROpenArchiveData data{};
  data.ArcName = archiveName;
  data.OpenMode = operation == RAR_SKIP ? RAR_OM_LIST : RAR_OM_EXTRACT;
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
  const bool list = argc == 5 && std::strcmp(argv[1], "--list") == 0;
  if (argc != 4 && !test && !list) {
    std::fprintf(stderr, "usage: bench_extract.exe [--test | --list] UNRAR_DLL ARCHIVE DEST_DIR\n");
    return 2;
  }
  if (test || list) ++argv;
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  long entries = 0;
  const long long start = Now();
  long long loaded = start;
  const int result = Extract(argv[1], argv[2], argv[3],
                             test   ? RAR_TEST
                             : list ? RAR_SKIP
                                    : RAR_EXTRACT,
                             entries, loaded);
  const long long end = Now();
  std::printf("microseconds %lld entries %ld walk %lld\n", (end - start) * 1000000 / frequency.QuadPart, entries,
              (end - loaded) * 1000000 / frequency.QuadPart);
  return result;
}
