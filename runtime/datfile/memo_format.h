// The memo file (".MEM") byte for byte; integers little-endian (coding.h).
//
//   OFFSET                  SIZE  FIELD
//   0                       u16   signature 0x334D, the bytes "M3"
//   2                       u32   first free block, 0: none
//   6 + (b - 1) x 256       256   block b (1-based):
//
//   BLOCK OFFSET  SIZE  FIELD
//   0             u32   next block of the same chain, 0 in the last block
//   4             252   memo text; the last block padded with spaces
//                       (zero bytes for a BINARY memo); scrambled with ENCRYPT
//
// A memo is the chain starting at the block a live record's link names; a
// blank memo has no block (link 0).  Free blocks form one chain from the
// header's first free block, linked through the same next field.
#ifndef ZUNA_RUNTIME_DATFILE_MEMO_FORMAT_H_
#define ZUNA_RUNTIME_DATFILE_MEMO_FORMAT_H_

#include <cstddef>
#include <cstdint>

namespace zuna::datfile::memo {

inline constexpr uint16_t kSignature = 0x334D;  // "M3"
inline constexpr size_t kHeaderSize = 6;
inline constexpr size_t kSignatureOffset = 0;
inline constexpr size_t kFirstFreeOffset = 2;
static_assert(kFirstFreeOffset + 4 == kHeaderSize);

inline constexpr size_t kBlockSize = 256;
inline constexpr size_t kNextOffset = 0;
inline constexpr size_t kTextOffset = 4;
inline constexpr size_t kTextSize = kBlockSize - kTextOffset;  // 252
static_assert(kTextSize == 252);
static_assert(kTextSize % 2 == 0, "ENCRYPT scrambles whole 16-bit units");

// Byte offset of block `block` (1-based).
inline constexpr uint64_t BlockOffset(uint32_t block) {
  return kHeaderSize + static_cast<uint64_t>(block - 1) * kBlockSize;
}
static_assert(BlockOffset(1) == 6 && BlockOffset(2) == 262);

// Whole blocks in a memo file of `file_size` bytes; a torn partial block at
// the end does not count.
inline constexpr uint32_t BlockCount(uint64_t file_size) {
  if (file_size < kHeaderSize) return 0;
  const uint64_t blocks = (file_size - kHeaderSize) / kBlockSize;
  return blocks > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(blocks);
}

}  // namespace zuna::datfile::memo

#endif  // ZUNA_RUNTIME_DATFILE_MEMO_FORMAT_H_
