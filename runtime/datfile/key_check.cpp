// The key file checker: reads a key file as it is on disk and reports every
// broken invariant of key_file.h.  It never repairs, and every walk is
// bounded by the node count and a visited set, so damage of any shape ends
// in a report.  The reports are for people: Russian, in the program's code
// page (1251), as every other text of the checker (checker.h).
#include <cstring>
#include <string>
#include <string_view>

#include "runtime/datfile/key_file.h"
#include "runtime/datfile/key_tree_internal.h"
#include "runtime/values/code_page.h"

namespace zuna::datfile {
namespace {

// A source literal (UTF-8) as the program's text.
std::string Ru(std::string_view utf8) { return values::Utf8ToCp1251(utf8); }

}  // namespace

std::vector<std::string> KeyHeaderFaults(const KeyHeader& h,
                                         const KeyLayout& layout,
                                         uint64_t file_size) {
  std::vector<std::string> faults;
  auto fault = [&](std::string what) { faults.push_back(std::move(what)); };
  const auto n = [](uint64_t v) { return std::to_string(v); };
  if (h.entry_length != layout.entry_length) {
    fault(Ru("длина элемента ") + n(h.entry_length) + Ru(", по описанию ") +
          n(layout.entry_length));
  } else if (h.entries_per_node != layout.entries_per_node) {
    fault(Ru("элементов в узле ") + n(h.entries_per_node) +
          Ru(", должно быть ") + n(layout.entries_per_node));
  }
  if (h.component_count != layout.component_count) {
    fault(Ru("составных частей ") + n(h.component_count) +
          Ru(", по описанию ") + n(layout.component_count));
  }
  if (((h.key_type ^ layout.key_type) & kKeyTypeCheckedBits) != 0) {
    fault(Ru("биты типа ключа ") + n(h.key_type) + Ru(", по описанию ") +
          n(layout.key_type));
  }
  if (h.node_count == 0 ||
      (uint64_t{h.node_count} + 1) * kKeyBlockSize > file_size) {
    fault(Ru("число узлов ") + n(h.node_count) +
          Ru(" не помещается в файл длиной ") + n(file_size) + Ru(" байт"));
    return faults;  // every other link is measured against the node count
  }
  if (h.root == 0 || h.root > h.node_count) fault(Ru("корень ") + n(h.root));
  if (h.last_leaf == 0 || h.last_leaf > h.node_count) {
    fault(Ru("последний лист ") + n(h.last_leaf));
  }
  if (h.free_node > h.node_count) {
    fault(Ru("первый свободный узел ") + n(h.free_node));
  }
  if (h.height == 0 || h.height > h.node_count || h.height > kMaxKeyHeight) {
    fault(Ru("высота ") + n(h.height));
  }
  if (h.entry_count == 0 && (h.height != 1 || h.last_leaf != h.root)) {
    fault(Ru("ключ пуст, но дерево не из одного пустого корня"));
  }
  // A key that never grew past its root fills exactly two blocks; one that
  // grew keeps its node count when emptied.  An empty root in a longer file
  // is what an older BUILD left when it was killed after starting the key
  // afresh: every entry lost, so the key must be rebuilt.
  if (h.entry_count == 0 && h.node_count == 1 &&
      file_size > 2 * uint64_t{kKeyBlockSize}) {
    fault(Ru("ключ пуст, а файл длиной ") + n(file_size) +
          Ru(" байт: построение ключа не закончено"));
  }
  if (layout.entries_per_node != 0 &&
      uint64_t{h.entry_count} >
          uint64_t{h.node_count} * layout.entries_per_node) {
    fault(Ru("элементов ") + n(h.entry_count) +
          Ru(", больше, чем вмещают все узлы"));
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
        state_(size_t{header.node_count} + 1, kUnseen),
        levels_(size_t{header.height} + 1) {}

  Status Run() {
    std::string highest;
    ZUNA_RETURN_IF_ERROR(Walk(h_.root, 0, 1, &highest));
    for (const std::vector<InnerLinks>& level : levels_) CheckLevel(level);
    CheckLeafChain();
    return CheckFreeChain();
  }

 private:
  enum : uint8_t { kUnseen, kInTree, kFree };

  // An inner node's links, kept per level in key order.
  struct InnerLinks {
    uint32_t node_no = 0;
    uint32_t left = 0;
    uint32_t right = 0;
    bool right_is_child = false;
  };

  void Fault(uint32_t node_no, int invariant, std::string what) {
    faults_->push_back(
        {uint64_t{node_no} * kKeyBlockSize, invariant,
         Ru("узел ") + std::to_string(node_no) + ": " + std::move(what)});
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
            Ru("ссылка на потомка ") + std::to_string(node_no) +
                Ru(" за пределами числа узлов"));
      return Status::OK();
    }
    if (state_[node_no] != kUnseen) {
      Fault(node_no, 2, Ru("достигнут дважды (цикл или общий потомок)"));
      return Status::OK();
    }
    state_[node_no] = kInTree;
    KeyNode node;
    ZUNA_RETURN_IF_ERROR(Read(node_no, &node));
    if (node.count() > layout_.entries_per_node) {
      Fault(node_no, 3,
            Ru("число элементов ") + std::to_string(node.count()) +
                Ru(" больше вместимости узла"));
      return Status::OK();
    }
    if (node.parent() != parent_no) {
      Fault(node_no, 2,
            Ru("в поле родителя ") + std::to_string(node.parent()) +
                Ru(", а достигнут из ") + std::to_string(parent_no));
    }
    if (!TailIsZero(node)) Fault(node_no, 8, Ru("лишние байты после элементов"));
    const bool is_leaf = depth == h_.height;
    const bool may_be_empty = node_no == h_.root && is_leaf;
    if (node.count() == 0 && !may_be_empty) Fault(node_no, 3, Ru("пуст"));
    if (node.count() > 0) {
      highest->assign(node.value(node.count() - 1, el_), kl_);
    }
    if (is_leaf) {
      leaves_.push_back({node_no, node});
    } else {
      ZUNA_RETURN_IF_ERROR(WalkInner(node_no, node, depth, highest));
    }
    return Status::OK();
  }

  // The entries' children, then a rightmost child (its highest value is
  // the node's); the links go to levels_ for CheckLevel.
  Status WalkInner(uint32_t node_no, const KeyNode& node, uint32_t depth,
                   std::string* highest) {
    ZUNA_RETURN_IF_ERROR(WalkEntries(node_no, node, depth));
    InnerLinks links{node_no, node.left(), node.right(), false};
    if (links.right > h_.node_count) {
      Fault(node_no, 4,
            Ru("правая ссылка на узел ") + std::to_string(links.right) +
                Ru(" за пределами числа узлов"));
    } else if (links.right != 0) {
      KeyNode named;
      ZUNA_RETURN_IF_ERROR(Read(links.right, &named));
      links.right_is_child = IsRightmostChild(node_no, named);
    }
    if (links.right_is_child) {
      std::string below;
      ZUNA_RETURN_IF_ERROR(Walk(links.right, node_no, depth + 1, &below));
      if (!below.empty()) *highest = below;
    }
    levels_[depth].push_back(links);
    return Status::OK();
  }

  Status WalkEntries(uint32_t node_no, const KeyNode& node, uint32_t depth) {
    for (size_t i = 0; i < node.count(); ++i) {
      if (i > 0 &&
          std::memcmp(node.value(i - 1, el_), node.value(i, el_), kl_) > 0) {
        Fault(node_no, 4,
              Ru("разделители не по порядку у элемента ") + std::to_string(i));
      }
      std::string below;
      ZUNA_RETURN_IF_ERROR(
          Walk(node.number(i, el_), node_no, depth + 1, &below));
      if (!below.empty() &&
          std::memcmp(below.data(), node.value(i, el_), kl_) != 0) {
        Fault(node_no, 4,
              Ru("разделитель ") + std::to_string(i) +
                  Ru(" не равен наибольшему значению под его потомком"));
      }
    }
    return Status::OK();
  }

  // The inner nodes of one level, left to right: linked end to end (each
  // right link naming the next, each left link the previous) or not at
  // all (left links 0, right links 0 or a rightmost child).
  void CheckLevel(const std::vector<InnerLinks>& level) {
    size_t linked_pairs = 0;
    for (size_t i = 0; i < level.size(); ++i) {
      const InnerLinks& n = level[i];
      const uint32_t previous = i == 0 ? 0 : level[i - 1].node_no;
      const uint32_t next = i + 1 == level.size() ? 0 : level[i + 1].node_no;
      if (n.left != 0 && n.left != previous) {
        Fault(n.node_no, 4,
              Ru("левая ссылка внутреннего узла на ") + std::to_string(n.left) +
                  Ru(", а слева на уровне ") + std::to_string(previous));
      }
      if (n.right != 0 && !n.right_is_child && n.right != next) {
        Fault(n.node_no, 4,
              Ru("правая ссылка внутреннего узла на ") +
                  std::to_string(n.right) +
                  Ru(": не потомок и не следующий узел уровня (") +
                  std::to_string(next) + ")");
      }
      if (next == 0) continue;
      const bool forward = !n.right_is_child && n.right == next;
      const bool back = level[i + 1].left == n.node_no;
      if (forward != back) {
        Fault(n.node_no, 4,
              Ru("ссылки с соседом ") + std::to_string(next) +
                  Ru(" не взаимны"));
      }
      if (forward && back) ++linked_pairs;
    }
    if (linked_pairs != 0 && linked_pairs + 1 != level.size()) {
      Fault(level.front().node_no, 4,
            Ru("соседями связаны не все внутренние узлы уровня"));
    }
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
              Ru("ссылки листа ") + std::to_string(node.left()) + "/" +
                  std::to_string(node.right()) + Ru(", должны быть ") +
                  std::to_string(want_left) + "/" + std::to_string(want_right));
      }
      for (size_t e = 0; e < node.count(); ++e) {
        const char* entry = node.entry(e, el_);
        if (DecodeFixed32(entry) == 0) Fault(node_no, 5, Ru("номер записи 0"));
        if (previous != nullptr) CheckOrder(node_no, previous, entry);
        previous = entry;
      }
      entries += node.count();
    }
    if (entries != h_.entry_count) {
      Fault(0, 6,
            Ru("в заголовке элементов ") + std::to_string(h_.entry_count) +
                Ru(", а в листьях ") + std::to_string(entries));
    }
    if (!leaves_.empty() && leaves_.back().first != h_.last_leaf) {
      Fault(0, 5,
            Ru("последний лист ") + std::to_string(h_.last_leaf) +
                Ru(", а самый правый лист ") +
                std::to_string(leaves_.back().first));
    }
    CheckEnds();
  }

  void CheckOrder(uint32_t node_no, const char* previous, const char* entry) {
    if (CompareEntries(previous, entry, kl_) >= 0) {
      Fault(node_no, 5, Ru("элементы не по порядку"));
    } else if (!layout_.duplicates() &&
               std::memcmp(previous + kEntryNumberSize,
                           entry + kEntryNumberSize, kl_) == 0) {
      Fault(node_no, 5, Ru("одно значение дважды в ключе без DUP"));
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
            Ru("первая/последняя запись ") + std::to_string(h_.first_record) +
                "/" + std::to_string(h_.last_record) + Ru(", должны быть ") +
                std::to_string(first) + "/" + std::to_string(last));
    }
  }

  Status CheckFreeChain() {
    uint32_t node_no = h_.free_node;
    for (uint32_t steps = 0; node_no != 0; ++steps) {
      if (steps > h_.node_count || node_no > h_.node_count) {
        Fault(node_no, 7, Ru("цепочка свободных узлов выходит за число узлов"));
        break;
      }
      if (state_[node_no] == kFree) {
        Fault(node_no, 7, Ru("цепочка свободных узлов замкнута в цикл"));
        break;
      }
      if (state_[node_no] == kInTree) {
        Fault(node_no, 7, Ru("в цепочке свободных узлов, но и в дереве"));
        break;
      }
      state_[node_no] = kFree;
      KeyNode node;
      ZUNA_RETURN_IF_ERROR(Read(node_no, &node));
      const uint32_t next = node.right();
      node.set_right(0);
      if (node.count() != 0 || !TailIsZero(node) || node.left() != 0 ||
          node.parent() != 0) {
        Fault(node_no, 7, Ru("свободный узел не обнулён"));
      }
      node_no = next;
    }
    for (uint32_t n = 1; n <= h_.node_count; ++n) {
      if (state_[n] == kUnseen) {
        Fault(n, 8, Ru("ни в дереве, ни в цепочке свободных узлов"));
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
  std::vector<std::vector<InnerLinks>> levels_;  // by depth
};

}  // namespace

Status CheckKeyFile(File& file, const KeyLayout* layout,
                    std::vector<KeyFault>* faults) {
  uint64_t file_size = 0;
  ZUNA_RETURN_IF_ERROR(file.Size(&file_size));
  if (file_size < kKeyBlockSize) {
    faults->push_back({0, 1, Ru("файл короче блока заголовка")});
    return Status::OK();
  }
  char block[kKeyBlockSize];
  ZUNA_RETURN_IF_ERROR(ReadExact(file, 0, block, Err::kKeyFileMustBeRebuilt));
  const KeyHeader h = DecodeKeyHeader(block);
  for (size_t i = kKeyHeaderSize; i < kKeyBlockSize; ++i) {
    if (block[i] != 0) {
      faults->push_back({i, 8, Ru("лишние байты в блоке заголовка после заголовка")});
      break;
    }
  }
  KeyLayout own;
  if (layout == nullptr) {
    if (h.entry_length < kEntryNumberSize || h.entry_length > kMaxEntryLength) {
      faults->push_back({kKeyHeaderEntryLengthOffset, 1,
                         Ru("длина элемента ") + std::to_string(h.entry_length)});
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
    faults->push_back({0, 1, Ru("заголовок: ") + what});
  }
  if (!header_faults.empty()) return Status::OK();
  return Checker(file, *layout, h, faults).Run();
}

}  // namespace zuna::datfile
