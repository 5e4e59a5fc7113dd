// Pieces of the key tree shared by the key file, BUILD and the checker: one
// node held in memory (the 512-byte block and accessors for its fields and
// entries, layout in key_format.h), the entry order, and the header checks.
// Not a contract for anyone outside runtime/datfile.
//
// The accessors trust count() to be at most the node's capacity: whoever
// reads a node from disk checks the count byte before touching entries.
#ifndef ZUNA_RUNTIME_DATFILE_KEY_TREE_INTERNAL_H_
#define ZUNA_RUNTIME_DATFILE_KEY_TREE_INTERNAL_H_

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "runtime/datfile/coding.h"
#include "runtime/datfile/key_file.h"
#include "runtime/datfile/key_format.h"

namespace zuna::datfile {

class KeyNode {
 public:
  KeyNode() { Clear(); }

  void Clear() { block_.fill(0); }

  std::span<char> block() { return block_; }
  std::span<const char> block() const { return block_; }

  uint8_t count() const {
    return static_cast<uint8_t>(block_[kNodeCountOffset]);
  }
  void set_count(uint8_t count) {
    block_[kNodeCountOffset] = static_cast<char>(count);
  }
  uint32_t right() const { return DecodeFixed32(&block_[kNodeRightOffset]); }
  uint32_t left() const { return DecodeFixed32(&block_[kNodeLeftOffset]); }
  uint32_t parent() const { return DecodeFixed32(&block_[kNodeParentOffset]); }
  void set_right(uint32_t n) { EncodeFixed32(&block_[kNodeRightOffset], n); }
  void set_left(uint32_t n) { EncodeFixed32(&block_[kNodeLeftOffset], n); }
  void set_parent(uint32_t n) { EncodeFixed32(&block_[kNodeParentOffset], n); }

  // REQUIRES (entry accessors): (i + 1) * entry_length <= kNodeSpace.
  char* entry(size_t i, size_t entry_length) {
    return &block_[kNodeEntriesOffset + i * entry_length];
  }
  const char* entry(size_t i, size_t entry_length) const {
    return &block_[kNodeEntriesOffset + i * entry_length];
  }
  // The record number (leaf) or child node (inner node) of entry i.
  uint32_t number(size_t i, size_t entry_length) const {
    return DecodeFixed32(entry(i, entry_length));
  }
  void set_number(size_t i, size_t entry_length, uint32_t n) {
    EncodeFixed32(entry(i, entry_length), n);
  }
  const char* value(size_t i, size_t entry_length) const {
    return entry(i, entry_length) + kEntryNumberSize;
  }
  char* value(size_t i, size_t entry_length) {
    return entry(i, entry_length) + kEntryNumberSize;
  }

  // Puts `entry` at position i, moving entries i.. up one place.
  // REQUIRES: i <= count() and count() < kNodeSpace / entry_length.
  void InsertEntry(size_t i, const char* entry_image, size_t entry_length) {
    char* at = entry(i, entry_length);
    std::memmove(at + entry_length, at, (count() - i) * entry_length);
    std::memcpy(at, entry_image, entry_length);
    set_count(static_cast<uint8_t>(count() + 1));
  }

  // Removes entry i, moving the following entries down; the freed tail is
  // zeroed, keeping the "rest of the block is zero" rule.
  // REQUIRES: i < count().
  void RemoveEntry(size_t i, size_t entry_length) {
    char* at = entry(i, entry_length);
    const size_t after = (count() - i - 1) * entry_length;
    std::memmove(at, at + entry_length, after);
    std::memset(at + after, 0, entry_length);
    set_count(static_cast<uint8_t>(count() - 1));
  }

  // Keeps entries [first, count) only, moved to the front; the tail is
  // zeroed.  REQUIRES: first <= count().
  void DropFront(size_t first, size_t entry_length) {
    char* base = entry(0, entry_length);
    const size_t kept = (count() - first) * entry_length;
    std::memmove(base, base + first * entry_length, kept);
    std::memset(base + kept, 0, first * entry_length);
    set_count(static_cast<uint8_t>(count() - first));
  }

 private:
  std::array<char, kKeyBlockSize> block_;
};

// The byte offset of block `node_no` (block 0 is the header).
inline uint64_t BlockOffset(uint32_t node_no) {
  return uint64_t{node_no} * kKeyBlockSize;
}

// A direct-mapped cache of node images, indexed by node number.  A clean
// slot equals the block on disk as its KeyFile last read or wrote it; a
// dirty one (write-back, see KeyFile::SetWriteBack) is newer than the
// disk and must be written before its slot is reused.  The slots are
// allocated at the first use.
class NodeCache {
 public:
  static constexpr size_t kSlots = 512;            // 256 KiB of blocks
  static constexpr size_t kWriteBackSlots = 16384;  // 8 MiB, bulk loads
  // The most a large cache (KeyFile::SetLargeCache) grows to: 64 MiB, a
  // tree of about six million entries of a 30-byte key.
  static constexpr size_t kMostLargeSlots = 131072;

  struct Slot {
    uint32_t node_no = 0;  // 0: empty
    bool dirty = false;
    KeyNode node;
  };

  bool Get(uint32_t node_no, KeyNode* node) const {
    if (slots_.empty()) return false;
    const Slot& slot = slots_[node_no % slots_.size()];
    if (slot.node_no != node_no) return false;
    *node = slot.node;
    return true;
  }
  // The cached image of `node_no` in place; null when not cached.
  const KeyNode* Find(uint32_t node_no) const {
    if (slots_.empty()) return nullptr;
    const Slot& slot = slots_[node_no % slots_.size()];
    return slot.node_no == node_no ? &slot.node : nullptr;
  }
  // The slot `node_no` goes into; the caller writes out a dirty occupant.
  Slot& SlotFor(uint32_t node_no) {
    if (slots_.empty()) slots_.resize(size_);
    return slots_[node_no % slots_.size()];
  }
  // Forgets every slot, dirty ones included (the tree they belong to is
  // gone or was never written).
  void Clear() {
    for (Slot& slot : slots_) {
      slot.node_no = 0;
      slot.dirty = false;
    }
  }
  // The number of slots from the next allocation on.  REQUIRES: no slot
  // is dirty.
  void Resize(size_t slots) {
    if (slots == size_) return;
    size_ = slots;
    slots_.clear();
  }
  std::vector<Slot>& slots() { return slots_; }
  // The number of slots (allocated or not yet).
  size_t size() const { return size_; }

 private:
  size_t size_ = kSlots;
  std::vector<Slot> slots_;
};

// Node images by node number, for the few nodes one change touches (a
// split that re-parents children: a node's worth): a flat list that keeps
// its room from change to change, so that a change allocates nothing.
class NodeImages {
 public:
  using Image = std::pair<uint32_t, KeyNode>;

  const KeyNode* Find(uint32_t node_no) const {
    for (size_t i = 0; i < size_; ++i) {
      if (images_[i].first == node_no) return &images_[i].second;
    }
    return nullptr;
  }
  bool contains(uint32_t node_no) const { return Find(node_no) != nullptr; }
  // Makes `node` the image of `node_no`: added, or put in place of the one
  // there when `replace` (else that one stays).
  void Put(uint32_t node_no, const KeyNode& node, bool replace) {
    for (size_t i = 0; i < size_; ++i) {
      if (images_[i].first != node_no) continue;
      if (replace) images_[i].second = node;
      return;
    }
    if (size_ == images_.size()) {
      images_.emplace_back(node_no, node);
    } else {
      images_[size_] = Image(node_no, node);
    }
    ++size_;
  }
  void clear() { size_ = 0; }
  // The images in node order.
  std::span<const Image> Sorted() {
    std::sort(images_.begin(), images_.begin() + static_cast<ptrdiff_t>(size_),
              [](const Image& a, const Image& b) { return a.first < b.first; });
    return {images_.data(), size_};
  }
  std::span<const Image> images() const { return {images_.data(), size_}; }

 private:
  std::vector<Image> images_;
  size_t size_ = 0;
};

// An Insert or Delete under way (key_file.h, "Writing a change"): the state
// before it and the node images it has produced so far.
struct KeyFile::StagedChange {
  KeyHeader header;     // the header before the change
  KeyNode root;         // the root before the change
  NodeImages written;   // node -> its new image
  NodeImages replaced;  // node -> its image on disk before
};

// Orders two entries as the key does: value bytes unsigned, then record
// number.  Negative, zero or positive.
inline int CompareEntries(const char* a, const char* b, size_t key_length) {
  const int by_value =
      std::memcmp(a + kEntryNumberSize, b + kEntryNumberSize, key_length);
  if (by_value != 0) return by_value;
  const uint32_t ra = DecodeFixed32(a);
  const uint32_t rb = DecodeFixed32(b);
  return ra < rb ? -1 : (ra > rb ? 1 : 0);
}

// Whether the node `named`, which the right link of inner node `node_no`
// names, is that node's rightmost child (its parent field names the node,
// and its left link does not: a node of the same level linked back would)
// rather than the next node of its level (invariant 4 of key_file.h).
inline bool IsRightmostChild(uint32_t node_no, const KeyNode& named) {
  return named.parent() == node_no && named.left() != node_no;
}

// The tallest tree a header may claim.  Real trees stay far lower (two
// entries a node, 20000 random inserts: height 23; BUILD: about log2 of the
// entry count), so anything above is damage, and every walk up or down the
// tree, the checker's included, is bounded by it.
inline constexpr uint32_t kMaxKeyHeight = 255;

// What is wrong with header `h` of a key file of `file_size` bytes whose
// declaration asks for `layout` (invariant 1 of key_file.h), one sentence
// per fault; empty when nothing is.  After a fault here the tree must not
// be walked.
std::vector<std::string> KeyHeaderFaults(const KeyHeader& h,
                                         const KeyLayout& layout,
                                         uint64_t file_size);

}  // namespace zuna::datfile

#endif  // ZUNA_RUNTIME_DATFILE_KEY_TREE_INTERNAL_H_
