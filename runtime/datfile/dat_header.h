// The 85-byte data file header (layout in dat_format.h) as a value, and its
// passage to and from the disk: the OWNER check word and scrambling on the
// way out, unscrambling, the signature, the check word and the consistency of
// the counts on the way in.
//
// Pure functions; any thread.
#ifndef ZUNA_RUNTIME_DATFILE_DAT_HEADER_H_
#define ZUNA_RUNTIME_DATFILE_DAT_HEADER_H_

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "runtime/datfile/dat_format.h"
#include "runtime/datfile/scramble.h"
#include "runtime/datfile/status.h"

namespace zuna::datfile {

struct DatHeader {
  uint16_t signature = dat::kSignature;
  uint16_t attributes = 0;
  uint8_t key_count = 0;
  uint32_t record_slots = 0;
  uint32_t deleted_count = 0;
  uint16_t field_count = 0;
  uint16_t picture_count = 0;
  uint16_t array_count = 0;
  uint16_t slot_length = 0;
  uint32_t data_offset = 0;
  uint32_t logical_eof = 0;
  uint32_t logical_bof = 0;
  uint32_t first_free = 0;
  std::array<char, dat::kRecordNameSize> record_name{};
  std::array<char, dat::kMemoNameSize> memo_name{};
  std::array<char, dat::kPrefixSize> file_prefix{};
  std::array<char, dat::kPrefixSize> record_prefix{};
  uint16_t memo_size = 0;
  uint16_t memo_width = 0;
  uint32_t reserved = 0;
  uint32_t change_time = 0;
  uint32_t change_date = 0;
  uint16_t header_check = 0;

  // RECORDS: slots that hold a live record.  REQUIRES: a checked header
  // (deleted_count <= record_slots).
  uint32_t LiveRecords() const { return record_slots - deleted_count; }

  friend bool operator==(const DatHeader&, const DatHeader&) = default;
};

using HeaderBytes = std::array<char, dat::kHeaderSize>;

// The plain bytes, fields exactly as they are in `header`.
HeaderBytes EncodeDatHeader(const DatHeader& header);
DatHeader DecodeDatHeader(const HeaderBytes& bytes);

// The 16-bit sum of the 85 plain header bytes, the check word's two bytes
// taken as 0.
uint16_t HeaderCheckSum(const HeaderBytes& plain);

// The bytes to write.  With `owner_key`: the check word is computed into the
// header first, then bytes 4..84 are scrambled.  Without: the check word is
// written as 0.  `header` is updated with the check word written.
HeaderBytes SealDatHeader(DatHeader* header,
                          const std::optional<ScrambleKey>& owner_key);

// Reads header bytes as found on disk.  With `owner_key`, bytes 4..84 are
// unscrambled and the check word verified.  Fails with 36 ("Invalid Data
// File") when the signature is not "V3", when the OWNER attribute bit
// disagrees with whether an owner key is given, when the check word differs,
// or when the counts cannot describe a file (CheckDatHeader).
Status UnsealDatHeader(const HeaderBytes& disk,
                       const std::optional<ScrambleKey>& owner_key,
                       DatHeader* header);

// Consistency of the counts and links among themselves, so that no later
// arithmetic on them can run off: slot length of at least 5; the data offset
// no smaller than the descriptors the counts announce; deleted count, first
// free, logical EOF and BOF no greater than the record slots.  36 otherwise.
Status CheckDatHeader(const DatHeader& header);

}  // namespace zuna::datfile

#endif  // ZUNA_RUNTIME_DATFILE_DAT_HEADER_H_
