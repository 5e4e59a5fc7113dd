// Opening, header I/O, node I/O, search and the read-only walks of a key
// file.  Insert and Delete are in key_file_update.cpp, the checker in
// key_check.cpp.
#include "runtime/datfile/key_file.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "runtime/datfile/key_tree_internal.h"

namespace zuna::datfile {
namespace {

// System errors from this number on mean "the key header cannot be read" and
// become 46; lower ones are passed on as they are.
constexpr int32_t kFirstUnreadableCode = 19;

Status HeaderReadFailure(const Status& status) {
  if (status.code() >= kFirstUnreadableCode) {
    return Status::Error(Err::kKeyFileMustBeRebuilt, status.detail());
  }
  return status;
}

}  // namespace

uint32_t KeyPosition::record_no() const {
  return entry.size() >= kEntryNumberSize ? DecodeFixed32(entry.data()) : 0;
}

KeyFile::KeyFile(std::unique_ptr<File> file, const KeyLayout& layout)
    : file_(std::move(file)),
      path_(file_->path()),
      layout_(layout),
      root_(std::make_unique<KeyNode>()),
      remembered_(std::make_unique<KeyNode>()),
      cache_(std::make_unique<NodeCache>()) {}

KeyFile::~KeyFile() = default;

Status KeyFile::Open(FileSystem& fs, const std::string& path,
                     const KeyLayout& layout, const KeyOpenParams& params,
                     std::unique_ptr<KeyFile>* key_file) {
  key_file->reset();
  std::unique_ptr<File> file;
  Status status = fs.Open(path, params.file, &file);
  if (!status.ok()) {
    if (status.code() == Err::kFileNotFound) {
      return Status::Error(Err::kKeyFileMustBeRebuilt,
                           path + ": key file missing");
    }
    return status;
  }
  std::unique_ptr<KeyFile> key(new KeyFile(std::move(file), layout));
  ZUNA_RETURN_IF_ERROR(key->ReadHeaderAndRoot());
  if (!layout.optional() && !params.ignore_corruptions &&
      key->header_.entry_count != params.records) {
    return key->Corrupt("entry count " +
                        std::to_string(key->header_.entry_count) +
                        " but the data file holds " +
                        std::to_string(params.records) + " records");
  }
  *key_file = std::move(key);
  return Status::OK();
}

Status KeyFile::Create(FileSystem& fs, const std::string& path,
                       const KeyLayout& layout, const OpenOptions& options,
                       std::unique_ptr<KeyFile>* key_file) {
  key_file->reset();
  OpenOptions create = options;
  create.write = true;
  create.create = true;
  create.truncate = true;
  std::unique_ptr<File> file;
  ZUNA_RETURN_IF_ERROR(fs.Open(path, create, &file));
  std::unique_ptr<KeyFile> key(new KeyFile(std::move(file), layout));
  ZUNA_RETURN_IF_ERROR(key->Initialise());
  *key_file = std::move(key);
  return Status::OK();
}

Status KeyFile::Initialise() {
  KeyHeader fresh;
  fresh.key_type = layout_.key_type;
  fresh.entries_per_node = layout_.entries_per_node;
  fresh.component_count = layout_.component_count;
  fresh.entry_length = layout_.entry_length;
  // One write for the header block and the empty root, then the cut: a
  // longer file left over from an earlier tree must not look like nodes.
  char image[kNewKeyFileSize] = {};
  EncodeKeyHeader(fresh, image);
  remembered_no_ = 0;
  ++generation_;
  cache_->Clear();
  header_dirty_ = false;
  Status status = file_->WriteAt(0, image);
  if (status.ok()) status = file_->Truncate(kNewKeyFileSize);
  if (!status.ok()) {
    error_ = status;
    return status;
  }
  header_ = fresh;
  root_->Clear();
  error_ = Status::OK();
  return Status::OK();
}

Status KeyFile::Refresh() {
  ZUNA_RETURN_IF_ERROR(CheckUsable());
  return ReadHeaderAndRoot();
}

Status KeyFile::Sync() {
  ZUNA_RETURN_IF_ERROR(CheckUsable());
  ZUNA_RETURN_IF_ERROR(WriteDirtyNodes());
  if (header_dirty_) {
    ZUNA_RETURN_IF_ERROR(WriteHeader());
    header_dirty_ = false;
  }
  return file_->Sync();
}

Status KeyFile::SetWriteBack(bool on) {
  if (on == write_back_) return Status::OK();
  if (!on) {
    ZUNA_RETURN_IF_ERROR(CheckUsable());
    ZUNA_RETURN_IF_ERROR(WriteDirtyNodes());
    if (header_dirty_) ZUNA_RETURN_IF_ERROR(WriteHeader());
    header_dirty_ = false;
  }
  write_back_ = on;
  cache_->Resize(on ? NodeCache::kWriteBackSlots : NodeCache::kSlots);
  return Status::OK();
}

Status KeyFile::CacheNode(uint32_t node_no, const KeyNode& node, bool dirty) {
  NodeCache::Slot& slot = cache_->SlotFor(node_no);
  if (slot.dirty && slot.node_no != node_no) {
    ZUNA_RETURN_IF_ERROR(
        file_->WriteAt(BlockOffset(slot.node_no), slot.node.block()));
    slot.dirty = false;
  }
  slot.dirty = dirty || (slot.dirty && slot.node_no == node_no);
  slot.node_no = node_no;
  slot.node = node;
  return Status::OK();
}

Status KeyFile::WriteDirtyNodes() {
  if (!write_back_) return Status::OK();
  std::vector<NodeCache::Slot*> dirty;
  for (NodeCache::Slot& slot : cache_->slots()) {
    if (slot.dirty) dirty.push_back(&slot);
  }
  std::sort(dirty.begin(), dirty.end(), [](const auto* a, const auto* b) {
    return a->node_no < b->node_no;
  });
  for (NodeCache::Slot* slot : dirty) {
    Status status = file_->WriteAt(BlockOffset(slot->node_no), slot->node.block());
    if (!status.ok()) {
      error_ = status;
      return status;
    }
    slot->dirty = false;
  }
  return Status::OK();
}

void KeyFile::SetLargeCache(bool on) {
  if (write_back_) return;
  if (!on) {
    cache_->Resize(NodeCache::kSlots);
    return;
  }
  // A slot for every node: the inserts of a transaction come in whatever
  // order its records do (an import's), and a cache smaller than the tree
  // sends most of them to the disk for a leaf.  It grows by doublings with
  // the tree (each growth starts empty), never shrinks while on.
  size_t slots = std::max(cache_->size(), NodeCache::kWriteBackSlots);
  while (slots <= header_.node_count && slots < NodeCache::kMostLargeSlots) {
    slots *= 2;
  }
  cache_->Resize(slots);
}

void KeyFile::EndOperation() { remembered_no_ = 0; }

Status KeyFile::CheckUsable() const { return error_; }

Status KeyFile::Corrupt(const std::string& what) const {
  return Status::Error(Err::kKeyFileMustBeRebuilt, path_ + ": " + what);
}

Status KeyFile::ReadHeaderAndRoot() {
  uint64_t file_size = 0;
  Status status = file_->Size(&file_size);
  if (!status.ok()) return HeaderReadFailure(status);
  char block[kKeyBlockSize];
  status = ReadExact(*file_, 0, block, Err::kKeyFileMustBeRebuilt);
  if (!status.ok()) return HeaderReadFailure(status);
  const KeyHeader h = DecodeKeyHeader(block);
  const std::vector<std::string> faults =
      KeyHeaderFaults(h, layout_, file_size);
  if (!faults.empty()) return Corrupt(faults.front());

  KeyNode root;
  status = ReadExact(*file_, BlockOffset(h.root), root.block(),
                     Err::kKeyFileMustBeRebuilt);
  if (!status.ok()) return HeaderReadFailure(status);
  if (root.count() > h.entries_per_node) return Corrupt("root count too large");
  if (root.parent() != 0) return Corrupt("root has a parent");
  if (h.height == 1 &&
      (root.count() != h.entry_count || h.last_leaf != h.root)) {
    return Corrupt("one-level tree disagrees with the header");
  }
  if (h.height > 1 && root.count() == 0) return Corrupt("empty inner root");
  if (h.height > 1 && (h.root != checked_root_ || h.height != checked_height_)) {
    ZUNA_RETURN_IF_ERROR(CheckHeightOnFirstPath(h, root));
  }
  checked_root_ = h.root;
  checked_height_ = h.height;

  header_ = h;
  *root_ = root;
  remembered_no_ = 0;
  ++generation_;
  cache_->Clear();
  header_dirty_ = false;
  return Status::OK();
}

// A height the tree does not have sends every descent to the wrong level:
// too low, and inner nodes pass for leaves, their child numbers for record
// numbers; too high, and record numbers pass for nodes.  The first path down
// from the root shows either: every node on it is its parent's child, and
// where the height puts the leaves, the first leaf has no left neighbour and
// is nobody's parent (its first entry names a record, not a child of its
// own).  Reads the blocks directly: nothing is cached for a header that may
// yet be refused.
Status KeyFile::CheckHeightOnFirstPath(const KeyHeader& h,
                                       const KeyNode& root) const {
  const size_t el = layout_.entry_length;
  auto read = [&](uint32_t node_no, KeyNode* node) {
    if (node_no == 0 || node_no > h.node_count) {
      return Corrupt("height " + std::to_string(h.height) +
                     ": link to node " + std::to_string(node_no));
    }
    return ReadExact(*file_, BlockOffset(node_no), node->block(),
                     Err::kKeyFileMustBeRebuilt);
  };
  uint32_t node_no = h.root;
  KeyNode node = root;
  for (uint32_t depth = 1; depth < h.height; ++depth) {
    KeyNode child;
    const uint32_t child_no = node.number(0, el);
    ZUNA_RETURN_IF_ERROR(read(child_no, &child));
    if (child.parent() != node_no || child.count() == 0 ||
        child.count() > h.entries_per_node) {
      return Corrupt("height " + std::to_string(h.height) + ": node " +
                     std::to_string(child_no) + " at depth " +
                     std::to_string(depth + 1) + " is not a child of " +
                     std::to_string(node_no));
    }
    node_no = child_no;
    node = child;
  }
  if (node.left() != 0) {
    return Corrupt("height " + std::to_string(h.height) + ": first leaf " +
                   std::to_string(node_no) + " has a left neighbour");
  }
  const uint32_t first = node.number(0, el);
  if (first >= 1 && first <= h.node_count) {
    KeyNode below;
    ZUNA_RETURN_IF_ERROR(read(first, &below));
    if (below.parent() == node_no) {
      return Corrupt("height " + std::to_string(h.height) + ": node " +
                     std::to_string(node_no) + " is not a leaf");
    }
  }
  return Status::OK();
}

Status KeyFile::WriteHeader() {
  char block[kKeyBlockSize] = {};
  EncodeKeyHeader(header_, block);
  return file_->WriteAt(0, block);
}

Status KeyFile::ReadNode(uint32_t node_no, KeyNode* node) {
  if (node_no == 0 || node_no > header_.node_count) {
    return Corrupt("link to node " + std::to_string(node_no) +
                   " beyond node count " + std::to_string(header_.node_count));
  }
  if (staged_) {
    if (const KeyNode* written = staged_->written.Find(node_no)) {
      *node = *written;
      return Status::OK();
    }
  }
  if (node_no == header_.root) {
    *node = *root_;
  } else if (!cache_->Get(node_no, node)) {
    ZUNA_RETURN_IF_ERROR(ReadExact(*file_, BlockOffset(node_no), node->block(),
                                   Err::kKeyFileMustBeRebuilt));
    if (node->count() > layout_.entries_per_node) {
      return Corrupt("node " + std::to_string(node_no) + " count " +
                     std::to_string(node->count()) + " beyond capacity");
    }
    ZUNA_RETURN_IF_ERROR(CacheNode(node_no, *node, /*dirty=*/false));
  }
  // Nothing of this node is staged yet, so this is its image on disk.  In
  // write-back mode a change is never taken back, so none is kept.
  if (staged_ && !write_back_ && node_no <= staged_->header.node_count) {
    staged_->replaced.Put(node_no, *node, /*replace=*/false);
  }
  return Status::OK();
}

Status KeyFile::NodeRef(uint32_t node_no, std::optional<KeyNode>* scratch,
                        const KeyNode** node) {
  if (!staged_ && node_no >= 1 && node_no <= header_.node_count) {
    if (node_no == header_.root) {
      *node = root_.get();
      return Status::OK();
    }
    if (const KeyNode* cached = cache_->Find(node_no)) {
      *node = cached;
      return Status::OK();
    }
  }
  scratch->emplace();
  ZUNA_RETURN_IF_ERROR(ReadNode(node_no, &**scratch));
  *node = &**scratch;
  return Status::OK();
}

Status KeyFile::WriteNode(uint32_t node_no, const KeyNode& node) {
  if (node_no == 0 || node_no > header_.node_count) {
    return Corrupt("write to node " + std::to_string(node_no));
  }
  if (staged_) {
    // Taking the change back needs the image this one replaces.
    if (!write_back_ && node_no <= staged_->header.node_count &&
        !staged_->replaced.contains(node_no)) {
      KeyNode before;
      ZUNA_RETURN_IF_ERROR(ReadNode(node_no, &before));
    }
    staged_->written.Put(node_no, node, /*replace=*/true);
  } else {
    ZUNA_RETURN_IF_ERROR(file_->WriteAt(BlockOffset(node_no), node.block()));
    ZUNA_RETURN_IF_ERROR(CacheNode(node_no, node, /*dirty=*/false));
  }
  if (node_no == header_.root) *root_ = node;
  return Status::OK();
}

// --- Search. ---

void KeyFile::FillPosition(SearchState state, uint32_t node_no,
                           const KeyNode& node, uint16_t index,
                           KeyPosition* position) const {
  position->state = state;
  position->node = node_no;
  position->index = index;
  if (index < node.count()) {
    position->entry.assign(node.entry(index, layout_.entry_length),
                           layout_.entry_length);
  } else {
    position->entry.clear();
  }
  position->generation = generation_;
}

namespace {

// The leaf-level order of a search: does entry `e` come before the answer?
struct LeafTarget {
  const char* target;
  size_t key_length;
  bool any_record;  // record number 0, or an exact value match asked for

  bool Passes(const char* e) const {
    const int c = std::memcmp(e + kEntryNumberSize, target + kEntryNumberSize,
                              key_length);
    if (c != 0) return c < 0;
    if (any_record) return false;
    return DecodeFixed32(e) < DecodeFixed32(target);
  }
  bool Matches(const char* e) const {
    return std::memcmp(e + kEntryNumberSize, target + kEntryNumberSize,
                       key_length) == 0 &&
           (any_record || DecodeFixed32(e) == DecodeFixed32(target));
  }
};

// Index of the first entry of `node` for which `passes` is false.
template <typename Pred>
uint16_t FirstNotPassed(const KeyNode& node, size_t entry_length, Pred passes) {
  size_t lo = 0, hi = node.count();
  while (lo < hi) {
    const size_t mid = (lo + hi) / 2;
    if (passes(node.entry(mid, entry_length))) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return static_cast<uint16_t>(lo);
}

}  // namespace

bool KeyFile::RememberedLeafHolds(const char* entry, bool exact_value) const {
  if (remembered_no_ == 0 || header_.height == 1) return false;
  const KeyNode& leaf = *remembered_;
  if (leaf.count() == 0) return false;
  const size_t el = layout_.entry_length;
  const LeafTarget t{entry, layout_.key_length,
                     exact_value || DecodeFixed32(entry) == 0};
  // Every entry before the leaf passes when its first one does, and the
  // answer is in the leaf when its last one does not pass.
  return t.Passes(leaf.entry(0, el)) &&
         !t.Passes(leaf.entry(leaf.count() - 1, el));
}

Status KeyFile::Locate(const char* entry, bool exact_value, bool use_remembered,
                       KeyPosition* position) {
  const size_t el = layout_.entry_length;
  const size_t kl = layout_.key_length;
  if (header_.entry_count == 0) {
    FillPosition(SearchState::kPastEnd, header_.root, *root_, 0, position);
    return Status::OK();
  }
  const LeafTarget leaf_target{entry, kl,
                               exact_value || DecodeFixed32(entry) == 0};
  auto inner_passes = [&](const char* e) {
    return std::memcmp(e + kEntryNumberSize, entry + kEntryNumberSize, kl) < 0;
  };

  // The descent looks at nodes where they lie (the root, the remembered
  // leaf, a cache slot) instead of copying each: a search is most of the
  // work of a key change.  A node not cached is read into one of two
  // scratch images, the one the node above is not in; a cache slot may be
  // taken over by the next read, so whatever the next step needs of a node
  // is taken from it before that read.
  std::optional<KeyNode> scratch[2];
  int spare = 0;  // the scratch image `node` is not in
  uint32_t node_no = header_.root;
  const KeyNode* node = root_.get();
  uint32_t depth = 1;
  // Whether every node so far was left by its last way down: only there may
  // a value pass every separator (elsewhere the separator above bounds it).
  bool right_edge = true;
  if (use_remembered && RememberedLeafHolds(entry, exact_value)) {
    node_no = remembered_no_;
    node = remembered_.get();
    depth = header_.height;
  }
  // A leaf reached by a descent is checked against the leaf before it when
  // the answer is its first entry: separators that are too low would
  // otherwise send the search past where the value lies.
  bool came_from_left = depth == header_.height;
  // Each step reads a node; a well-formed tree never needs more steps than
  // it has nodes, so more means a cycle.
  for (uint32_t steps = 0; steps <= header_.node_count; ++steps) {
    if (depth < header_.height) {
      const uint16_t i = FirstNotPassed(*node, el, inner_passes);
      uint32_t child_no = 0;
      const KeyNode* child = nullptr;
      if (i < node->count()) {
        child_no = node->number(i, el);
        right_edge = right_edge && i + 1 == node->count() && node->right() == 0;
        ZUNA_RETURN_IF_ERROR(ChildRef(node_no, child_no, &scratch[spare], &child));
      } else {
        const uint32_t node_right = node->right();
        KeyNode& rightmost = scratch[spare].emplace();
        ZUNA_RETURN_IF_ERROR(RightmostChild(node_no, *node, &child_no, &rightmost));
        if (child_no == 0) {
          if (!right_edge || node_right != 0) {
            return Corrupt("a value above the separators of node " +
                           std::to_string(node_no) +
                           ", which is not on the right edge");
          }
          return LastLeafEnd(entry, leaf_target.any_record, position);
        }
        child = &rightmost;
      }
      if (scratch[spare].has_value() && child == &*scratch[spare]) spare = 1 - spare;
      node_no = child_no;
      node = child;
      ++depth;
      continue;
    }
    const uint16_t i = FirstNotPassed(
        *node, el, [&](const char* e) { return leaf_target.Passes(e); });
    if (i == 0 && !came_from_left && node->left() != 0) {
      const uint32_t left_no = node->left();
      KeyNode left;
      ZUNA_RETURN_IF_ERROR(ReadNode(left_no, &left));
      // The read may have taken over the cache slot `node` was in.
      ZUNA_RETURN_IF_ERROR(NodeRef(node_no, &scratch[spare], &node));
      if (scratch[spare].has_value() && node == &*scratch[spare]) spare = 1 - spare;
      if (left.right() != node_no || left.count() == 0 ||
          !leaf_target.Passes(left.entry(left.count() - 1, el))) {
        return Corrupt("the separators above leaf " + std::to_string(node_no) +
                       " are below the values of the leaf before it");
      }
    }
    came_from_left = true;
    if (i < node->count()) {
      const bool found = leaf_target.Matches(node->entry(i, el));
      FillPosition(found ? SearchState::kFound : SearchState::kPositioned,
                   node_no, *node, i, position);
      // A change (the only caller not using the remembered leaf) forgets
      // it at once: no copy for it.
      if (use_remembered) {
        if (node != remembered_.get()) *remembered_ = *node;
        remembered_no_ = node_no;
      }
      return Status::OK();
    }
    const uint32_t right = node->right();
    if (right == 0) {
      if (node_no != header_.last_leaf) {
        return Corrupt("leaf chain ends at node " + std::to_string(node_no) +
                       ", not at the last leaf");
      }
      FillPosition(SearchState::kPastEnd, node_no, *node, node->count(),
                   position);
      return Status::OK();
    }
    // A value with many entries spans leaves, and an entry put after them
    // all walks them: where they lie, since each is a memory read or more.
    const KeyNode* next = nullptr;
    ZUNA_RETURN_IF_ERROR(NodeRef(right, &scratch[spare], &next));
    if (scratch[spare].has_value() && next == &*scratch[spare]) spare = 1 - spare;
    if (next->left() != node_no || next->count() == 0) {
      return Corrupt("leaf " + std::to_string(right) +
                     " does not link back to " + std::to_string(node_no));
    }
    node_no = right;
    node = next;
  }
  return Corrupt("search does not end");
}

Status KeyFile::LastLeafEnd(const char* entry, bool any_record,
                            KeyPosition* position) {
  KeyNode leaf;
  ZUNA_RETURN_IF_ERROR(ReadNode(header_.last_leaf, &leaf));
  const LeafTarget target{entry, layout_.key_length, any_record};
  if (leaf.right() != 0 || leaf.count() == 0 ||
      !target.Passes(leaf.entry(leaf.count() - 1, layout_.entry_length))) {
    return Corrupt("last leaf " + std::to_string(header_.last_leaf) +
                   " is not the end of the key");
  }
  FillPosition(SearchState::kPastEnd, header_.last_leaf, leaf, leaf.count(),
               position);
  return Status::OK();
}

Status KeyFile::ChildRef(uint32_t parent_no, uint32_t child_no,
                         std::optional<KeyNode>* scratch, const KeyNode** child) {
  ZUNA_RETURN_IF_ERROR(NodeRef(child_no, scratch, child));
  if ((*child)->parent() != parent_no || (*child)->count() == 0) {
    return Corrupt("node " + std::to_string(child_no) +
                   " is not a proper child of " + std::to_string(parent_no));
  }
  return Status::OK();
}

Status KeyFile::RightmostChild(uint32_t node_no, const KeyNode& node,
                               uint32_t* child_no, KeyNode* child) {
  *child_no = 0;
  // Taken before the read: `node` may lie in the cache slot it takes over.
  const uint32_t right = node.right();
  if (right == 0) return Status::OK();
  KeyNode named;
  ZUNA_RETURN_IF_ERROR(ReadNode(right, &named));
  if (!IsRightmostChild(node_no, named)) return Status::OK();
  if (named.count() == 0) {
    return Corrupt("empty rightmost child " + std::to_string(right) +
                   " of node " + std::to_string(node_no));
  }
  *child_no = right;
  *child = named;
  return Status::OK();
}

Status KeyFile::Search(std::span<const char> entry, bool exact_value,
                       KeyPosition* position) {
  ZUNA_RETURN_IF_ERROR(CheckUsable());
  if (entry.size() != layout_.entry_length) {
    return Corrupt("search entry of the wrong length");
  }
  return Locate(entry.data(), exact_value, /*use_remembered=*/true, position);
}

// --- Walks. ---

Status KeyFile::FirstLeaf(uint32_t* node_no, KeyNode* node) {
  *node_no = header_.root;
  *node = *root_;
  for (uint32_t depth = 1; depth < header_.height; ++depth) {
    if (node->count() == 0) return Corrupt("empty inner node");
    const uint32_t child_no = node->number(0, layout_.entry_length);
    KeyNode child;
    ZUNA_RETURN_IF_ERROR(ReadNode(child_no, &child));
    if (child.parent() != *node_no) {
      return Corrupt("node " + std::to_string(child_no) +
                     " is not a proper child of " + std::to_string(*node_no));
    }
    *node_no = child_no;
    *node = child;
  }
  if (node->left() != 0) return Corrupt("first leaf has a left link");
  return Status::OK();
}

Status KeyFile::First(KeyPosition* position) {
  ZUNA_RETURN_IF_ERROR(CheckUsable());
  if (header_.entry_count == 0) {
    FillPosition(SearchState::kPastEnd, header_.root, *root_, 0, position);
    return Status::OK();
  }
  uint32_t node_no = 0;
  KeyNode node;
  ZUNA_RETURN_IF_ERROR(FirstLeaf(&node_no, &node));
  if (node.count() == 0) return Corrupt("empty first leaf");
  FillPosition(SearchState::kFound, node_no, node, 0, position);
  return Status::OK();
}

Status KeyFile::Last(KeyPosition* position) {
  ZUNA_RETURN_IF_ERROR(CheckUsable());
  if (header_.entry_count == 0) {
    FillPosition(SearchState::kPastEnd, header_.root, *root_, 0, position);
    return Status::OK();
  }
  KeyNode leaf;
  ZUNA_RETURN_IF_ERROR(ReadNode(header_.last_leaf, &leaf));
  if (leaf.count() == 0 || leaf.right() != 0) {
    return Corrupt("last leaf is empty or not last");
  }
  FillPosition(SearchState::kFound, header_.last_leaf, leaf,
               static_cast<uint16_t>(leaf.count() - 1), position);
  return Status::OK();
}

Status KeyFile::Next(KeyPosition* position, bool* found) {
  *found = false;
  ZUNA_RETURN_IF_ERROR(CheckUsable());
  const size_t el = layout_.entry_length;
  if (position->entry.size() != el) return Status::OK();
  // A scan steps here once per record: the leaf is looked at where it is
  // kept (NodeRef), not copied, as long as the position still stands.
  std::optional<KeyNode> scratch;
  const KeyNode* node = nullptr;
  uint32_t node_no = position->node;
  uint16_t index = position->index;
  if (position->generation == generation_ && node_no != 0) {
    ZUNA_RETURN_IF_ERROR(NodeRef(node_no, &scratch, &node));
    if (index >= node->count() ||
        std::memcmp(node->entry(index, el), position->entry.data(), el) != 0) {
      node = nullptr;
    }
  }
  SearchState state = SearchState::kFound;
  if (node == nullptr) {
    KeyPosition at;
    ZUNA_RETURN_IF_ERROR(Locate(position->entry.data(), /*exact_value=*/false,
                                /*use_remembered=*/true, &at));
    if (at.state == SearchState::kPastEnd) return Status::OK();
    state = at.state;
    node_no = at.node;
    index = at.index;
    ZUNA_RETURN_IF_ERROR(NodeRef(node_no, &scratch, &node));
  }
  if (state == SearchState::kFound) {
    if (index + 1 < node->count()) {
      ++index;
    } else {
      const uint32_t right = node->right();
      if (right == 0) return Status::OK();
      // Reading the next leaf may reuse the cache slot `node` lies in.
      const std::string last(node->entry(index, el), el);
      std::optional<KeyNode> next_scratch;
      const KeyNode* next = nullptr;
      ZUNA_RETURN_IF_ERROR(NodeRef(right, &next_scratch, &next));
      // Stepping goes on for as long as the caller asks, so a cycle in the
      // chain must be caught here: the next leaf has to start higher.
      if (next->left() != node_no || next->count() == 0 ||
          CompareEntries(next->entry(0, el), last.data(), layout_.key_length) <= 0) {
        return Corrupt("leaf " + std::to_string(right) + " does not follow " +
                       std::to_string(node_no));
      }
      node_no = right;
      node = next;
      index = 0;
    }
  }
  FillPosition(SearchState::kFound, node_no, *node, index, position);
  *found = true;
  return Status::OK();
}

Status KeyFile::Previous(KeyPosition* position, bool* found) {
  *found = false;
  ZUNA_RETURN_IF_ERROR(CheckUsable());
  if (position->entry.size() != layout_.entry_length) {
    if (header_.entry_count == 0) return Status::OK();
    ZUNA_RETURN_IF_ERROR(Last(position));
    *found = true;
    return Status::OK();
  }
  KeyPosition at;
  ZUNA_RETURN_IF_ERROR(Reanchor(*position, &at));
  KeyNode node;
  ZUNA_RETURN_IF_ERROR(ReadNode(at.node, &node));
  uint32_t node_no = at.node;
  uint16_t index = at.index;
  if (index > 0) {
    --index;
  } else {
    const uint32_t left = node.left();
    if (left == 0) return Status::OK();
    KeyNode prev;
    ZUNA_RETURN_IF_ERROR(ReadNode(left, &prev));
    if (prev.right() != node_no || prev.count() == 0 ||
        CompareEntries(prev.entry(prev.count() - 1, layout_.entry_length),
                       node.entry(0, layout_.entry_length),
                       layout_.key_length) >= 0) {
      return Corrupt("leaf " + std::to_string(left) + " does not precede " +
                     std::to_string(node_no));
    }
    node_no = left;
    node = prev;
    index = static_cast<uint16_t>(prev.count() - 1);
  }
  FillPosition(SearchState::kFound, node_no, node, index, position);
  *found = true;
  return Status::OK();
}

// Where a position's entry is now: its own node and index when the tree has
// not changed since the position was taken, else wherever a search for it
// lands (kFound, or kPositioned on its successor when it has gone).
Status KeyFile::Reanchor(const KeyPosition& position, KeyPosition* at) {
  if (position.generation == generation_ && position.node != 0) {
    KeyNode node;
    ZUNA_RETURN_IF_ERROR(ReadNode(position.node, &node));
    if (position.index < node.count() &&
        std::memcmp(node.entry(position.index, layout_.entry_length),
                    position.entry.data(), layout_.entry_length) == 0) {
      FillPosition(SearchState::kFound, position.node, node, position.index,
                   at);
      return Status::OK();
    }
  }
  return Locate(position.entry.data(), /*exact_value=*/false,
                /*use_remembered=*/true, at);
}

Status KeyFile::OrdinalOf(std::span<const char> entry, uint32_t* ordinal) {
  *ordinal = 0;
  ZUNA_RETURN_IF_ERROR(CheckUsable());
  if (entry.size() != layout_.entry_length) return Status::OK();
  KeyPosition at;
  ZUNA_RETURN_IF_ERROR(Locate(entry.data(), false, true, &at));
  if (at.state != SearchState::kFound) return Status::OK();
  uint32_t node_no = 0;
  KeyNode node;
  ZUNA_RETURN_IF_ERROR(FirstLeaf(&node_no, &node));
  uint32_t before = 0;
  for (uint32_t steps = 0; steps <= header_.node_count; ++steps) {
    if (node_no == at.node) {
      *ordinal = before + at.index + 1;
      return Status::OK();
    }
    before += node.count();
    bool at_end = false;
    ZUNA_RETURN_IF_ERROR(StepRightLeaf(&node_no, &node, &at_end));
    if (at_end) break;
  }
  return Corrupt("leaf chain does not reach the entry's leaf");
}

Status KeyFile::StepRightLeaf(uint32_t* node_no, KeyNode* node, bool* at_end) {
  *at_end = true;
  const uint32_t right = node->right();
  if (right == 0) return Status::OK();
  KeyNode next;
  ZUNA_RETURN_IF_ERROR(ReadNode(right, &next));
  if (next.left() != *node_no) return Status::OK();
  *node_no = right;
  *node = next;
  *at_end = false;
  return Status::OK();
}

Status KeyFile::EntryAt(uint32_t ordinal, KeyPosition* position, bool* found) {
  *found = false;
  ZUNA_RETURN_IF_ERROR(CheckUsable());
  if (ordinal == 0 || ordinal > header_.entry_count) return Status::OK();
  uint32_t node_no = 0;
  KeyNode node;
  ZUNA_RETURN_IF_ERROR(FirstLeaf(&node_no, &node));
  uint32_t remaining = ordinal;
  for (uint32_t steps = 0; steps <= header_.node_count; ++steps) {
    if (remaining <= node.count()) {
      FillPosition(SearchState::kFound, node_no, node,
                   static_cast<uint16_t>(remaining - 1), position);
      *found = true;
      return Status::OK();
    }
    remaining -= node.count();
    bool at_end = false;
    ZUNA_RETURN_IF_ERROR(StepRightLeaf(&node_no, &node, &at_end));
    if (at_end) break;
  }
  return Corrupt("leaf chain holds fewer entries than the entry count");
}

Status KeyFile::CheckStructure(std::vector<KeyFault>* faults) {
  return CheckKeyFile(*file_, &layout_, faults);
}

}  // namespace zuna::datfile
