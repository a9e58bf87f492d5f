// bench_delete.exe: the limit of an uninstallation's file step, a bare DeleteFileA loop.
//
// Usage: bench_delete.exe LIST_FILE
// Reads the list (one full path a line), then deletes every file with DeleteFileA and prints
// "microseconds N deleted M" for the loop alone. Exit code 0 when every file went, 1 otherwise.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "text_file.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: bench_delete.exe LIST_FILE\n");
    return 2;
  }
  const std::vector<std::string> paths = ReadTextLines(argv[1]);
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  long deleted = 0;
  for (const std::string& path : paths)
    if (DeleteFileA(path.c_str())) ++deleted;
  QueryPerformanceCounter(&end);
  std::printf("microseconds %lld deleted %ld\n", (end.QuadPart - start.QuadPart) * 1000000 / frequency.QuadPart,
              deleted);
  return deleted == static_cast<long>(paths.size()) ? 0 : 1;
}
