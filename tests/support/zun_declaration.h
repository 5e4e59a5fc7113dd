// FILE declarations for driver tests: the register's ZUN exactly as the
// dictionary declares it, and a few others that reach the parts of the data
// file format ZUN never touches (memo, arrays and a dimensioned GROUP,
// pictures, DECIMAL/REAL/BYTE/SHORT, OWNER and ENCRYPT, too many dimensions).
//
// Every function returns a fresh value; the record layouts are written out
// in the comments so tests can build record images by hand.
#ifndef ZUNA_TESTS_SUPPORT_ZUN_DECLARATION_H_
#define ZUNA_TESTS_SUPPORT_ZUN_DECLARATION_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/datfile/declaration.h"

namespace zuna::testing {

// ZUN: CREATE, RECLAIM, OEM, THREAD; no NAME, no memo, no OWNER/ENCRYPT.
// Record, 38 bytes:
//   1 ZUN:FIO    STRING(30)  offset  0
//   2 ZUN:DATA   LONG        offset 30   (date serial)
//   3 ZUN:DATA1  LONG        offset 34
// Keys: 1 ZUN:zun_key (ZUN:DATA), 2 ZUN:key2 (ZUN:FIO); both DUP NOCASE OPT.
datfile::FileDecl ZunDeclaration();
inline constexpr uint16_t kZunRecordLength = 38;

// A 38-byte ZUN record image: `fio` (program code page) cut or space-padded
// to 30 bytes, then DATA and DATA1 little-endian.
std::string ZunRecord(std::string_view fio, int32_t data, int32_t data1 = 0);

// MEM: RECLAIM; a MEMO "MEM:Notes" of 600 bytes (BINARY when `binary`).
// Record, 24 bytes:
//   1 MEM:Name   STRING(20)  offset  0
//   2 MEM:Born   LONG        offset 20
// Key: 1 MEM:NameKey (MEM:Name), NOCASE, no DUP, not OPT.
datfile::FileDecl MemoDeclaration(bool binary = false);
inline constexpr uint16_t kMemoRecordLength = 24;
inline constexpr uint16_t kMemoSize = 600;

// ARR: arrays, a dimensioned GROUP and pictures.  Record, 56 bytes:
//   1 ARR:Codes   STRING(4) DIM(3)         offset  0  size 12
//   2 ARR:Period  GROUP DIM(2)             offset 12  size 24 (element 12)
//   3   ARR:From  LONG        (in Period)  offset 12
//   4   ARR:Till  LONG        (in Period)  offset 16
//   5   ARR:Tags  STRING(2) DIM(2)         offset 20  size 4 (in Period)
//   6 ARR:Title   STRING(@s10)             offset 36  size 10, picture "@s10"
//   7 ARR:Note    STRING(@s10)             offset 46  size 10, picture "@s10"
// No keys, no memo; OEM (the string members of the GROUP are text).
datfile::FileDecl ArrayDeclaration();
inline constexpr uint16_t kArrayRecordLength = 56;

// NUM: the numeric types and a field kept in memory only.  Record, 32 bytes:
//   1 NUM:Count   BYTE           offset  0
//   2 NUM:Small   SHORT          offset  1
//   3 NUM:Amount  DECIMAL(7,2)   offset  3  size 4
//   4 NUM:Rate    REAL           offset  7  size 8
//   5 NUM:Flags   USHORT         offset 15  (a type the format has no code for)
//   6 NUM:Scratch LONG           offset 17  not stored
//   7 NUM:Stamp   LONG           offset 21
//   8 NUM:Label   CSTRING(7)     offset 25
// Key: 1 NUM:AmountKey (NUM:Amount, NUM:Small), no attributes.
datfile::FileDecl NumericDeclaration();
inline constexpr uint16_t kNumericRecordLength = 32;

// SEC: ZUN's record and keys with OWNER "Секрет" (1251), ENCRYPT and a
// 300-byte MEMO "SEC:Notes"; prefix SEC.
datfile::FileDecl SecretDeclaration();
inline constexpr uint16_t kSecretMemoSize = 300;

// BAD: a LONG DIM(2,2,2) inside a GROUP DIM(2,2): five dimensions in all,
// which creation refuses with 75.
datfile::FileDecl FiveDimensionDeclaration();

}  // namespace zuna::testing

#endif  // ZUNA_TESTS_SUPPORT_ZUN_DECLARATION_H_
