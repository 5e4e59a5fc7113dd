// One open data file (".DAT"): its header held in memory, its record slots,
// the chain of deleted slots, and the checks that tie the file to the FILE
// declaration.  Formats in dat_format.h; the header value in dat_header.h.
//
// Ownership and life: the driver's per-FILE state owns a DataFile from OPEN
// (or SHARE) to CLOSE; destroying it closes the file.  CreateDataFile lays a
// new file down and closes it again; the driver then opens it like any other.
// The memo file (memo_file.h) and the key files are separate objects that the
// driver opens after the data file, in that order.
//
// Threads: one thread at a time (the FILE's owner; the driver's dispatch
// serialises).  Across stations nothing here locks: the caller holds the
// header lock byte of a shared file around every read-modify-write of the
// header, the free chain or a slot, and refreshes the header (ReadHeader)
// before operations that depend on its counts.
//
// The header in memory is authoritative for a file that is not shared.  Every
// method that changes it either writes what it changed to the slots and
// leaves the header write to the caller (WriteHeader, step 11 of a write), or,
// when its own disk write fails, puts the in-memory header back as it found
// it.  Bytes read from the disk are checked before use: a count, link or
// length that does not fit is 36 ("Invalid Data File"), and every walk of the
// free chain or of the slots is bounded by the record slots.
//
// Invariants kept on disk and in memory (the checker tests them too):
//   1. deleted count, first free, logical EOF and BOF <= record slots.
//   2. The free chain runs from first free through the links of deleted
//      slots, each in 1..record slots, to 0, without a cycle.
//   3. A slot is on the free chain at most once; a deleted slot's memo chain
//      has been (or is about to be) released: its link names the free chain.
#ifndef ZUNA_RUNTIME_DATFILE_DATA_FILE_H_
#define ZUNA_RUNTIME_DATFILE_DATA_FILE_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "runtime/datfile/dat_header.h"
#include "runtime/datfile/declaration.h"
#include "runtime/datfile/oem_convert.h"
#include "runtime/datfile/os_file.h"
#include "runtime/datfile/scramble.h"
#include "runtime/datfile/status.h"

namespace zuna::datfile {

// One failed structure check at OPEN: the attribute the runtime's structure
// error report names ("SIZE", "MEMOS", "KEYS", "FIELDS", "DIM") and the text
// for the driver trace, exactly as the driver writes it.
struct StructureMismatch {
  std::string attribute;
  std::string trace;
  friend bool operator==(const StructureMismatch&, const StructureMismatch&) = default;
};

// The 5-byte prefix of a record slot.
struct SlotPrefix {
  uint8_t status = 0;
  uint32_t link = 0;  // live: first memo block; deleted: next free slot
  bool deleted() const { return (status & dat::kStatusDeleted) != 0; }
  bool held() const { return (status & dat::kStatusHeld) != 0; }
  friend bool operator==(const SlotPrefix&, const SlotPrefix&) = default;
};

// The counts of the header an ADD or DELETE changes, to take them back.
struct SlotCounts {
  uint32_t record_slots = 0;
  uint32_t deleted_count = 0;
  uint32_t first_free = 0;
  uint32_t logical_eof = 0;
  uint32_t logical_bof = 0;
};

// Where an ADD puts its record (PlanAdd) and what it found there.
struct AddPlan {
  uint32_t record_no = 0;
  bool reuses_deleted = false;  // RECLAIM took the head of the free chain
  SlotPrefix reused_prefix;     // that slot's prefix (its link: the next free)
  SlotCounts before;            // the header counts before the ADD
};

// What a DELETE did, to release the memo and, if a later step fails, undo it.
struct DeleteDone {
  uint32_t record_no = 0;
  SlotPrefix old_prefix;  // old_prefix.link: the memo chain to release
  SlotCounts before;
};

// Creates the data file `data_path` for `file` and, when a MEMO is declared,
// its memo file (the data file's name with ".MEM"), then closes both.  The
// file holds the header (stamped with TODAY() and CLOCK()) and the
// descriptors; no slots.  `options` supplies the share mode; write, create and
// exclusive (or truncate) are set here.
//   exclusive = true: the data file must not exist.  When it does, the
//     result is the OS layer's Status::AlreadyExists (IsAlreadyExists() is
//     true, code 5) and nothing is touched: the caller goes back to OPEN.
//   exclusive = false: an existing file is cut and replaced (CREATE).
// Fails with 75 or 88 for a declaration the format cannot hold (nothing is
// created), with the OS layer's number when a file cannot be made or written;
// a data file this call created is removed again after a failed write.
// There is a short window in which the new file exists but is still empty:
// an OPEN that meets it gets 36.
Status CreateDataFile(FileSystem& fs, const std::string& data_path,
                      const FileDecl& file, const OpenOptions& options,
                      bool exclusive);

// As above, with the memo file (when a MEMO is declared) made at `memo_path`
// instead of beside the data file: PACK lays down its ".T00" data file with
// a ".M00" memo file.
Status CreateDataFile(FileSystem& fs, const std::string& data_path,
                      const std::string& memo_path, const FileDecl& file,
                      const OpenOptions& options, bool exclusive);

class DataFile {
 public:
  // Opens `data_path` with `options` and checks it against `file`, in order:
  //   - 75 or 88 for a declaration the format cannot hold (as CreateDataFile);
  //   - the OS layer's number when the file cannot be opened;
  //   - 36 when the header cannot be read, its signature is not "V3", the
  //     OWNER check word differs (or the file's OWNER bit disagrees with the
  //     declaration), its counts are inconsistent, or the data offset or
  //     the last record slot lies beyond the end of the file (a file cut
  //     short, torn by a power loss, is for the checker to report, not for
  //     the driver to guess at) -- this last test not when `options` let
  //     anyone write beside (kDenyNone): another station may be half way
  //     through writing them, so the caller runs CheckSlotsFit once it
  //     holds the file;
  //   - 47 ("Invalid Record Declaration") when any structure check fails;
  //     every failing check is appended to *mismatches in order (SIZE record
  //     length, MEMOS, SIZE memo length, KEYS, FIELDS, DIM);
  //   - 36 when the key descriptors overrun the descriptor area.
  // A key descriptor whose component count, key length or 0x10/0x20/0x40
  // bits disagree with the declaration is rewritten from it when opened for
  // writing (not an error); one whose size differs is left alone, since
  // rewriting it would overwrite its neighbour (the key file check then
  // fails with 46).  On any failure the file is closed again and *out is
  // untouched.  REQUIRES: `file` outlives the DataFile; mismatches may be null.
  static Status Open(FileSystem& fs, const std::string& data_path,
                     const FileDecl& file, const OpenOptions& options,
                     std::vector<StructureMismatch>* mismatches,
                     std::unique_ptr<DataFile>* out);

  // 36 when the header in memory puts the data offset or the last record
  // slot beyond the end of the file.
  Status CheckSlotsFit();

  ~DataFile();
  DataFile(const DataFile&) = delete;
  DataFile& operator=(const DataFile&) = delete;

  const std::string& path() const;
  // The open file, for the sharing protocol's byte locks.
  File& file() { return *file_; }
  const FileDecl& declaration() const { return decl_; }
  bool writable() const { return writable_; }

  // --- header ---------------------------------------------------------------
  const DatHeader& header() const { return header_; }
  // For the driver's own header fields (the LOCK attribute bit); the counts
  // are changed through the slot operations below.
  DatHeader* mutable_header() { return &header_; }

  // RECORDS: record slots - deleted count of the header in memory.
  uint32_t Records() const { return header_.LiveRecords(); }

  // Re-reads the header from disk (shared files, under the header lock
  // byte).  36 as for Open; the header in memory is then unchanged.
  Status ReadHeader();

  // Writes the header in memory; with `stamp` its change time and date
  // become CLOCK() and TODAY() first.  With an OWNER the check word is
  // recomputed and the bytes scrambled.
  Status WriteHeader(bool stamp);

  // --- slots ------------------------------------------------------------------
  // Record numbers run from 1 to header().record_slots; a number outside is
  // 35 ("Record Not Found").  A short or failed read is 36.

  Status ReadPrefix(uint32_t record_no, SlotPrefix* prefix);
  Status WritePrefix(uint32_t record_no, const SlotPrefix& prefix);
  // A 1-byte write of the status byte alone (HOLD and RELEASE).
  Status WriteStatus(uint32_t record_no, uint8_t status);

  // The whole slot as stored: prefix and the record image as on disk (still
  // scrambled with ENCRYPT, still OEM text).  WATCH compares such images.
  // REQUIRES: raw_image.size() == declared record length.
  Status ReadSlot(uint32_t record_no, SlotPrefix* prefix, std::span<char> raw_image);

  // Writes a slot exactly as ReadSlot gave it (taking back a PUT).
  Status WriteSlot(uint32_t record_no, const SlotPrefix& prefix,
                   std::span<const char> raw_image);

  // On-disk image <-> record buffer: unscramble (ENCRYPT) then OEM text to
  // the program's code page; and back.  In place.
  void DecodeImage(std::span<char> image) const;
  void EncodeImage(std::span<char> image) const;

  // ReadSlot + DecodeImage.  REQUIRES: record.size() == record length.
  Status ReadRecord(uint32_t record_no, SlotPrefix* prefix, std::span<char> record);

  // Writes the whole slot: `prefix` and `record` (encoded).  PUT passes the
  // status with kStatusRevised or-ed in and the record's memo link.
  // REQUIRES: record.size() == record length.
  Status WriteRecord(uint32_t record_no, const SlotPrefix& prefix,
                     std::span<const char> record);

  // --- ADD / APPEND -----------------------------------------------------------
  // Picks the record number of a new record and changes nothing: with RECLAIM
  // declared and a free chain whose head slot has the deleted bit, that slot;
  // else record slots + 1.  36 when the head slot cannot be read.
  Status PlanAdd(AddPlan* plan);

  // Writes the new slot (status exactly 0x01, link = memo_link) and then
  // applies the plan to the header in memory: a reused slot leaves the free
  // chain (first free = its link, deleted count - 1), an appended one counts
  // in record slots; logical EOF and BOF widen to it.  On a failed write the
  // header is unchanged.  REQUIRES: plan from PlanAdd with no slot operation
  // in between; record.size() == record length.
  Status CommitAdd(const AddPlan& plan, uint32_t memo_link,
                   std::span<const char> record);

  // As CommitAdd, with `raw_image` written exactly as given: an image read
  // with ReadSlot from a file of the same declaration.  PACK copies records
  // this way, because decoding and encoding again is not lossless for OEM
  // text (866 characters without a 1251 form would become '?').
  Status CommitAddRaw(const AddPlan& plan, uint32_t memo_link,
                      std::span<const char> raw_image);

  // Takes back a committed ADD after a later step failed (keys, header): the
  // header counts return to plan.before, and a reused slot gets its deleted
  // prefix back so the free chain stays whole.
  Status UndoAdd(const AddPlan& plan);

  // --- DELETE / undelete ------------------------------------------------------
  // Deletes record `record_no`: status |= 0x10, link = the old first free,
  // first free = record_no, deleted count + 1; only the prefix is written.
  // Then logical EOF and BOF are trimmed past deleted slots (a prefix that
  // cannot be read ends the trimming early, leaving a wider, still correct,
  // range).  33 ("Record Not Available") when the slot is already deleted: a
  // slot must never enter the free chain twice.  On a failed prefix write the
  // header is unchanged.
  // Release the memo chain done->old_prefix.link only after this succeeds:
  // released first, a failed prefix write would leave a live record naming
  // blocks on the memo free list.
  Status DeleteRecord(uint32_t record_no, DeleteDone* done);

  // Takes back a DELETE after a later step failed: the old prefix and the
  // header counts return.  (The memo chain, if already released, does not.)
  Status UndoDelete(const DeleteDone& done);

  // Undeletes a deleted slot (PUT with IGNORESTATUS): unlinks it from the
  // free chain (the head moves on, or the slot linking to it takes its link
  // and that slot's prefix is rewritten), writes its prefix with the deleted
  // bit cleared and link 0, deleted count - 1, EOF/BOF widened.  Nothing
  // happens to a slot that is not deleted.  36 when the chain is damaged (a
  // link outside the slots, a cycle, the slot not found on it).
  Status Undelete(uint32_t record_no);

  // Widens logical EOF and BOF to include `record_no` (writes, step 6).
  void WidenBounds(uint32_t record_no);

  // EMPTY: no slots, the header written with a stamp, the file cut to the
  // data offset.  On failure the header in memory is the emptied one.
  Status Empty();

  // Rewrites key descriptor `key_index` (0-based) from the declaration, when
  // its size on disk is the declared size (else 36).  The key file layer calls
  // it after initialising a key file.
  Status RewriteKeyDescriptor(size_t key_index);

  // The plain bytes of key descriptor `key_index` as on disk; 36 when the
  // descriptors overrun the descriptor area.
  Status ReadKeyDescriptor(size_t key_index, std::string* plain);

  // Puts the file's data on the disk.
  Status Sync();

  // --- reading ahead --------------------------------------------------------
  // A reader walking the slots in order (record number up or down, one at a
  // time) gets them from runs read whole, so a scan costs one read per run
  // instead of two per record.  What was read ahead is only as current as
  // the caller's hold on the file: it is dropped by every write through
  // this DataFile and by ReadHeader, and the caller drops it when that hold
  // ends (on a shared file, when it frees the header lock byte; otherwise
  // at the end of each operation), since other stations may then change
  // any slot.
  void DropReadAhead();

  // Offset of slot `record_no` (1-based; record slots + 1 is where the
  // file's slots end).  REQUIRES: record_no >= 1.
  uint64_t SlotOffset(uint64_t record_no) const;

 private:
  DataFile(std::unique_ptr<File> file, const FileDecl& decl, bool writable);

  Status Corrupt(const std::string& why) const;
  // Every write goes through here: it drops what was read ahead.
  Status WriteBytes(uint64_t offset, std::span<const char> bytes);
  // The first out.size() bytes of slot `record_no` (checked by the caller),
  // from the run read ahead, a new run, or a read of their own.
  Status ReadSlotBytes(uint32_t record_no, std::span<char> out);
  Status FillReadAhead(uint32_t record_no, bool forwards);
  // Writes prefix and image; `encode` applies EncodeImage (a record buffer)
  // or not (an image already as on disk).
  Status WriteSlotImage(uint32_t record_no, const SlotPrefix& prefix,
                        std::span<const char> image, bool encode);
  Status CommitAddImage(const AddPlan& plan, uint32_t memo_link,
                        std::span<const char> image, bool encode);
  Status CheckRecordNumber(uint32_t record_no) const;
  Status ReadHeaderFromDisk(DatHeader* header);
  Status CheckKeyDescriptors();
  Status KeyDescriptorOffset(size_t key_index, uint64_t* offset, size_t* size);
  void TrimBounds(uint32_t record_no);
  SlotCounts Counts() const;
  void RestoreCounts(const SlotCounts& counts);

  std::unique_ptr<File> file_;
  const FileDecl& decl_;
  bool writable_ = false;
  std::optional<ScrambleKey> owner_key_;    // OWNER: header and descriptors
  std::optional<ScrambleKey> encrypt_key_;  // ENCRYPT: record images
  OemTextMap oem_;                          // empty unless OEM
  DatHeader header_;
  // Slots ahead_first_ .. ahead_first_ + ahead_count_ - 1 as on disk
  // (ahead_count_ 0: none); the last slot read, which tells a run; and the
  // length of the current run's last fill.
  std::vector<char> ahead_;
  uint32_t ahead_first_ = 0;
  uint32_t ahead_count_ = 0;
  uint32_t last_read_ = 0;
  uint32_t run_slots_ = 0;
  std::vector<char> slot_scratch_;  // ReadSlot's
};

}  // namespace zuna::datfile

#endif  // ZUNA_RUNTIME_DATFILE_DATA_FILE_H_
