// The register's dictionary: the one data file ZUN, its record and its keys.
//
// ZUN is declared CREATE, RECLAIM, OEM and THREAD, without NAME, OWNER,
// ENCRYPT or memo: the driver opens it under its label ("ZUN", so ZUN.DAT,
// ZUN.K01, ZUN.K02) in the current directory, stores its text in code page
// 866 and converts to and from the program's 1251 at the record buffer.
//
// Record ZUN_Record, 38 bytes:
//   1 ZUN:FIO    STRING(30)  offset  0  full name, surname first, blank-padded
//   2 ZUN:DATA   LONG        offset 30  birth date as a date serial
//   3 ZUN:DATA1  LONG        offset 34  carried along unchanged
// Keys, in this order:
//   1 ZUN:zun_key  on ZUN:DATA  DUP NOCASE OPT
//   2 ZUN:key2     on ZUN:FIO   DUP NOCASE OPT
//
// Threads: ZunDeclaration() is built once and never changed; any thread may
// read it.
#ifndef ZUNA_APP_ZUN_DICTIONARY_H_
#define ZUNA_APP_ZUN_DICTIONARY_H_

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

#include "runtime/datfile/declaration.h"

namespace zuna::app {

// Key numbers (1-based, as the program counts them) and their 0-based index
// for the driver's statements.
inline constexpr int kZunKeyIndex = 0;   // ZUN:zun_key, on ZUN:DATA
inline constexpr int kKey2Index = 1;     // ZUN:key2, on ZUN:FIO

inline constexpr size_t kZunFioSize = 30;

// The record buffer of ZUN, byte for byte as the driver lays it out.  LONG
// fields are little-endian in the buffer; the host must be too.
static_assert(std::endian::native == std::endian::little,
              "ZUN_Record maps LONG fields onto a little-endian buffer");

#pragma pack(push, 1)
struct ZUN_Record {
  char FIO[kZunFioSize];  // 1251, blank-padded, not NUL-terminated
  int32_t DATA;
  int32_t DATA1;
};
#pragma pack(pop)

static_assert(sizeof(ZUN_Record) == 38);
static_assert(offsetof(ZUN_Record, FIO) == 0);
static_assert(offsetof(ZUN_Record, DATA) == 30);
static_assert(offsetof(ZUN_Record, DATA1) == 34);

// The declaration the driver sees for ZUN.
const datfile::FileDecl& ZunDeclaration();

// Copies between the FILE's record buffer (exactly 38 bytes) and a record.
inline ZUN_Record ReadZunRecord(std::span<const char> buffer) {
  ZUN_Record record;
  std::memcpy(&record, buffer.data(), sizeof record);
  return record;
}
inline void WriteZunRecord(const ZUN_Record& record, std::span<char> buffer) {
  std::memcpy(buffer.data(), &record, sizeof record);
}

// A record with FIO set to `fio` (1251) cut or blank-padded to 30 bytes.
ZUN_Record MakeZunRecord(std::string_view fio, int32_t data, int32_t data1 = 0);

// FIO without its trailing blanks.
std::string_view ZunName(const ZUN_Record& record);

}  // namespace zuna::app

#endif  // ZUNA_APP_ZUN_DICTIONARY_H_
