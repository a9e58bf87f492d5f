// bench_delete.exe: the limits of an uninstallation's file step.
//
// Usage: bench_delete.exe [--counters] LIST_FILE
// Reads the list (one full path a line), then deletes every file with DeleteFileA and prints
// "microseconds N deleted M" for the loop alone. With --counters each file first gets an install counter of 1 in a
// scratch key (untimed), and the loop reads and deletes the file's counter before the file: the least an
// uninstaller that keeps a counter per file has to do. Exit code 0 when every file went, 1 otherwise.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "registry.h"
#include "text_file.h"

namespace {
constexpr const char* kScratchKey = "Software\\OrvBench\\InstalledFiles";
}

int main(int argc, char** argv) {
  const bool counters = argc == 3 && std::string(argv[1]) == "--counters";
  if (argc != (counters ? 3 : 2)) {
    std::fprintf(stderr, "usage: bench_delete.exe [--counters] LIST_FILE\n");
    return 2;
  }
  const std::vector<std::string> paths = ReadTextLines(argv[argc - 1]);
  RegistryKey key;
  if (counters) {
    key = RegistryKey::Create(HKEY_CURRENT_USER, kScratchKey);
    for (const std::string& path : paths) key.WriteDword(path, 1);
  }
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  long deleted = 0;
  for (const std::string& path : paths) {
    if (counters && key.ReadDword(path).value_or(0) == 1) key.DeleteValue(path);
    if (DeleteFileA(path.c_str())) ++deleted;
  }
  QueryPerformanceCounter(&end);
  if (counters) {
    key.Close();
    DeleteRegistryTree(HKEY_CURRENT_USER, "Software\\OrvBench");
  }
  std::printf("microseconds %lld deleted %ld\n", (end.QuadPart - start.QuadPart) * 1000000 / frequency.QuadPart,
              deleted);
  return deleted == static_cast<long>(paths.size()) ? 0 : 1;
}
