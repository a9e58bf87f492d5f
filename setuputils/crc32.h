// CRC-32 with the reflected polynomial 0xEDB88320, as RAR archives and zlib compute it.
#pragma once

#include <cstddef>
#include <cstdint>

class Crc32 {
 public:
  // Continues the checksum over the bytes.
  void Add(const void* data, size_t size);
  uint32_t Value() const { return ~crc_; }

 private:
  uint32_t crc_ = 0xFFFFFFFFu;
};
