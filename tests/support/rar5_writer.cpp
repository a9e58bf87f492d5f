// RAR 5.0 archives with stored entries, written byte by byte for tests.
#include "rar5_writer.h"

#include "scratch_registry.h"

namespace {
// Standard CRC-32 (polynomial 0xEDB88320), as the format uses for headers and data.
uint32_t Crc32(const std::string& bytes) {
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char byte : bytes) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

// Variable-length integer: 7 bits per byte, lowest first, high bit set on every byte but the last.
std::string Vint(uint64_t value) {
  std::string bytes;
  do {
    uint8_t byte = value & 0x7F;
    value >>= 7;
    if (value != 0) byte |= 0x80;
    bytes += static_cast<char>(byte);
  } while (value != 0);
  return bytes;
}

std::string Uint32(uint32_t value) {
  std::string bytes;
  for (int i = 0; i < 4; ++i) bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
  return bytes;
}

// A block: CRC32 of what follows it, the size of the fields after the size, then those fields.
std::string Block(const std::string& fields) {
  std::string sized = Vint(fields.size()) + fields;
  return Uint32(Crc32(sized)) + sized;
}

constexpr uint64_t kMainHeader = 1, kFileHeader = 2, kEndHeader = 5;
constexpr uint64_t kHasExtraArea = 0x0001, kHasDataArea = 0x0002;
constexpr uint64_t kTimeRecord = 3, kHasModified = 0x0002;
constexpr uint64_t kDirectory = 0x0001, kHasDataCrc = 0x0004;
}  // namespace

std::string Rar5Archive(const std::vector<Rar5Entry>& entries) {
  std::string archive("Rar!\x1A\x07\x01\x00", 8);
  archive += Block(Vint(kMainHeader) + Vint(0) + Vint(0));
  for (const Rar5Entry& entry : entries) {
    uint32_t dataCrc = Crc32(entry.data) ^ (entry.corruptDataCrc ? 1u : 0u);
    std::string extra;
    if (entry.modified != 0) {
      const std::string record = Vint(kTimeRecord) + Vint(kHasModified) + Uint32(entry.modified & 0xFFFFFFFFu) +
                                 Uint32(static_cast<uint32_t>(entry.modified >> 32));
      extra = Vint(record.size()) + record;
    }
    std::string fields = Vint(kFileHeader) + Vint(kHasDataArea | (extra.empty() ? 0 : kHasExtraArea));
    if (!extra.empty()) fields += Vint(extra.size());
    fields += Vint(entry.data.size());
    fields += Vint((entry.directory ? kDirectory : 0) | kHasDataCrc);
    fields += Vint(entry.declaredSize != 0 ? entry.declaredSize : entry.data.size());
    fields += Vint(entry.attributes) + Uint32(dataCrc);
    fields += Vint(0);  // compression: format version 0, method 0 (stored)
    fields += Vint(entry.hostOs) + Vint(entry.name.size()) + entry.name + extra;
    archive += Block(fields) + entry.data;
  }
  archive += Block(Vint(kEndHeader) + Vint(0) + Vint(0));
  return archive;
}

void WriteRar5Archive(const std::string& path, const std::vector<Rar5Entry>& entries) {
  WriteFileBytes(path, Rar5Archive(entries));
}
