// The data a single-file setup carries behind its own program image, as tools/package_product.py --single-file
// writes it. It starts where the program's last section ends in the file (read from the program's own headers: a
// signature is appended after the data, so the end of the file says nothing) and holds, little-endian:
//   "OrvSetup" "\x1a\x01"                      what follows is this layout
//   u32 count                                  the number of files, then for each file:
//   u32 name length, the name, u64 size        a plain file name, no folder part
//   the contents of each file, in that order
//   u32 CRC-32 (as zlib computes it) of everything from the first byte of the layout to the last byte of contents
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "unique_handle.h"

class SingleFileData {
 public:
  struct File {
    std::string name;
    ULONGLONG size = 0;
  };

  // Opens the running program's file, kept from being written until this object is gone, and checks the data
  // behind the image against its checksum. False when the file cannot be read or the data is damaged or cut short.
  bool Open();
  // Writes every file into the folder (with a trailing backslash), none of them there before. False with the system's
  // error code (GetLastError) when one could not be written.
  bool ExtractTo(const std::string& folder);

 private:
  UniqueFile file_;
  std::vector<File> files_;
  // Offset in the program file of the first file's contents.
  LONGLONG contentsStart_ = 0;
};
