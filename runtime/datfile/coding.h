// Little-endian encoding of the integers in data, memo, key and log files.
//
// Written as byte shifts, not memcpy into integers or casts of pointers:
// the layout is then independent of the host, and compilers still emit one
// move.  Signed values pass through their unsigned type.
// REQUIRES (every function): the buffer holds at least the bytes touched.
#ifndef ZUNA_RUNTIME_DATFILE_CODING_H_
#define ZUNA_RUNTIME_DATFILE_CODING_H_

#include <cstdint>

namespace zuna::datfile {

inline void EncodeFixed16(char* dst, uint16_t value) {
  auto* p = reinterpret_cast<uint8_t*>(dst);
  p[0] = static_cast<uint8_t>(value);
  p[1] = static_cast<uint8_t>(value >> 8);
}

inline void EncodeFixed32(char* dst, uint32_t value) {
  auto* p = reinterpret_cast<uint8_t*>(dst);
  p[0] = static_cast<uint8_t>(value);
  p[1] = static_cast<uint8_t>(value >> 8);
  p[2] = static_cast<uint8_t>(value >> 16);
  p[3] = static_cast<uint8_t>(value >> 24);
}

inline uint16_t DecodeFixed16(const char* src) {
  const auto* p = reinterpret_cast<const uint8_t*>(src);
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline uint32_t DecodeFixed32(const char* src) {
  const auto* p = reinterpret_cast<const uint8_t*>(src);
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace zuna::datfile

#endif  // ZUNA_RUNTIME_DATFILE_CODING_H_
