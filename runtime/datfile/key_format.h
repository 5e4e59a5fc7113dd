// The key file format: one B+-tree of fixed 512-byte blocks per KEY or INDEX.
// Every offset, size and limit of the format is a named constant here; the
// key file, BUILD and the checker all read and write through them.
//
// Block b lies at byte b * 512.  Block 0 is the key header, blocks 1 and up
// are nodes.  A new key file is exactly 1024 bytes: the header block and an
// empty root leaf, node 1.  All integers are little-endian (coding.h); the
// key values inside entries are the order-preserving encoding of
// key_encoding.h, compared as unsigned bytes.
//
// Key header (block 0; bytes 35-511 are zero):
//
//   OFFSET SIZE FIELD             MEANING
//        0    4 root              node number of the root (1 in a new file)
//        4    4 entry count       entries in the leaves (RECORDS on the key)
//        8    4 node count        highest node number allocated
//       12    4 last leaf         node number of the rightmost leaf
//       16    4 last record       record number of the last entry (0: none)
//       20    4 first record      record number of the first entry (0: none)
//       24    4 free node         head of the chain of freed nodes (0: none)
//       28    1 key type          kKeyType* bits below
//       29    1 entries per node  kNodeSpace / entry length
//       30    1 component count
//       31    2 entry length      key length + 4
//       33    2 height            levels; 1 when the root is a leaf
//
// Node (blocks 1 ..):
//
//   OFFSET SIZE               FIELD       MEANING
//        0    1               count       entries in this node
//        1    4               right link  leaf: next leaf (0 at the last);
//                                         freed node: next free node;
//                                         inner node: 0, its rightmost
//                                         child or the next node of its
//                                         level (see key_file.h)
//        5    4               left link   leaf: previous leaf (0 at first);
//                                         inner node: 0 or the previous
//                                         node of its level
//        9    4               parent      parent node (0 at the root)
//       13    count * entry   entries     packed in key order; the rest of
//                   length                the block is zero
//
// Entry: a u32 then the key value (entry length - 4 bytes).  In a leaf the
// u32 is the record number; in an inner node it is a child node number and
// the value is the separator: the highest key value held under that child.
#ifndef ZUNA_RUNTIME_DATFILE_KEY_FORMAT_H_
#define ZUNA_RUNTIME_DATFILE_KEY_FORMAT_H_

#include <cstddef>
#include <cstdint>

#include "runtime/datfile/coding.h"

namespace zuna::datfile {

inline constexpr size_t kKeyBlockSize = 512;

// --- Key header (block 0). ---
inline constexpr size_t kKeyHeaderRootOffset = 0;
inline constexpr size_t kKeyHeaderEntryCountOffset = 4;
inline constexpr size_t kKeyHeaderNodeCountOffset = 8;
inline constexpr size_t kKeyHeaderLastLeafOffset = 12;
inline constexpr size_t kKeyHeaderLastRecordOffset = 16;
inline constexpr size_t kKeyHeaderFirstRecordOffset = 20;
inline constexpr size_t kKeyHeaderFreeNodeOffset = 24;
inline constexpr size_t kKeyHeaderKeyTypeOffset = 28;
inline constexpr size_t kKeyHeaderEntriesPerNodeOffset = 29;
inline constexpr size_t kKeyHeaderComponentCountOffset = 30;
inline constexpr size_t kKeyHeaderEntryLengthOffset = 31;
inline constexpr size_t kKeyHeaderHeightOffset = 33;
inline constexpr size_t kKeyHeaderSize = 35;

// Key type bits.
inline constexpr uint8_t kKeyTypeIndex = 0x01;
inline constexpr uint8_t kKeyTypeDuplicates = 0x10;  // DUP, and every INDEX
inline constexpr uint8_t kKeyTypeNoCase = 0x20;
inline constexpr uint8_t kKeyTypeNotOptional = 0x40;  // the key is not OPT
// The bits an open compares with the declaration.
inline constexpr uint8_t kKeyTypeCheckedBits =
    kKeyTypeDuplicates | kKeyTypeNoCase | kKeyTypeNotOptional;

// --- Node (blocks 1 and up). ---
inline constexpr size_t kNodeCountOffset = 0;
inline constexpr size_t kNodeRightOffset = 1;
inline constexpr size_t kNodeLeftOffset = 5;
inline constexpr size_t kNodeParentOffset = 9;
inline constexpr size_t kNodeEntriesOffset = 13;
// Bytes a node has for entries.
inline constexpr size_t kNodeSpace = kKeyBlockSize - kNodeEntriesOffset;

// --- Entries and limits. ---
inline constexpr size_t kEntryNumberSize = 4;  // record or child number
inline constexpr size_t kMaxKeyLength = 245;   // longer: error 88
inline constexpr size_t kMaxEntryLength = kMaxKeyLength + kEntryNumberSize;

// A new key file: the header block and the empty root.
inline constexpr uint64_t kNewKeyFileSize = 2 * kKeyBlockSize;

constexpr uint8_t EntriesPerNode(size_t entry_length) {
  return static_cast<uint8_t>(kNodeSpace / entry_length);
}

static_assert(kKeyHeaderHeightOffset + 2 == kKeyHeaderSize);
static_assert(kKeyHeaderSize <= kKeyBlockSize);
static_assert(kNodeParentOffset + 4 == kNodeEntriesOffset);
static_assert(kNodeSpace == 499);
// The longest key still gives two entries a node, so a split always leaves
// an entry on each side.
static_assert(kNodeSpace / kMaxEntryLength >= 2);
// The shortest entry (a record number and no value) still fits the u8 count
// and the u8 entries-per-node field.
static_assert(kNodeSpace / kEntryNumberSize <= 255);

// The shape of one key's entries, from its declaration (key_encoding.h,
// KeyLayoutFor) or from a key header.
struct KeyLayout {
  uint16_t key_length = 0;  // bytes of the encoded value
  uint16_t entry_length = kEntryNumberSize;
  uint8_t entries_per_node = EntriesPerNode(kEntryNumberSize);
  uint8_t component_count = 0;
  uint8_t key_type = 0;  // kKeyType* bits

  bool duplicates() const { return (key_type & kKeyTypeDuplicates) != 0; }
  bool optional() const { return (key_type & kKeyTypeNotOptional) == 0; }

  bool operator==(const KeyLayout&) const = default;
};

// REQUIRES: key_length <= kMaxKeyLength.
constexpr KeyLayout MakeKeyLayout(uint16_t key_length, uint8_t component_count,
                                  uint8_t key_type) {
  KeyLayout layout;
  layout.key_length = key_length;
  layout.entry_length = static_cast<uint16_t>(key_length + kEntryNumberSize);
  layout.entries_per_node = EntriesPerNode(layout.entry_length);
  layout.component_count = component_count;
  layout.key_type = key_type;
  return layout;
}

// The key header, decoded.  Plain value; validity against the file is the
// key file's business (every field here came from disk).
struct KeyHeader {
  uint32_t root = 1;
  uint32_t entry_count = 0;
  uint32_t node_count = 1;
  uint32_t last_leaf = 1;
  uint32_t last_record = 0;
  uint32_t first_record = 0;
  uint32_t free_node = 0;
  uint8_t key_type = 0;
  uint8_t entries_per_node = 0;
  uint8_t component_count = 0;
  uint16_t entry_length = 0;
  uint16_t height = 1;

  bool operator==(const KeyHeader&) const = default;
};

// REQUIRES: `block` holds at least kKeyHeaderSize bytes.  Writes only the
// kKeyHeaderSize header bytes; the caller zeroes the rest of the block.
inline void EncodeKeyHeader(const KeyHeader& h, char* block) {
  EncodeFixed32(block + kKeyHeaderRootOffset, h.root);
  EncodeFixed32(block + kKeyHeaderEntryCountOffset, h.entry_count);
  EncodeFixed32(block + kKeyHeaderNodeCountOffset, h.node_count);
  EncodeFixed32(block + kKeyHeaderLastLeafOffset, h.last_leaf);
  EncodeFixed32(block + kKeyHeaderLastRecordOffset, h.last_record);
  EncodeFixed32(block + kKeyHeaderFirstRecordOffset, h.first_record);
  EncodeFixed32(block + kKeyHeaderFreeNodeOffset, h.free_node);
  block[kKeyHeaderKeyTypeOffset] = static_cast<char>(h.key_type);
  block[kKeyHeaderEntriesPerNodeOffset] = static_cast<char>(h.entries_per_node);
  block[kKeyHeaderComponentCountOffset] = static_cast<char>(h.component_count);
  EncodeFixed16(block + kKeyHeaderEntryLengthOffset, h.entry_length);
  EncodeFixed16(block + kKeyHeaderHeightOffset, h.height);
}

// REQUIRES: `block` holds at least kKeyHeaderSize bytes.
inline KeyHeader DecodeKeyHeader(const char* block) {
  KeyHeader h;
  h.root = DecodeFixed32(block + kKeyHeaderRootOffset);
  h.entry_count = DecodeFixed32(block + kKeyHeaderEntryCountOffset);
  h.node_count = DecodeFixed32(block + kKeyHeaderNodeCountOffset);
  h.last_leaf = DecodeFixed32(block + kKeyHeaderLastLeafOffset);
  h.last_record = DecodeFixed32(block + kKeyHeaderLastRecordOffset);
  h.first_record = DecodeFixed32(block + kKeyHeaderFirstRecordOffset);
  h.free_node = DecodeFixed32(block + kKeyHeaderFreeNodeOffset);
  h.key_type = static_cast<uint8_t>(block[kKeyHeaderKeyTypeOffset]);
  h.entries_per_node =
      static_cast<uint8_t>(block[kKeyHeaderEntriesPerNodeOffset]);
  h.component_count =
      static_cast<uint8_t>(block[kKeyHeaderComponentCountOffset]);
  h.entry_length = DecodeFixed16(block + kKeyHeaderEntryLengthOffset);
  h.height = DecodeFixed16(block + kKeyHeaderHeightOffset);
  return h;
}

}  // namespace zuna::datfile

#endif  // ZUNA_RUNTIME_DATFILE_KEY_FORMAT_H_
