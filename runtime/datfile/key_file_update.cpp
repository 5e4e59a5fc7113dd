// Insert and Delete: the tree changes of a key file.
//
// Splits take the lower half to a new left neighbour; the last leaf, when
// full and appended to, gets a new right neighbour instead, which is linked
// into the parent like any other split (so ascending loads fill leaves
// completely and every leaf stays reachable from the root).  Nodes emptied
// by deletion are unlinked, removed from their parent and put on the free
// chain; nothing is merged or borrowed.
//
// Trees written by other programs may link the inner nodes of a level as
// the leaves are linked, or keep an inner node's last child in its right
// link without an entry (invariant 4 of key_file.h).  A change keeps such a
// tree as it is: a new node in a linked level is linked in, a rightmost
// child is split like any node (its lower half gets an entry before it),
// and only when it empties does the right link go.  Nothing is appended
// after a rightmost child or to a node that has one, since the new node
// would sit outside the values its parent bounds: those nodes split.
//
// Hazard: a change writes several nodes.  Images held in locals go stale
// once a call further up the tree rewrites their parent fields (a parent
// split re-parents children on disk), so after such a call a node is read
// again before it is used.
#include <cstring>

#include "runtime/datfile/key_file.h"
#include "runtime/datfile/key_tree_internal.h"

namespace zuna::datfile {

class KeyFile::Mutation {
 public:
  explicit Mutation(KeyFile& key)
      : key_(key),
        h_(key.header_),
        el_(key.layout_.entry_length),
        kl_(key.layout_.key_length),
        epn_(key.layout_.entries_per_node) {}

  Status Insert(const KeyPosition& at, const char* entry);
  Status Delete(const KeyPosition& at);

 private:
  Status InsertInto(uint32_t node_no, KeyNode node, size_t index,
                    const char* entry, bool is_leaf);
  Status AppendNode(uint32_t node_no, KeyNode node, const char* entry,
                    bool is_leaf);
  Status Split(uint32_t node_no, KeyNode node, size_t index, const char* entry,
               bool is_leaf);
  Status NewRoot(uint32_t left_no, KeyNode left, uint32_t right_no,
                 KeyNode right);
  Status InsertSeparator(uint32_t child_no, size_t offset,
                         uint32_t new_child_no, const KeyNode& new_child);
  Status FixSeparator(uint32_t child_no, KeyNode child, bool is_leaf);
  Status SetParent(uint32_t child_no, uint32_t parent_no);

  // `level`: 0 for a leaf, 1 for a node above leaves, ...
  Status RemoveFrom(uint32_t node_no, KeyNode node, size_t index,
                    uint32_t level);
  Status Unlink(uint32_t node_no, const KeyNode& node, bool is_leaf);
  Status AdoptRightmostChild(uint32_t node_no, KeyNode node, uint32_t level);
  Status Neighbour(uint32_t node_no, uint32_t from_no, bool is_right,
                   KeyNode* node);
  Status LinkedLevel(uint32_t node_no, const KeyNode& node, bool is_leaf,
                     bool* linked);
  Status IsRightmostChildOfParent(uint32_t node_no, const KeyNode& node,
                                  bool* is);
  Status HasRightmostChild(uint32_t node_no, const KeyNode& node, bool* has);

  Status Allocate(uint32_t* node_no, KeyNode* node);
  Status Free(uint32_t node_no);
  // The entry index of `child_no` in its parent, or parent.count() when it
  // is the parent's rightmost child (the right link).
  Status FindChild(uint32_t parent_no, const KeyNode& parent, uint32_t child_no,
                   size_t* index);
  std::string SeparatorFor(uint32_t node_no, const KeyNode& node) const;
  // `levels_below`: 0 for a leaf, 1 for a node above leaves, ...
  Status SeparatorOf(uint32_t node_no, KeyNode node, uint32_t levels_below,
                     std::string* sep);

  // Counts the steps a change takes up the tree: parent links that loop
  // would otherwise split or empty nodes for ever.
  Status ClimbOneLevel();

  KeyFile& key_;
  KeyHeader& h_;
  uint32_t climbs_ = 0;
  const size_t el_;
  const size_t kl_;
  const size_t epn_;
};

// --- Staging and writing a change. ---

template <typename Change>
Status KeyFile::ChangeTree(Change change) {
  ++generation_;
  remembered_no_ = 0;
  staged_ = spare_staged_ ? std::move(spare_staged_) : std::make_unique<StagedChange>();
  staged_->written.clear();
  staged_->replaced.clear();
  staged_->header = header_;
  staged_->root = *root_;
  Mutation mutation(*this);
  Status status = change(mutation);
  if (status.ok()) return WriteStagedChange();
  // Nothing reached the disk: forget the staged images.  Damage met on the
  // way stays damage, though: the key refuses work until it is rebuilt.
  header_ = staged_->header;
  *root_ = staged_->root;
  spare_staged_ = std::move(staged_);
  if (status.code() == Err::kKeyFileMustBeRebuilt) error_ = status;
  return status;
}

Status KeyFile::WriteStagedChange() {
  // Its room serves the next change, however this one ends.
  struct Spare {
    std::unique_ptr<StagedChange>& to;
    std::unique_ptr<StagedChange> staged;
    ~Spare() { to = std::move(staged); }
  } spare{spare_staged_, std::move(staged_)};
  StagedChange* const staged = spare.staged.get();
  // In block order.
  const std::span<const NodeImages::Image> written = staged->written.Sorted();
  if (write_back_) {
    for (const auto& [node_no, node] : written) {
      Status status = CacheNode(node_no, node, /*dirty=*/true);
      if (!status.ok()) {
        error_ = status;
        return status;
      }
    }
    header_dirty_ = true;
    return Status::OK();
  }
  Status status;
  for (const auto& [node_no, node] : written) {
    status = file_->WriteAt(BlockOffset(node_no), node.block());
    if (!status.ok()) break;
  }
  if (status.ok()) status = WriteHeader();
  for (const auto& [node_no, node] : written) {
    if (status.ok()) status = CacheNode(node_no, node, /*dirty=*/false);
  }
  if (status.ok()) return Status::OK();
  const Status undone = TakeBack(*staged);
  if (!undone.ok()) error_ = status;
  return status;
}

// Puts back the blocks and header a failed WriteStagedChange may have
// overwritten, and the in-memory state with them.
Status KeyFile::TakeBack(const StagedChange& staged) {
  header_ = staged.header;
  *root_ = staged.root;
  cache_->Clear();
  for (const auto& [node_no, node] : staged.replaced.images()) {
    ZUNA_RETURN_IF_ERROR(file_->WriteAt(BlockOffset(node_no), node.block()));
  }
  const uint64_t former_size = BlockOffset(header_.node_count + 1);
  uint64_t size = 0;
  ZUNA_RETURN_IF_ERROR(file_->Size(&size));
  if (size > former_size) ZUNA_RETURN_IF_ERROR(file_->Truncate(former_size));
  return WriteHeader();
}

// --- Insert. ---

Status KeyFile::Insert(std::span<const char> entry) {
  ZUNA_RETURN_IF_ERROR(CheckUsable());
  if (entry.size() != layout_.entry_length ||
      DecodeFixed32(entry.data()) == 0) {
    return Corrupt("entry of the wrong length or record number 0");
  }
  remembered_no_ = 0;
  KeyPosition at;
  ZUNA_RETURN_IF_ERROR(Locate(entry.data(), /*exact_value=*/false,
                              /*use_remembered=*/false, &at));
  if (at.state == SearchState::kFound) {
    return Corrupt("record " + std::to_string(DecodeFixed32(entry.data())) +
                   " already has this entry");
  }
  return ChangeTree([&](Mutation& m) { return m.Insert(at, entry.data()); });
}

Status KeyFile::Mutation::Insert(const KeyPosition& at, const char* entry) {
  KeyNode leaf;
  ZUNA_RETURN_IF_ERROR(key_.ReadNode(at.node, &leaf));
  const uint32_t record_no = DecodeFixed32(entry);
  const bool becomes_first = leaf.left() == 0 && at.index == 0;
  const bool becomes_last = at.state == SearchState::kPastEnd;
  ++h_.entry_count;
  ZUNA_RETURN_IF_ERROR(InsertInto(at.node, leaf, at.index, entry, true));
  if (becomes_first) h_.first_record = record_no;
  if (becomes_last) h_.last_record = record_no;
  return Status::OK();
}

Status KeyFile::Mutation::InsertInto(uint32_t node_no, KeyNode node,
                                     size_t index, const char* entry,
                                     bool is_leaf) {
  if (node.count() < epn_) {
    node.InsertEntry(index, entry, el_);
    ZUNA_RETURN_IF_ERROR(key_.WriteNode(node_no, node));
    // A new last entry raises the separators above it.
    if (index + 1 == node.count()) return FixSeparator(node_no, node, is_leaf);
    return Status::OK();
  }
  // Past the last entry of a full node: the last leaf (ascending loading),
  // or an inner node on the right edge taking the separator of a node
  // appended below it.  Not after a rightmost child, nor to a node with a
  // right link at all: those split.
  if (index == node.count() && node.right() == 0 &&
      (!is_leaf || node_no == h_.last_leaf)) {
    bool rightmost = false;
    ZUNA_RETURN_IF_ERROR(IsRightmostChildOfParent(node_no, node, &rightmost));
    if (!rightmost) return AppendNode(node_no, node, entry, is_leaf);
  }
  return Split(node_no, node, index, entry, is_leaf);
}

// Ascending loading: the full node keeps all its entries and the new one
// starts a node to its right, so loads in key order fill every node but the
// last of each level completely.  The new node gets its separator in the
// parent right after the old node's, exactly as the upper half of a split
// would; the parent may in turn be full and append or split.
Status KeyFile::Mutation::AppendNode(uint32_t node_no, KeyNode node,
                                     const char* entry, bool is_leaf) {
  uint32_t new_no = 0;
  KeyNode fresh;
  ZUNA_RETURN_IF_ERROR(Allocate(&new_no, &fresh));
  fresh.InsertEntry(0, entry, el_);
  fresh.set_parent(node.parent());
  // The node is the last of its level (right link 0): in a linked level
  // it has a left link, and the new node is linked in after it.
  if (is_leaf || node.left() != 0) {
    fresh.set_left(node_no);
    node.set_right(new_no);
  }
  if (is_leaf) {
    h_.last_leaf = new_no;
  } else {
    ZUNA_RETURN_IF_ERROR(SetParent(DecodeFixed32(entry), new_no));
  }
  if (node.parent() == 0) return NewRoot(node_no, node, new_no, fresh);
  ZUNA_RETURN_IF_ERROR(key_.WriteNode(new_no, fresh));
  ZUNA_RETURN_IF_ERROR(key_.WriteNode(node_no, node));
  return InsertSeparator(node_no, 1, new_no, fresh);
}

// A full node: the lower half (count / 2) moves to a new node linked in as
// its left neighbour, the entry goes to whichever half its place falls in,
// and the new node's separator goes into the parent before the old node's.
Status KeyFile::Mutation::Split(uint32_t node_no, KeyNode node, size_t index,
                                const char* entry, bool is_leaf) {
  // The node's entries with the new one in its place, cut in two; the
  // lower part goes to the new node.  The general rule moves the lower half
  // (count / 2 of the old entries, with the new one when it falls among
  // them).  Nodes of two or three entries need their own cut: by the
  // general rule the node just written to is full again at once, the next
  // insert there splits it and its parents anew, and descending or random
  // loads add a level every few inserts.  Three a node cut 2 + 2; two a
  // node let the new entry close the lower node.  (Measured on 20000 random
  // inserts of a 245-byte key: height 23, against 35 by the general rule
  // and 57 by an even cut; ascending and descending loads: 15.)
  const size_t count = node.count();
  const size_t half = count / 2;
  size_t lower_size = half + (index < half ? 1 : 0);
  if (epn_ == 3) lower_size = 2;
  if (epn_ == 2) lower_size = index + 1;
  const bool raises_max = index == count;
  std::string all(node.entry(0, el_), count * el_);
  all.insert(index * el_, entry, el_);
  uint32_t new_no = 0;
  KeyNode lower;
  ZUNA_RETURN_IF_ERROR(Allocate(&new_no, &lower));
  std::memcpy(lower.entry(0, el_), all.data(), lower_size * el_);
  lower.set_count(static_cast<uint8_t>(lower_size));
  std::memset(node.entry(0, el_), 0, kNodeSpace);
  std::memcpy(node.entry(0, el_), all.data() + lower_size * el_,
              all.size() - lower_size * el_);
  node.set_count(static_cast<uint8_t>(count + 1 - lower_size));
  lower.set_parent(node.parent());
  bool linked = false;
  ZUNA_RETURN_IF_ERROR(LinkedLevel(node_no, node, is_leaf, &linked));
  if (linked) {
    lower.set_left(node.left());
    lower.set_right(node_no);
    if (node.left() != 0) {
      KeyNode left;
      ZUNA_RETURN_IF_ERROR(Neighbour(node.left(), node_no, false, &left));
      left.set_right(new_no);
      ZUNA_RETURN_IF_ERROR(key_.WriteNode(node.left(), left));
    }
    node.set_left(new_no);
  }
  if (!is_leaf) {
    for (size_t i = 0; i < lower.count(); ++i) {
      ZUNA_RETURN_IF_ERROR(SetParent(lower.number(i, el_), new_no));
    }
  }
  if (node.parent() == 0) return NewRoot(new_no, lower, node_no, node);
  ZUNA_RETURN_IF_ERROR(key_.WriteNode(new_no, lower));
  ZUNA_RETURN_IF_ERROR(key_.WriteNode(node_no, node));
  ZUNA_RETURN_IF_ERROR(InsertSeparator(node_no, 0, new_no, lower));
  if (!raises_max) return Status::OK();
  // Only an append along the right edge lands after the old last entry.
  KeyNode now;
  ZUNA_RETURN_IF_ERROR(key_.ReadNode(node_no, &now));
  return FixSeparator(node_no, now, is_leaf);
}

// The root split: a new root above the two halves; the height grows.
Status KeyFile::Mutation::NewRoot(uint32_t left_no, KeyNode left,
                                  uint32_t right_no, KeyNode right) {
  uint32_t root_no = 0;
  KeyNode root;
  ZUNA_RETURN_IF_ERROR(Allocate(&root_no, &root));
  std::string left_sep, right_sep;
  // The two nodes are the old root's level, above height - 1 levels.
  const uint32_t below = h_.height - 1u;
  ZUNA_RETURN_IF_ERROR(SeparatorOf(left_no, left, below, &left_sep));
  ZUNA_RETURN_IF_ERROR(SeparatorOf(right_no, right, below, &right_sep));
  root.InsertEntry(0, left_sep.data(), el_);
  root.InsertEntry(1, right_sep.data(), el_);
  left.set_parent(root_no);
  right.set_parent(root_no);
  h_.root = root_no;
  ++h_.height;
  ZUNA_RETURN_IF_ERROR(key_.WriteNode(left_no, left));
  ZUNA_RETURN_IF_ERROR(key_.WriteNode(right_no, right));
  return key_.WriteNode(root_no, root);
}

// Puts the separator of `new_child` into the parent of `child_no`, right
// before (offset 0) or after (offset 1) the entry of `child_no`.
Status KeyFile::Mutation::InsertSeparator(uint32_t child_no, size_t offset,
                                          uint32_t new_child_no,
                                          const KeyNode& new_child) {
  ZUNA_RETURN_IF_ERROR(ClimbOneLevel());
  const uint32_t parent_no = new_child.parent();
  KeyNode parent;
  ZUNA_RETURN_IF_ERROR(key_.ReadNode(parent_no, &parent));
  size_t index = 0;
  ZUNA_RETURN_IF_ERROR(FindChild(parent_no, parent, child_no, &index));
  // Nothing is appended after a rightmost child (InsertInto splits it).
  if (index == parent.count() && offset != 0) {
    return key_.Corrupt("a node appended after the rightmost child of " +
                        std::to_string(parent_no));
  }
  const std::string sep = SeparatorFor(new_child_no, new_child);
  return InsertInto(parent_no, parent, index + offset, sep.data(), false);
}

// Makes the separators above `child_no` equal to its highest value, going
// up while the changed entry is its node's last.  Raises after an insert at
// a node's end, lowers after a removal there.  A node with a rightmost
// child keeps its highest value there, whatever its entries do; a
// rightmost child has no separator, so its parent's highest value changes
// with it and the climb goes on above.
Status KeyFile::Mutation::FixSeparator(uint32_t child_no, KeyNode child,
                                       bool is_leaf) {
  if (child.count() == 0) return Status::OK();
  bool has_rightmost = false;
  if (!is_leaf) {
    ZUNA_RETURN_IF_ERROR(HasRightmostChild(child_no, child, &has_rightmost));
  }
  if (has_rightmost) return Status::OK();
  const std::string highest(child.value(child.count() - 1, el_), kl_);
  for (uint32_t level = 0; level < h_.height; ++level) {
    const uint32_t parent_no = child.parent();
    if (parent_no == 0) return Status::OK();
    KeyNode parent;
    ZUNA_RETURN_IF_ERROR(key_.ReadNode(parent_no, &parent));
    size_t index = 0;
    ZUNA_RETURN_IF_ERROR(FindChild(parent_no, parent, child_no, &index));
    if (index < parent.count()) {
      if (std::memcmp(parent.value(index, el_), highest.data(), kl_) == 0) {
        return Status::OK();
      }
      std::memcpy(parent.value(index, el_), highest.data(), kl_);
      ZUNA_RETURN_IF_ERROR(key_.WriteNode(parent_no, parent));
      if (index + 1 != parent.count()) return Status::OK();
      ZUNA_RETURN_IF_ERROR(HasRightmostChild(parent_no, parent, &has_rightmost));
      if (has_rightmost) return Status::OK();
    }
    child_no = parent_no;
    child = parent;
  }
  return key_.Corrupt("parent links do not reach the root");
}

Status KeyFile::Mutation::SetParent(uint32_t child_no, uint32_t parent_no) {
  KeyNode child;
  ZUNA_RETURN_IF_ERROR(key_.ReadNode(child_no, &child));
  child.set_parent(parent_no);
  return key_.WriteNode(child_no, child);
}

// --- Delete. ---

Status KeyFile::Delete(std::span<const char> entry) {
  ZUNA_RETURN_IF_ERROR(CheckUsable());
  if (entry.size() != layout_.entry_length ||
      DecodeFixed32(entry.data()) == 0) {
    return Corrupt("entry of the wrong length or record number 0");
  }
  remembered_no_ = 0;
  KeyPosition at;
  ZUNA_RETURN_IF_ERROR(Locate(entry.data(), /*exact_value=*/false,
                              /*use_remembered=*/false, &at));
  if (at.state != SearchState::kFound) {
    return Corrupt("record " + std::to_string(DecodeFixed32(entry.data())) +
                   " has no entry to delete");
  }
  return ChangeTree([&](Mutation& m) { return m.Delete(at); });
}

Status KeyFile::Mutation::Delete(const KeyPosition& at) {
  KeyNode leaf;
  ZUNA_RETURN_IF_ERROR(key_.ReadNode(at.node, &leaf));
  const size_t count = leaf.count();
  // The record numbers at the two ends after the removal, found while the
  // neighbours are still linked.
  uint32_t first = h_.first_record;
  uint32_t last = h_.last_record;
  if (h_.entry_count <= 1) {
    first = last = 0;
  } else {
    if (leaf.left() == 0 && at.index == 0) {
      if (count > 1) {
        first = leaf.number(1, el_);
      } else {
        KeyNode right;
        ZUNA_RETURN_IF_ERROR(Neighbour(leaf.right(), at.node, true, &right));
        first = right.number(0, el_);
      }
    }
    if (at.node == h_.last_leaf && size_t{at.index} + 1 == count) {
      if (count > 1) {
        last = leaf.number(count - 2, el_);
      } else {
        KeyNode left;
        ZUNA_RETURN_IF_ERROR(Neighbour(leaf.left(), at.node, false, &left));
        last = left.number(left.count() - 1, el_);
      }
    }
  }
  --h_.entry_count;
  ZUNA_RETURN_IF_ERROR(RemoveFrom(at.node, leaf, at.index, 0));
  h_.first_record = first;
  h_.last_record = last;
  return Status::OK();
}

// Removes entry `index` of `node`; for an inner node, index count() is its
// rightmost child, whose right link goes.
Status KeyFile::Mutation::RemoveFrom(uint32_t node_no, KeyNode node,
                                     size_t index, uint32_t level) {
  const bool is_leaf = level == 0;
  bool removed_last = false;
  if (!is_leaf && index == node.count()) {
    node.set_right(0);
    removed_last = true;
  } else {
    removed_last = index + 1 == node.count();
    node.RemoveEntry(index, el_);
  }
  if (node.count() > 0) {
    ZUNA_RETURN_IF_ERROR(key_.WriteNode(node_no, node));
    return removed_last ? FixSeparator(node_no, node, is_leaf) : Status::OK();
  }
  if (!is_leaf) {
    bool has_rightmost = false;
    ZUNA_RETURN_IF_ERROR(HasRightmostChild(node_no, node, &has_rightmost));
    if (has_rightmost) return AdoptRightmostChild(node_no, node, level);
  }
  if (node_no == h_.root) {
    // The key is empty.  The root, whatever its number, becomes an empty
    // leaf: it is never freed, and the header keeps naming it.
    if (h_.entry_count != 0) return key_.Corrupt("root emptied early");
    node.Clear();
    h_.height = 1;
    h_.last_leaf = node_no;
    return key_.WriteNode(node_no, node);
  }
  ZUNA_RETURN_IF_ERROR(ClimbOneLevel());
  const uint32_t parent_no = node.parent();
  ZUNA_RETURN_IF_ERROR(Unlink(node_no, node, is_leaf));
  ZUNA_RETURN_IF_ERROR(Free(node_no));
  KeyNode parent;
  ZUNA_RETURN_IF_ERROR(key_.ReadNode(parent_no, &parent));
  size_t parent_index = 0;
  ZUNA_RETURN_IF_ERROR(FindChild(parent_no, parent, node_no, &parent_index));
  return RemoveFrom(parent_no, parent, parent_index, level + 1);
}

// An inner node whose last entry went while its rightmost child stays:
// rather than keep a node of no entries, the child gets an entry (its
// highest value, which is the node's too, so nothing above changes).
Status KeyFile::Mutation::AdoptRightmostChild(uint32_t node_no, KeyNode node,
                                              uint32_t level) {
  const uint32_t child_no = node.right();
  KeyNode child;
  ZUNA_RETURN_IF_ERROR(key_.ReadNode(child_no, &child));
  std::string sep;
  ZUNA_RETURN_IF_ERROR(SeparatorOf(child_no, child, level - 1, &sep));
  node.set_right(0);
  node.InsertEntry(0, sep.data(), el_);
  return key_.WriteNode(node_no, node);
}

// Takes an emptied node out of its level's links: always for a leaf, and
// for an inner node of a linked level (an unlinked one has none).
Status KeyFile::Mutation::Unlink(uint32_t node_no, const KeyNode& node,
                                 bool is_leaf) {
  const uint32_t left_no = node.left();
  const uint32_t right_no = node.right();
  if (left_no != 0) {
    KeyNode left;
    ZUNA_RETURN_IF_ERROR(Neighbour(left_no, node_no, false, &left));
    left.set_right(right_no);
    ZUNA_RETURN_IF_ERROR(key_.WriteNode(left_no, left));
  }
  if (right_no != 0) {
    KeyNode right;
    ZUNA_RETURN_IF_ERROR(Neighbour(right_no, node_no, true, &right));
    right.set_left(left_no);
    ZUNA_RETURN_IF_ERROR(key_.WriteNode(right_no, right));
  }
  // With no left neighbour this was the only leaf: the root empties next and
  // becomes the last leaf itself.
  if (is_leaf && h_.last_leaf == node_no) h_.last_leaf = left_no;
  return Status::OK();
}

// Reads the node `node_no` that should be the right (is_right) or left
// neighbour of `from_no` in its level, and checks that it links back and is
// not empty.
Status KeyFile::Mutation::Neighbour(uint32_t node_no, uint32_t from_no,
                                    bool is_right, KeyNode* node) {
  ZUNA_RETURN_IF_ERROR(key_.ReadNode(node_no, node));
  const uint32_t back = is_right ? node->left() : node->right();
  if (back != from_no || node->count() == 0) {
    return key_.Corrupt("node " + std::to_string(node_no) +
                        " does not link back to " + std::to_string(from_no));
  }
  return Status::OK();
}

// Whether `node`'s level is linked: every leaf level is; an inner level
// when the node has a left link or a right link to a node of its level.
Status KeyFile::Mutation::LinkedLevel(uint32_t node_no, const KeyNode& node,
                                      bool is_leaf, bool* linked) {
  *linked = true;
  if (is_leaf || node.left() != 0) return Status::OK();
  *linked = false;
  if (node.right() == 0) return Status::OK();
  bool has_rightmost = false;
  ZUNA_RETURN_IF_ERROR(HasRightmostChild(node_no, node, &has_rightmost));
  *linked = !has_rightmost;
  return Status::OK();
}

Status KeyFile::Mutation::IsRightmostChildOfParent(uint32_t node_no,
                                                   const KeyNode& node,
                                                   bool* is) {
  *is = false;
  if (node.parent() == 0) return Status::OK();
  KeyNode parent;
  ZUNA_RETURN_IF_ERROR(key_.ReadNode(node.parent(), &parent));
  *is = parent.right() == node_no;
  return Status::OK();
}

Status KeyFile::Mutation::HasRightmostChild(uint32_t node_no,
                                            const KeyNode& node, bool* has) {
  uint32_t child_no = 0;
  KeyNode child;
  ZUNA_RETURN_IF_ERROR(key_.RightmostChild(node_no, node, &child_no, &child));
  *has = child_no != 0;
  return Status::OK();
}

// --- Nodes. ---

Status KeyFile::Mutation::ClimbOneLevel() {
  if (++climbs_ > h_.height) return key_.Corrupt("parent links loop");
  return Status::OK();
}

Status KeyFile::Mutation::Allocate(uint32_t* node_no, KeyNode* node) {
  if (h_.free_node != 0) {
    const uint32_t free_no = h_.free_node;
    ZUNA_RETURN_IF_ERROR(key_.ReadNode(free_no, node));
    // A node in use on the chain (a cycle back into the tree) would be
    // handed out twice; a freed node is zero but for its right link.
    if (free_no == h_.root || node->count() != 0 || node->left() != 0 ||
        node->parent() != 0 || node->right() > h_.node_count) {
      return key_.Corrupt("free chain names node " + std::to_string(free_no) +
                          ", which is not free");
    }
    h_.free_node = node->right();
    *node_no = free_no;
    node->Clear();
    return Status::OK();
  }
  if (uint64_t{h_.node_count} + 1 > UINT32_MAX / kKeyBlockSize) {
    return key_.Corrupt("key file full");
  }
  *node_no = ++h_.node_count;
  node->Clear();
  return Status::OK();
}

Status KeyFile::Mutation::Free(uint32_t node_no) {
  if (node_no == h_.root) return key_.Corrupt("freeing the root");
  KeyNode freed;
  freed.set_right(h_.free_node);
  ZUNA_RETURN_IF_ERROR(key_.WriteNode(node_no, freed));
  h_.free_node = node_no;
  return Status::OK();
}

Status KeyFile::Mutation::FindChild(uint32_t parent_no, const KeyNode& parent,
                                    uint32_t child_no, size_t* index) {
  for (size_t i = 0; i < parent.count(); ++i) {
    if (parent.number(i, el_) == child_no) {
      *index = i;
      return Status::OK();
    }
  }
  if (parent.right() == child_no) {
    *index = parent.count();
    return Status::OK();
  }
  return key_.Corrupt("node " + std::to_string(child_no) +
                      " is missing from its parent " +
                      std::to_string(parent_no));
}

// The parent's entry for `node_no` when its highest value is its last
// entry's: a new node, which never has a rightmost child.
std::string KeyFile::Mutation::SeparatorFor(uint32_t node_no,
                                            const KeyNode& node) const {
  std::string sep(el_, '\0');
  EncodeFixed32(sep.data(), node_no);
  std::memcpy(sep.data() + kEntryNumberSize, node.value(node.count() - 1, el_),
              kl_);
  return sep;
}

// The parent's entry for any node: its highest value is found down its
// rightmost children, if it has them (a leaf's right link is its
// neighbour, and may name a node not written yet).
Status KeyFile::Mutation::SeparatorOf(uint32_t node_no, KeyNode node,
                                      uint32_t levels_below, std::string* sep) {
  const uint32_t top_no = node_no;
  for (uint32_t level = 0; level <= levels_below && level < h_.height;
       ++level) {
    uint32_t child_no = 0;
    KeyNode child;
    if (level < levels_below) {
      ZUNA_RETURN_IF_ERROR(
          key_.RightmostChild(node_no, node, &child_no, &child));
    }
    if (child_no == 0) {
      if (node.count() == 0) {
        return key_.Corrupt("node " + std::to_string(node_no) + " is empty");
      }
      *sep = SeparatorFor(top_no, node);
      return Status::OK();
    }
    node_no = child_no;
    node = child;
  }
  return key_.Corrupt("rightmost children below node " +
                      std::to_string(top_no) + " go deeper than the tree");
}

}  // namespace zuna::datfile
