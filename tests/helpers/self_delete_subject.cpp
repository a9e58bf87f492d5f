// Test subject for the self-deleting batch: hands its own running program file to DeleteFileViaBatch and ends.
// Arguments: "raise" or "ignore" (the variant that raises when the batch cannot be written, or the one that does
// not), then the folders for the batch to remove.
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "path_utils.h"
#include "self_delete.h"

int main(int argc, char** argv) {
  bool raise = argc > 1 && std::strcmp(argv[1], "raise") == 0;
  std::vector<std::string> folders;
  for (int i = 2; i < argc; ++i) folders.push_back(argv[i]);
  DeleteFileViaBatch(ModuleFileName(), raise ? BatchWriteErrors::Raise : BatchWriteErrors::Ignore, folders);
  return 0;
}
