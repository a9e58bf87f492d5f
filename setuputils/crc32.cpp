// CRC-32, a table-driven byte at a time.
#include "crc32.h"

namespace {
struct Crc32Table {
  Crc32Table() {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t value = i;
      for (int bit = 0; bit < 8; ++bit) value = (value & 1) != 0 ? 0xEDB88320u ^ (value >> 1) : value >> 1;
      entries[i] = value;
    }
  }
  uint32_t entries[256];
};
const Crc32Table table;
}  // namespace

void Crc32::Add(const void* data, size_t size) {
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i < size; ++i) crc_ = table.entries[(crc_ ^ bytes[i]) & 0xFF] ^ (crc_ >> 8);
}
