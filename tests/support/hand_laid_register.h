// A register file (ZUN's declaration, zun_declaration.h) laid down byte by
// byte from the data and key file layouts: the data file and both key
// files, written here without the driver, the key encoder or the key
// file's writer.  So a test can hand the product trees it would never
// build itself: inner levels linked like the leaves, or inner nodes whose
// last child hangs in the right link without an entry of its own.
//
//   HandLaidRegister files = LayRegister(people, {InnerShape::kRightmostChild,
//                                                 12, 8}, {..., 40, 4});
//   WriteFileBytes(dir.File("ZUN.DAT"), files.dat);   // and .K01, .K02
//
// Names must be ASCII capitals, digits and blanks: their key bytes are then
// their own bytes whatever the code page (ZUN is an OEM file) and the
// collation (Zuna.ENV ranks only Cyrillic letters), so they are known here
// without the locale tables.  Pure functions, any thread.
#ifndef ZUNA_TESTS_SUPPORT_HAND_LAID_REGISTER_H_
#define ZUNA_TESTS_SUPPORT_HAND_LAID_REGISTER_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zuna::testing {

// How a key tree's inner nodes are linked.
enum class InnerShape {
  kOwn,             // every child has its entry; inner links 0
  kNeighbours,      // as kOwn, and each inner level linked left-right
  kRightmostChild,  // each inner node's last child in its right link only
};

const char* InnerShapeName(InnerShape shape);

// One key tree's shape: how full the leaves are and how many children each
// inner node has (the last node of a level may have fewer; with
// kRightmostChild never fewer than two).
struct HandTreeShape {
  InnerShape inner = InnerShape::kOwn;
  size_t leaf_fill = 1;
  size_t inner_fill = 2;
};

struct HandPerson {
  std::string fio;  // at most 30 ASCII capitals, digits and blanks
  int32_t date = 0;  // date serial, not 0
};

struct HandLaidRegister {
  std::string dat;  // ZUN.DAT: people as records 1, 2, ... in order
  std::string k01;  // ZUN:zun_key, the date
  std::string k02;  // ZUN:key2, the name
};

// REQUIRES: people not empty; fills within a node's capacity (name key 14,
// date key 62 entries), leaf_fill >= 1, inner_fill >= 2 (3 with
// kRightmostChild).
HandLaidRegister LayRegister(const std::vector<HandPerson>& people,
                             const HandTreeShape& date_key,
                             const HandTreeShape& name_key);

// The levels of a key file's tree, read from its header (offset 33).
int KeyHeight(const std::string& key_file);

}  // namespace zuna::testing

#endif  // ZUNA_TESTS_SUPPORT_HAND_LAID_REGISTER_H_
