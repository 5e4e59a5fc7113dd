// The checker: tells a user, after a crash or at any time, whether a data
// file, its memo file and its key files are consistent with one another.
//
// It reads only what is on disk, through os_file.h, and needs no FILE
// declaration: fields and keys are decoded from the data file's own
// descriptors and the key layouts rebuilt from them.  Key values are encoded
// with the process's locale tables (collation and case), as the driver that
// wrote them did.  It never repairs and never writes.  Every walk is bounded
// by the counts the file can hold and by visited sets, so a cycle or an
// absurd count ends in a fault, not in a hang.
//
// What it checks (each fault names its file, a byte offset and a sentence):
//   data file   signature; attribute bits; the OWNER check word; header
//               fields against the descriptors (data offset) and the file
//               size (slots that do not fit, a trailing partial or extra
//               slot); descriptors (lengths, components inside the record);
//               every slot's status byte; deleted count; logical EOF (the
//               highest live record, 0 when none) and BOF (the lowest live
//               record); the free chain (every link a deleted slot within
//               range, no cycle, every deleted slot on it exactly once).
//   memo file   signature, free list head; live records' chains (blocks in
//               range, no cycle, no block in two chains or on the free list,
//               no longer than the declared memo size); the free list.
//   key files   every KEY's file exists (.K01 ...; a never built INDEX's
//               may be missing); its header against the key descriptor
//               (entry length, entries per node, component count, type
//               bits); the tree (invariants 1-8 of key_file.h: node numbers,
//               count bytes, parents, leaf links both ways, separators,
//               entry order across all leaves, height, last leaf, first and
//               last record, entry count, free node chain).
//   data / keys each live record has exactly one entry in each KEY (not
//               INDEX), with the value encoded from the record (none in an
//               OPT key whose components are all blank); no entry names a
//               deleted slot or a record number beyond the slots.
//
// Files declared with OWNER: without the owner text only the signature and
// the attribute word can be read; the result then says so in its notes and
// checks nothing else.  OEM files: the file does not record that its text
// is OEM; the checker tries both encodings of text keys and takes the one
// the keys agree with, unless CheckOptions::text says which.
//
// Memory: the live record images of the data file are held while the keys
// are compared (record length x live records).
//
// Threads: a call uses only its arguments; any thread.
#ifndef ZUNA_RUNTIME_DATFILE_CHECKER_H_
#define ZUNA_RUNTIME_DATFILE_CHECKER_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "runtime/datfile/dat_header.h"
#include "runtime/datfile/key_format.h"
#include "runtime/datfile/os_file.h"
#include "runtime/datfile/status.h"
#include "runtime/values/locale.h"

namespace zuna::datfile {

// The kinds of fault, one per check, so callers and tests can tell them
// apart without reading sentences.
enum class FaultKind : uint8_t {
  // Data file.
  kHeader,           // the header cannot be read (file shorter than 85)
  kSignature,        // not "V3"
  kAttributes,       // undefined bits, or the creation bit 0x80 missing
  kHeaderCheck,      // OWNER check word differs (wrong owner text?)
  kDescriptors,      // a descriptor that cannot describe the record
  kDataOffset,       // data offset is not 85 + the descriptors' sizes
  kFileTooShort,     // the record slots do not fit in the file
  kPartialSlot,      // bytes after the last slot, less than one slot
  kExtraSlots,       // whole slots after the last counted one
  kSlotStatus,       // a status byte with undefined bits, or without "new"
  kDeletedCount,     // header deleted count vs deleted slots
  kLogicalEof,       // header logical EOF vs the highest live record
  kLogicalBof,       // header logical BOF vs the lowest live record
  kFreeChainLink,    // a link outside 1..record slots
  kFreeChainLive,    // a link naming a slot that is not deleted
  kFreeChainCycle,   // the chain comes back on itself
  kFreeChainLength,  // a deleted slot missing from the chain
  // Memo file.
  kMemoFile,         // missing, short, wrong signature, bad free list head
  kMemoLink,         // a record's memo chain is damaged or shared
  kMemoFreeChain,    // the memo free list is damaged or shares blocks
  // Key files.
  kKeyFileMissing,   // a KEY's file does not exist
  kKeyHeader,        // header fields (invariant 1, and vs the descriptor)
  kKeyTreeShape,     // node numbers, depth, parents (invariant 2)
  kKeyNodeCount,     // a node's count byte (invariant 3)
  kKeySeparator,     // inner node separators (invariant 4)
  kKeyLeafChain,     // leaf links, entry order, duplicates (invariant 5)
  kKeyCounts,        // entry count, first/last record (invariant 6)
  kKeyFreeChain,     // free node chain (invariant 7)
  kKeyStrayBytes,    // unreachable nodes, non-zero tails (invariant 8)
  // Data against keys.
  kKeyEntryMissing,  // a live record without its entry
  kKeyEntryExtra,    // an entry for a deleted, absent or blank record
  kKeyEntryValue,    // an entry whose value is not the record's
  kKeyEntryTwice,    // one record with two entries in one key
};

// A short stable name of a kind ("free-chain-cycle"), for tests and tools.
const char* FaultKindName(FaultKind kind);

struct CheckFault {
  FaultKind kind;
  std::string file;     // the file's own name, "ZUN.DAT", "ZUN.K02"
  uint64_t offset = 0;  // byte offset in that file of what is wrong
  std::string text;     // a Russian sentence, program code page (1251)
};

// "ZUN.DAT (смещение 302): запись 7: ..." in the program's code page.
std::string FormatFault(const CheckFault& fault);

// Decoded data file descriptors (the plain bytes; names as stored, trailing
// blanks cut, program code page).
struct FieldInfo {
  uint8_t type_code = 0;
  std::string name;
  uint16_t offset = 0;
  uint16_t element_length = 0;
  uint8_t digits = 0;
  uint8_t places = 0;
  uint16_t array_number = 0;
  uint16_t picture_number = 0;
};

struct KeyComponentInfo {
  uint8_t type_code = 0;
  uint16_t field_number = 0;  // 1-based
  uint16_t offset = 0;
  uint8_t length = 0;
};

struct KeyInfo {
  uint64_t descriptor_offset = 0;
  std::string name;
  uint8_t key_type = 0;  // kKeyType* bits
  uint8_t key_length = 0;
  std::vector<KeyComponentInfo> components;
  bool is_index() const { return (key_type & kKeyTypeIndex) != 0; }
};

struct ArrayInfo {
  uint16_t own_dimensions = 0;
  uint16_t total_dimensions = 0;
  uint16_t total_size = 0;
  std::vector<std::pair<uint16_t, uint16_t>> dimensions;  // (bound, stride)
};

// One key file as found next to the data file.
struct KeyFileInfo {
  uint32_t number = 0;     // 1-based key number
  std::string path;
  bool present = false;
  uint64_t file_size = 0;
  bool header_read = false;  // the file holds a whole header block
  KeyHeader header;
};

// What the data file says about itself.
struct DataFileInfo {
  std::string path;        // the data file as resolved
  uint64_t file_size = 0;
  bool owner_scrambled = false;  // OWNER bit set
  bool readable = false;   // header (and descriptors) decoded
  DatHeader header;        // plain (unscrambled when an owner was given)
  std::vector<FieldInfo> fields;
  std::vector<KeyInfo> keys;
  std::vector<std::string> pictures;
  std::vector<ArrayInfo> arrays;
  uint64_t descriptors_end = 0;  // where the decoded descriptors end
  std::vector<KeyFileInfo> key_files;
};

// Which code page the text inside record images is in.
enum class TextCodePage : uint8_t { kDetect, kAnsi, kOem };

struct CheckOptions {
  // The OWNER text (program code page) of a file declared with one.
  std::optional<std::string> owner;
  TextCodePage text = TextCodePage::kDetect;
  // Locale tables for NOCASE and collation; nullptr: the process's Locale().
  const values::LocaleTables* locale = nullptr;
};

struct KeySummary {
  uint32_t number = 0;
  std::string file;       // "ZUN.K01"
  std::string name;       // the key's label
  bool is_index = false;
  bool present = false;
  uint32_t entries = 0;   // entries found in the leaves
};

struct CheckResult {
  std::string data_file;  // "ZUN.DAT"
  std::vector<CheckFault> faults;
  // What was not checked, and why; states worth knowing that are not faults
  // (a LOCK bit left set, held records, which code page the text is in).
  std::vector<std::string> notes;  // program code page
  uint32_t record_slots = 0;
  uint32_t live_records = 0;
  uint32_t deleted_records = 0;  // slots with the deleted bit
  std::vector<KeySummary> keys;

  bool clean() const { return faults.empty(); }
  // The faults of `kind` (for tests and tools).
  std::vector<CheckFault> FaultsOf(FaultKind kind) const;
};

// The data file's name from what a user types: ".DAT" added when `name` has
// no extension, letter case found as the file system has it.
Status ResolveDataFileName(FileSystem& fs, const std::string& name,
                           std::string* data_path);

// Reads the header, the descriptors and the key file headers of the data
// file at `data_path` (from ResolveDataFileName).  Faults met on the way
// (a bad signature, descriptors past the data) go to *faults, which may be
// null; *info holds what could be decoded.  A Status error only when the
// data file cannot be opened or read (2 when it does not exist).
Status DescribeDataFile(FileSystem& fs, const std::string& data_path,
                        const std::optional<std::string>& owner,
                        DataFileInfo* info, std::vector<CheckFault>* faults);

// Checks the data file at `data_path` and its memo and key files.  A Status
// error only when a file cannot be opened or read for a reason other than
// its absence (a missing key or memo file is a fault); 2 when the data file
// does not exist.  On error *result holds what was found before it.
Status CheckDataFile(FileSystem& fs, const std::string& data_path,
                     const CheckOptions& options, CheckResult* result);

}  // namespace zuna::datfile

#endif  // ZUNA_RUNTIME_DATFILE_CHECKER_H_
