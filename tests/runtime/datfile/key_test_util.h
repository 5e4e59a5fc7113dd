// Helpers for the key file and BUILD tests: small declarations, record and
// entry images written out by hand, and a reader of raw node blocks that
// uses the format's literal offsets (not key_format.h), so a test compares
// the code's bytes with an independent reading of the layout.
#ifndef ZUNA_TESTS_RUNTIME_DATFILE_KEY_TEST_UTIL_H_
#define ZUNA_TESTS_RUNTIME_DATFILE_KEY_TEST_UTIL_H_

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "runtime/datfile/declaration.h"
#include "runtime/datfile/key_encoding.h"
#include "runtime/datfile/key_file.h"
#include "runtime/values/code_page.h"
#include "runtime/values/locale.h"
#include "tests/support/mem_fs.h"
#include "tests/support/status_matchers.h"

namespace zuna::datfile::key_test {

// Little-endian u32 read and written by hand.
inline uint32_t U32(std::string_view b, size_t at) {
  return static_cast<uint32_t>(static_cast<uint8_t>(b[at])) |
         static_cast<uint32_t>(static_cast<uint8_t>(b[at + 1])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(b[at + 2])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24;
}
inline std::string Le32(uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[i] = static_cast<char>(v >> (8 * i));
  return s;
}

// "0A FF 20" for bytes.
inline std::string Hex(std::string_view bytes) {
  std::string out;
  char buf[4];
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(buf, sizeof buf, i == 0 ? "%02X" : " %02X",
                  static_cast<uint8_t>(bytes[i]));
    out += buf;
  }
  return out;
}

// Bytes from "0A FF 20" (blanks ignored).
inline std::string Unhex(std::string_view hex) {
  std::string out;
  int nibbles = 0;
  uint8_t byte = 0;
  for (char c : hex) {
    int v;
    if (c >= '0' && c <= '9') {
      v = c - '0';
    } else if (c >= 'A' && c <= 'F') {
      v = c - 'A' + 10;
    } else if (c >= 'a' && c <= 'f') {
      v = c - 'a' + 10;
    } else {
      continue;
    }
    byte = static_cast<uint8_t>(byte << 4 | v);
    if (++nibbles == 2) {
      out.push_back(static_cast<char>(byte));
      nibbles = 0;
      byte = 0;
    }
  }
  return out;
}

// A file whose record is one STRING(width) at offset 0 and one key on it.
inline FileDecl StringFile(uint16_t width, bool dup, bool nocase = false,
                           bool opt = false, bool oem = false) {
  FileDecl file;
  file.label = "TST";
  file.record_length = width;
  FieldDecl field;
  field.label = "TST:Name";
  field.type = FieldType::kString;
  field.offset = 0;
  field.size = width;
  file.fields = {field};
  KeyDecl key;
  key.label = "TST:NameKey";
  key.components = {{0}};
  key.duplicates = dup;
  key.nocase = nocase;
  key.optional = opt;
  file.keys = {key};
  file.oem = oem;
  return file;
}

// `text` space-padded (or cut) to `width`.
inline std::string Padded(std::string_view text, size_t width) {
  std::string s(text.substr(0, width));
  s.resize(width, ' ');
  return s;
}

// An entry of a STRING key with the identity collation: record number, then
// the text padded to the key length.
inline std::string TextEntry(uint32_t record_no, std::string_view text,
                             size_t key_length) {
  return Le32(record_no) + Padded(text, key_length);
}

// One node block read with literal offsets: count at 0, right 1, left 5,
// parent 9, entries from 13.
struct RawNode {
  int count = 0;
  uint32_t right = 0, left = 0, parent = 0;
  // (record or child number, the value's text without trailing blanks)
  std::vector<std::pair<uint32_t, std::string>> entries;
  bool tail_zero = true;
};

inline std::string Block(const testing::MemFileSystem& fs,
                         const std::string& path, uint32_t block) {
  const std::string all = fs.Contents(path);
  if (all.size() < (block + 1) * 512ull) return {};
  return all.substr(block * 512ull, 512);
}

inline RawNode ParseNode(std::string_view block, size_t entry_length) {
  RawNode n;
  n.count = static_cast<uint8_t>(block[0]);
  n.right = U32(block, 1);
  n.left = U32(block, 5);
  n.parent = U32(block, 9);
  for (int i = 0; i < n.count; ++i) {
    const size_t at = 13 + i * entry_length;
    std::string value(block.substr(at + 4, entry_length - 4));
    while (!value.empty() && value.back() == ' ') value.pop_back();
    n.entries.emplace_back(U32(block, at), value);
  }
  for (size_t i = 13 + n.count * entry_length; i < 512; ++i) {
    if (block[i] != 0) n.tail_zero = false;
  }
  return n;
}

// "rec:text rec:text ..." of a node's entries, for compact expectations.
inline std::string Describe(const RawNode& n) {
  std::string out;
  for (const auto& [number, text] : n.entries) {
    if (!out.empty()) out += ' ';
    out += std::to_string(number) + ":" + text;
  }
  return out;
}

// The header fields read with literal offsets.
struct RawHeader {
  uint32_t root, entry_count, node_count, last_leaf, last_record, first_record,
      free_node;
  int key_type, entries_per_node, component_count, entry_length, height;
};
inline RawHeader ParseHeader(std::string_view b) {
  return {U32(b, 0),
          U32(b, 4),
          U32(b, 8),
          U32(b, 12),
          U32(b, 16),
          U32(b, 20),
          U32(b, 24),
          static_cast<uint8_t>(b[28]),
          static_cast<uint8_t>(b[29]),
          static_cast<uint8_t>(b[30]),
          static_cast<uint8_t>(b[31]) | static_cast<uint8_t>(b[32]) << 8,
          static_cast<uint8_t>(b[33]) | static_cast<uint8_t>(b[34]) << 8};
}

// Every fault of the key file at `path`, one per line ("" when clean), in
// UTF-8 (the checker's texts are in the program's code page).
inline std::string Faults(testing::MemFileSystem& fs, const std::string& path,
                          const KeyLayout& layout) {
  std::unique_ptr<File> file;
  OpenOptions options;
  Status status = fs.Open(path, options, &file);
  if (!status.ok()) return "open: " + status.ToString();
  std::vector<KeyFault> faults;
  status = CheckKeyFile(*file, &layout, &faults);
  if (!status.ok()) return "check: " + status.ToString();
  std::string out;
  for (const KeyFault& f : faults) {
    out += "[" + std::to_string(f.invariant) + "] " +
           values::Cp1251ToUtf8(f.what) + "\n";
  }
  return out;
}

}  // namespace zuna::datfile::key_test

#endif  // ZUNA_TESTS_RUNTIME_DATFILE_KEY_TEST_UTIL_H_
