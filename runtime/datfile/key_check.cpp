// The key file checker: reads a key file as it is on disk and reports every
// broken invariant of key_file.h.  It never repairs, and every walk is
// bounded by the node count and a visited set, so damage of any shape ends
// in a report.
#include <cstring>

#include "runtime/datfile/key_file.h"
#include "runtime/datfile/key_tree_internal.h"

namespace zuna::datfile {

std::vector<std::string> KeyHeaderFaults(const KeyHeader& h,
                                         const KeyLayout& layout,
                                         uint64_t file_size) {
  std::vector<std::string> faults;
  auto fault = [&](std::string what) { faults.push_back(std::move(what)); };
  const auto n = [](uint64_t v) { return std::to_string(v); };
  if (h.entry_length != layout.entry_length) {
    fault("entry length " + n(h.entry_length) + ", declared " +
          n(layout.entry_length));
  } else if (h.entries_per_node != layout.entries_per_node) {
    fault("entries per node " + n(h.entries_per_node) + ", should be " +
          n(layout.entries_per_node));
  }
  if (h.component_count != layout.component_count) {
    fault("component count " + n(h.component_count) + ", declared " +
          n(layout.component_count));
  }
  if (((h.key_type ^ layout.key_type) & kKeyTypeCheckedBits) != 0) {
    fault("key type bits " + n(h.key_type) + ", declared " +
          n(layout.key_type));
  }
  if (h.node_count == 0 ||
      (uint64_t{h.node_count} + 1) * kKeyBlockSize > file_size) {
    fault("node count " + n(h.node_count) + " does not fit a file of " +
          n(file_size) + " bytes");
    return faults;  // every other link is measured against the node count
  }
  if (h.root == 0 || h.root > h.node_count) fault("root " + n(h.root));
  if (h.last_leaf == 0 || h.last_leaf > h.node_count) {
    fault("last leaf " + n(h.last_leaf));
  }
  if (h.free_node > h.node_count) fault("free node " + n(h.free_node));
  if (h.height == 0 || h.height > h.node_count || h.height > kMaxKeyHeight) {
    fault("height " + n(h.height));
  }
  if (h.entry_count == 0 && (h.height != 1 || h.last_leaf != h.root)) {
    fault("an empty key that is not a single empty root");
  }
  if (layout.entries_per_node != 0 &&
      uint64_t{h.entry_count} >
          uint64_t{h.node_count} * layout.entries_per_node) {
    fault("entry count " + n(h.entry_count) + " beyond the nodes' capacity");
  }
  return faults;
}

namespace {

class Checker {
 public:
  Checker(File& file, const KeyLayout& layout, const KeyHeader& header,
          std::vector<KeyFault>* faults)
      : file_(file),
        layout_(layout),
        h_(header),
        faults_(faults),
        el_(layout.entry_length),
        kl_(layout.key_length),
        state_(size_t{header.node_count} + 1, kUnseen) {}

  Status Run() {
    std::string highest;
    ZUNA_RETURN_IF_ERROR(Walk(h_.root, 0, 1, &highest));
    CheckLeafChain();
    return CheckFreeChain();
  }

 private:
  enum : uint8_t { kUnseen, kInTree, kFree };

  void Fault(uint32_t node_no, int invariant, std::string what) {
    faults_->push_back(
        {uint64_t{node_no} * kKeyBlockSize, invariant,
         "node " + std::to_string(node_no) + ": " + std::move(what)});
  }

  Status Read(uint32_t node_no, KeyNode* node) {
    return ReadExact(file_, uint64_t{node_no} * kKeyBlockSize, node->block(),
                     Err::kKeyFileMustBeRebuilt);
  }

  bool TailIsZero(const KeyNode& node) const {
    const size_t used = kNodeEntriesOffset + size_t{node.count()} * el_;
    for (size_t i = used; i < kKeyBlockSize; ++i) {
      if (node.block()[i] != 0) return false;
    }
    return true;
  }

  // Checks the subtree under `node_no` (reached from `parent_no` at
  // `depth`) and returns its highest value in *highest (empty when it could
  // not be found).
  Status Walk(uint32_t node_no, uint32_t parent_no, uint32_t depth,
              std::string* highest) {
    highest->clear();
    if (node_no == 0 || node_no > h_.node_count) {
      Fault(parent_no, 2,
            "child link " + std::to_string(node_no) + " beyond the node count");
      return Status::OK();
    }
    if (state_[node_no] != kUnseen) {
      Fault(node_no, 2, "reached twice (a cycle or a shared child)");
      return Status::OK();
    }
    state_[node_no] = kInTree;
    KeyNode node;
    ZUNA_RETURN_IF_ERROR(Read(node_no, &node));
    if (node.count() > layout_.entries_per_node) {
      Fault(node_no, 3,
            "count " + std::to_string(node.count()) + " beyond capacity");
      return Status::OK();
    }
    if (node.parent() != parent_no) {
      Fault(node_no, 2,
            "parent field " + std::to_string(node.parent()) +
                ", reached from " + std::to_string(parent_no));
    }
    if (!TailIsZero(node)) Fault(node_no, 8, "bytes after the entries");
    const bool is_leaf = depth == h_.height;
    const bool may_be_empty = node_no == h_.root && is_leaf;
    if (node.count() == 0 && !may_be_empty) Fault(node_no, 3, "empty");
    if (is_leaf) {
      leaves_.push_back({node_no, node});
    } else {
      ZUNA_RETURN_IF_ERROR(WalkInner(node_no, node, depth));
    }
    if (node.count() > 0) {
      highest->assign(node.value(node.count() - 1, el_), kl_);
    }
    return Status::OK();
  }

  Status WalkInner(uint32_t node_no, const KeyNode& node, uint32_t depth) {
    if (node.right() != 0 || node.left() != 0) {
      Fault(node_no, 4, "inner node with links");
    }
    for (size_t i = 0; i < node.count(); ++i) {
      if (i > 0 &&
          std::memcmp(node.value(i - 1, el_), node.value(i, el_), kl_) > 0) {
        Fault(node_no, 4, "separators out of order at " + std::to_string(i));
      }
      std::string below;
      ZUNA_RETURN_IF_ERROR(
          Walk(node.number(i, el_), node_no, depth + 1, &below));
      if (!below.empty() &&
          std::memcmp(below.data(), node.value(i, el_), kl_) != 0) {
        Fault(node_no, 4,
              "separator " + std::to_string(i) +
                  " is not the highest value under its child");
      }
    }
    return Status::OK();
  }

  void CheckLeafChain() {
    uint64_t entries = 0;
    const char* previous = nullptr;
    for (size_t i = 0; i < leaves_.size(); ++i) {
      const auto& [node_no, node] = leaves_[i];
      const uint32_t want_left = i == 0 ? 0 : leaves_[i - 1].first;
      const uint32_t want_right =
          i + 1 == leaves_.size() ? 0 : leaves_[i + 1].first;
      if (node.left() != want_left || node.right() != want_right) {
        Fault(node_no, 5,
              "leaf links " + std::to_string(node.left()) + "/" +
                  std::to_string(node.right()) + ", should be " +
                  std::to_string(want_left) + "/" + std::to_string(want_right));
      }
      for (size_t e = 0; e < node.count(); ++e) {
        const char* entry = node.entry(e, el_);
        if (DecodeFixed32(entry) == 0) Fault(node_no, 5, "record number 0");
        if (previous != nullptr) CheckOrder(node_no, previous, entry);
        previous = entry;
      }
      entries += node.count();
    }
    if (entries != h_.entry_count) {
      Fault(0, 6,
            "entry count " + std::to_string(h_.entry_count) +
                ", the leaves hold " + std::to_string(entries));
    }
    if (!leaves_.empty() && leaves_.back().first != h_.last_leaf) {
      Fault(0, 5,
            "last leaf " + std::to_string(h_.last_leaf) +
                ", the rightmost leaf is " +
                std::to_string(leaves_.back().first));
    }
    CheckEnds();
  }

  void CheckOrder(uint32_t node_no, const char* previous, const char* entry) {
    if (CompareEntries(previous, entry, kl_) >= 0) {
      Fault(node_no, 5, "entries out of order");
    } else if (!layout_.duplicates() &&
               std::memcmp(previous + kEntryNumberSize,
                           entry + kEntryNumberSize, kl_) == 0) {
      Fault(node_no, 5, "the same value twice in a key without DUP");
    }
  }

  void CheckEnds() {
    uint32_t first = 0, last = 0;
    for (const auto& [node_no, node] : leaves_) {
      if (node.count() == 0) continue;
      if (first == 0) first = node.number(0, el_);
      last = node.number(node.count() - 1, el_);
    }
    if (first != h_.first_record || last != h_.last_record) {
      Fault(0, 6,
            "first/last record " + std::to_string(h_.first_record) + "/" +
                std::to_string(h_.last_record) + ", should be " +
                std::to_string(first) + "/" + std::to_string(last));
    }
  }

  Status CheckFreeChain() {
    uint32_t node_no = h_.free_node;
    for (uint32_t steps = 0; node_no != 0; ++steps) {
      if (steps > h_.node_count || node_no > h_.node_count) {
        Fault(node_no, 7, "free chain runs beyond the node count");
        break;
      }
      if (state_[node_no] == kFree) {
        Fault(node_no, 7, "free chain has a cycle");
        break;
      }
      if (state_[node_no] == kInTree) {
        Fault(node_no, 7, "on the free chain but in the tree");
        break;
      }
      state_[node_no] = kFree;
      KeyNode node;
      ZUNA_RETURN_IF_ERROR(Read(node_no, &node));
      const uint32_t next = node.right();
      node.set_right(0);
      if (node.count() != 0 || !TailIsZero(node) || node.left() != 0 ||
          node.parent() != 0) {
        Fault(node_no, 7, "free node not zeroed");
      }
      node_no = next;
    }
    for (uint32_t n = 1; n <= h_.node_count; ++n) {
      if (state_[n] == kUnseen) {
        Fault(n, 8, "neither in the tree nor on the free chain");
      }
    }
    return Status::OK();
  }

  File& file_;
  const KeyLayout layout_;
  const KeyHeader h_;
  std::vector<KeyFault>* faults_;
  const size_t el_;
  const size_t kl_;
  std::vector<uint8_t> state_;
  std::vector<std::pair<uint32_t, KeyNode>> leaves_;
};

}  // namespace

Status CheckKeyFile(File& file, const KeyLayout* layout,
                    std::vector<KeyFault>* faults) {
  uint64_t file_size = 0;
  ZUNA_RETURN_IF_ERROR(file.Size(&file_size));
  if (file_size < kKeyBlockSize) {
    faults->push_back({0, 1, "shorter than the header block"});
    return Status::OK();
  }
  char block[kKeyBlockSize];
  ZUNA_RETURN_IF_ERROR(ReadExact(file, 0, block, Err::kKeyFileMustBeRebuilt));
  const KeyHeader h = DecodeKeyHeader(block);
  for (size_t i = kKeyHeaderSize; i < kKeyBlockSize; ++i) {
    if (block[i] != 0) {
      faults->push_back({i, 8, "header block: bytes after the header"});
      break;
    }
  }
  KeyLayout own;
  if (layout == nullptr) {
    if (h.entry_length < kEntryNumberSize || h.entry_length > kMaxEntryLength) {
      faults->push_back({kKeyHeaderEntryLengthOffset, 1,
                         "entry length " + std::to_string(h.entry_length)});
      return Status::OK();
    }
    own =
        MakeKeyLayout(static_cast<uint16_t>(h.entry_length - kEntryNumberSize),
                      h.component_count, h.key_type);
    layout = &own;
  }
  const std::vector<std::string> header_faults =
      KeyHeaderFaults(h, *layout, file_size);
  for (const std::string& what : header_faults) {
    faults->push_back({0, 1, "header: " + what});
  }
  if (!header_faults.empty()) return Status::OK();
  return Checker(file, *layout, h, faults).Run();
}

}  // namespace zuna::datfile
