// A test-only writer of RAR 5.0 archives with stored (uncompressed) entries, for entries the rar tool will not
// make: unsafe names, chosen host systems and attributes, declared sizes that differ from the data, bad CRCs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct Rar5Entry {
  std::string name;  // UTF-8, "/" between folders
  std::string data;
  bool directory = false;       // the header's directory flag
  unsigned hostOs = 0;          // 0 Windows, 1 Unix
  uint64_t attributes = 0x20;   // Windows attributes or Unix mode, as the host means them
  uint64_t declaredSize = 0;    // unpacked size in the header; 0: the data's size
  bool corruptDataCrc = false;  // store a data CRC32 that does not match
  uint64_t modified = 0;        // FILETIME of the last change, in an extra record; 0: none
};

// The archive's bytes: signature, main header, one file header with its data per entry, end-of-archive header.
std::string Rar5Archive(const std::vector<Rar5Entry>& entries);
// Writes the archive to a file (Windows path).
void WriteRar5Archive(const std::string& path, const std::vector<Rar5Entry>& entries);
