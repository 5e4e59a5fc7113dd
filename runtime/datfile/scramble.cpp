#include "runtime/datfile/scramble.h"

#include <cstddef>

namespace zuna::datfile {
namespace {

// A 32-bit finaliser (good avalanche: neighbouring units get unrelated words,
// so runs of equal plain bytes, such as space padding, do not show through).
uint16_t UnitWord(ScrambleKey key, uint32_t unit) {
  uint32_t x = (static_cast<uint32_t>(key) << 16) ^ (unit * 0x9E3779B9u);
  x ^= x >> 16;
  x *= 0x7FEB352Du;
  x ^= x >> 15;
  x *= 0x846CA68Bu;
  x ^= x >> 16;
  return static_cast<uint16_t>(x ^ (x >> 16));
}

}  // namespace

ScrambleKey OwnerKey(std::string_view owner) {
  // FNV-1a over the bytes, folded to 16 bits.
  uint32_t hash = 2166136261u;
  for (char c : owner) {
    hash ^= static_cast<uint8_t>(c);
    hash *= 16777619u;
  }
  const auto key = static_cast<uint16_t>(hash ^ (hash >> 16));
  return key == 0 ? 0x5EC5 : key;
}

void Scramble(ScrambleKey key, std::span<char> bytes) {
  const size_t units = bytes.size() / 2;
  for (size_t i = 0; i < units; ++i) {
    const uint16_t word = UnitWord(key, static_cast<uint32_t>(i));
    bytes[2 * i] = static_cast<char>(static_cast<uint8_t>(bytes[2 * i]) ^
                                     static_cast<uint8_t>(word));
    bytes[2 * i + 1] = static_cast<char>(
        static_cast<uint8_t>(bytes[2 * i + 1]) ^ static_cast<uint8_t>(word >> 8));
  }
}

}  // namespace zuna::datfile
