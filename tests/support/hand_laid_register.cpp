#include "tests/support/hand_laid_register.h"

#include <algorithm>
#include <utility>

namespace zuna::testing {
namespace {

constexpr size_t kBlock = 512;
constexpr size_t kNodeEntries = 13;  // count 1, right 4, left 4, parent 4
constexpr size_t kNodeSpace = kBlock - kNodeEntries;
constexpr size_t kFioLength = 30;
constexpr size_t kRecordLength = 38;  // FIO 30, DATA 4, DATA1 4
constexpr uint8_t kKeyTypeDupNoCase = 0x30;  // DUP 0x10, NOCASE 0x20, OPT

void Put16(std::string& b, size_t at, uint32_t v) {
  b[at] = static_cast<char>(v & 0xFF);
  b[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& b, size_t at, uint32_t v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}
std::string Le32(uint32_t v) {
  std::string s(4, '\0');
  Put32(s, 0, v);
  return s;
}

std::string PaddedFio(const std::string& fio) {
  std::string s = fio.substr(0, kFioLength);
  s.resize(kFioLength, ' ');
  return s;
}

// A LONG as a key stores it: big-endian, the sign bit flipped.
std::string LongKey(int32_t v) {
  const auto u = static_cast<uint32_t>(v) ^ 0x80000000u;
  return {static_cast<char>(u >> 24), static_cast<char>((u >> 16) & 0xFF),
          static_cast<char>((u >> 8) & 0xFF), static_cast<char>(u & 0xFF)};
}

struct Entry {
  std::string value;  // the key bytes
  uint32_t number = 0;  // record (leaf) or child node (inner)
};

bool Before(const Entry& a, const Entry& b) {
  if (a.value != b.value) return a.value < b.value;  // unsigned, as memcmp
  return a.number < b.number;
}

struct Node {
  std::vector<size_t> children;  // indexes into the level below
  std::vector<Entry> entries;    // leaves: (record, value)
  uint32_t no = 0, parent = 0, right = 0, left = 0;
  std::string highest;
};

// How many children each inner node of a level takes: `fill` each, the last
// node the rest, but never fewer than `least`.
std::vector<size_t> Groups(size_t n, size_t fill, size_t least) {
  std::vector<size_t> sizes(n / fill, fill);
  if (n % fill != 0) sizes.push_back(n % fill);
  if (sizes.size() > 1 && sizes.back() < least) {
    sizes[sizes.size() - 2] -= least - sizes.back();
    sizes.back() = least;
  }
  return sizes;
}

std::string LayKey(std::vector<Entry> entries, size_t key_length,
                   const HandTreeShape& shape) {
  std::sort(entries.begin(), entries.end(), Before);
  const size_t entry_length = key_length + 4;
  const bool rightmost = shape.inner == InnerShape::kRightmostChild;

  std::vector<std::vector<Node>> levels(1);  // leaves first, root last
  for (size_t i = 0; i < entries.size(); i += shape.leaf_fill) {
    Node leaf;
    const size_t end = std::min(entries.size(), i + shape.leaf_fill);
    leaf.entries.assign(entries.begin() + i, entries.begin() + end);
    leaf.highest = leaf.entries.back().value;
    levels[0].push_back(std::move(leaf));
  }
  while (levels.back().size() > 1) {
    std::vector<Node> above;
    size_t next = 0;
    for (size_t size : Groups(levels.back().size(), shape.inner_fill,
                              rightmost ? 2 : 1)) {
      Node node;
      for (size_t c = 0; c < size; ++c) node.children.push_back(next++);
      node.highest = levels.back()[node.children.back()].highest;
      above.push_back(std::move(node));
    }
    levels.push_back(std::move(above));
  }

  // Numbers: the leaves from 1, then each level up, the root last.
  uint32_t number = 0;
  for (auto& level : levels) {
    for (Node& node : level) node.no = ++number;
  }
  for (size_t l = 0; l < levels.size(); ++l) {
    std::vector<Node>& level = levels[l];
    const bool linked = l == 0 || shape.inner == InnerShape::kNeighbours;
    for (size_t i = 0; i < level.size() && linked; ++i) {
      if (i > 0) level[i].left = level[i - 1].no;
      if (i + 1 < level.size()) level[i].right = level[i + 1].no;
    }
    if (l == 0) continue;
    for (Node& node : level) {
      for (size_t k = 0; k < node.children.size(); ++k) {
        Node& child = levels[l - 1][node.children[k]];
        child.parent = node.no;
        if (rightmost && k + 1 == node.children.size()) {
          node.right = child.no;
        } else {
          node.entries.push_back({child.highest, child.no});
        }
      }
    }
  }

  std::string file((size_t{number} + 1) * kBlock, '\0');
  const Node& root = levels.back().front();
  Put32(file, 0, root.no);
  Put32(file, 4, static_cast<uint32_t>(entries.size()));
  Put32(file, 8, number);
  Put32(file, 12, levels.front().back().no);  // last leaf
  Put32(file, 16, entries.back().number);     // last record
  Put32(file, 20, entries.front().number);    // first record
  Put32(file, 24, 0);                         // no free node
  file[28] = static_cast<char>(kKeyTypeDupNoCase);
  file[29] = static_cast<char>(kNodeSpace / entry_length);
  file[30] = 1;  // one component
  Put16(file, 31, static_cast<uint32_t>(entry_length));
  Put16(file, 33, static_cast<uint32_t>(levels.size()));
  for (const auto& level : levels) {
    for (const Node& node : level) {
      const size_t at = node.no * kBlock;
      file[at] = static_cast<char>(node.entries.size());
      Put32(file, at + 1, node.right);
      Put32(file, at + 5, node.left);
      Put32(file, at + 9, node.parent);
      size_t e = at + kNodeEntries;
      for (const Entry& entry : node.entries) {
        file.replace(e, entry_length, Le32(entry.number) + entry.value);
        e += entry_length;
      }
    }
  }
  return file;
}

std::string Descriptor(uint8_t type, const std::string& name, uint16_t offset,
                       uint16_t length) {
  std::string d(27, '\0');
  d[0] = static_cast<char>(type);
  std::string padded = name;
  padded.resize(16, ' ');
  d.replace(1, 16, padded);
  Put16(d, 17, offset);
  Put16(d, 19, length);
  return d;  // no digits, places, array or picture
}

std::string KeyDescriptor(const std::string& name, uint8_t length,
                          uint8_t field_type, uint16_t field_no,
                          uint16_t offset) {
  std::string d(19 + 6, '\0');
  d[0] = 1;  // one component
  std::string padded = name;
  padded.resize(16, ' ');
  d.replace(1, 16, padded);
  d[17] = static_cast<char>(kKeyTypeDupNoCase);
  d[18] = static_cast<char>(length);
  d[19] = static_cast<char>(field_type);
  Put16(d, 20, field_no);
  Put16(d, 22, offset);
  d[24] = static_cast<char>(length);
  return d;
}

std::string LayData(const std::vector<HandPerson>& people) {
  constexpr uint8_t kLong = 1, kString = 3;
  std::string descriptors =
      Descriptor(kString, "ZUN:FIO", 0, 30) +
      Descriptor(kLong, "ZUN:DATA", 30, 4) +
      Descriptor(kLong, "ZUN:DATA1", 34, 4) +
      KeyDescriptor("ZUN:zun_key", 4, kLong, 2, 30) +
      KeyDescriptor("ZUN:key2", 30, kString, 1, 0);
  const uint32_t data_offset = static_cast<uint32_t>(85 + descriptors.size());
  const auto count = static_cast<uint32_t>(people.size());
  std::string header(85, '\0');
  Put16(header, 0, 0x3356);         // "V3"
  Put16(header, 2, 0x0080 | 0x0020);  // always, RECLAIM
  header[4] = 2;                    // keys
  Put32(header, 5, count);          // record slots
  Put16(header, 13, 3);             // fields
  Put16(header, 19, kRecordLength + 5);
  Put32(header, 21, data_offset);
  Put32(header, 25, count);  // logical EOF
  Put32(header, 29, 1);      // logical BOF
  header.replace(37, 24, std::string(24, ' '));  // record and memo names
  header.replace(61, 6, "ZUNZUN");               // file and record prefix
  std::string dat = header + descriptors;
  for (const HandPerson& p : people) {
    dat += '\x01';  // new
    dat += Le32(0);  // no memo
    dat += PaddedFio(p.fio) + Le32(static_cast<uint32_t>(p.date)) + Le32(0);
  }
  return dat;
}

}  // namespace

const char* InnerShapeName(InnerShape shape) {
  switch (shape) {
    case InnerShape::kOwn: return "own";
    case InnerShape::kNeighbours: return "neighbours";
    case InnerShape::kRightmostChild: return "rightmost child";
  }
  return "?";
}

HandLaidRegister LayRegister(const std::vector<HandPerson>& people,
                             const HandTreeShape& date_key,
                             const HandTreeShape& name_key) {
  std::vector<Entry> dates, names;
  for (size_t i = 0; i < people.size(); ++i) {
    const auto record_no = static_cast<uint32_t>(i + 1);
    dates.push_back({LongKey(people[i].date), record_no});
    names.push_back({PaddedFio(people[i].fio), record_no});
  }
  return {LayData(people), LayKey(std::move(dates), 4, date_key),
          LayKey(std::move(names), kFioLength, name_key)};
}

int KeyHeight(const std::string& key_file) {
  if (key_file.size() < 35) return 0;
  return static_cast<uint8_t>(key_file[33]) |
         static_cast<uint8_t>(key_file[34]) << 8;
}

}  // namespace zuna::testing
