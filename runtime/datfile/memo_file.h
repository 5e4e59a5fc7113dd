// One open memo file (".MEM"): the text of a FILE's MEMO field kept in chains
// of 256-byte blocks, with a free list of released blocks.  Format in
// memo_format.h.
//
// Ownership and life: the driver's per-FILE state owns it from OPEN to CLOSE,
// beside the DataFile whose slot links name the chains.
//
// Threads: one thread at a time.  Across stations the caller holds the data
// file's header lock byte around every Write and Release (they change the
// free list); both re-read the memo header first, so another station's change
// of the free list is never lost.
//
// Damage: a link outside the blocks the file holds, a chain that comes back
// on itself, or a block read short is 36 ("Invalid Data File") during Read,
// Write and Release: the link came from a record slot and the caller treats
// it like a bad slot.  At Open, a missing file, an unreadable header, a wrong
// signature or a free-list head beyond the file is 73 ("Memo File Missing"):
// the file cannot serve as this FILE's memo file.
//
// Failure safety: Write puts the memo header (when the free list shrinks)
// before the blocks, and the blocks last to first, so that a failure part way
// leaves, at worst, blocks no chain or free list names; it never leaves a
// chain or the free list naming a block twice.  Blocks a rewrite no longer
// needs are handed back to the caller to Release once the record slot naming
// the new chain is on disk (releasing them earlier could put blocks the old
// slot still names on the free list if the slot write then failed).
#ifndef ZUNA_RUNTIME_DATFILE_MEMO_FILE_H_
#define ZUNA_RUNTIME_DATFILE_MEMO_FILE_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/datfile/declaration.h"
#include "runtime/datfile/os_file.h"
#include "runtime/datfile/scramble.h"
#include "runtime/datfile/status.h"

namespace zuna::datfile {

// Makes `memo_path` an empty memo file: the "M3" header, no free block, cut
// to 6 bytes.  Creates it when missing; closes it again.  `options` gives the
// share mode.  The OS layer's number on failure.
Status CreateMemoFile(FileSystem& fs, const std::string& memo_path,
                      const OpenOptions& options);

struct MemoWriteResult {
  uint32_t link = 0;      // the record's new memo link (0: no memo)
  uint32_t leftover = 0;  // a chain to Release after the slot is written; 0: none
};

class MemoFile {
 public:
  // Opens the memo file of a FILE declared with `memo`; its text is
  // scrambled with `encrypt_key` when given, and (unless BINARY) converted
  // between the program's code page and 866 when `oem`.  73 as above; on
  // failure nothing stays open.  REQUIRES: `memo` outlives the MemoFile.
  static Status Open(FileSystem& fs, const std::string& memo_path,
                     const OpenOptions& options, const MemoDecl& memo,
                     std::optional<ScrambleKey> encrypt_key, bool oem,
                     std::unique_ptr<MemoFile>* out);

  ~MemoFile();
  MemoFile(const MemoFile&) = delete;
  MemoFile& operator=(const MemoFile&) = delete;

  const std::string& path() const;
  // The open file, for the sharing protocol's byte locks.
  File& file() { return *file_; }
  uint32_t first_free() const { return first_free_; }

  // Re-reads the 6-byte header.  36 when it cannot be read or is damaged.
  Status ReadHeader();

  // Fills `memo` with the memo whose chain starts at `link`: blank (spaces;
  // zero bytes when BINARY) first, then the blocks' text, at most
  // memo.size() bytes.  Link 0 gives the blank memo and reads nothing (the
  // driver passes 0 for a deleted record read with IGNORESTATUS: its link
  // names the free chain of slots, not memo blocks).
  // REQUIRES: memo.size() == the declared memo size.
  Status Read(uint32_t link, std::span<char> memo);

  // Stores `memo` for a record whose link was `old_link`:
  //   - blank (no text before the trailing spaces, or zeros when BINARY):
  //     link 0, nothing written, the old chain is leftover;
  //   - old_link != 0 and `memo` equal byte for byte to `as_read` (the memo as
  //     Read returned it for this record): unchanged, nothing written;
  //   - else the text goes 252 bytes a block into the old chain's blocks, then
  //     blocks from the free list, then blocks appended to the file; old
  //     blocks not needed are leftover.  The memo header is written when
  //     blocks were taken from the free list.
  // Pass an empty `as_read` when the record's memo was not read.  On failure
  // *result is untouched; blocks may have been taken off the free list
  // without being named by any record (lost space, never shared blocks).
  Status Write(std::span<const char> memo, uint32_t old_link,
               std::span<const char> as_read, MemoWriteResult* result);

  // Puts the chain starting at `first_block` on the free list: its last
  // block links to the old head, the header names `first_block`.  0 does
  // nothing.  36 for a damaged chain (nothing is then changed).
  Status Release(uint32_t first_block);

  // EMPTY and PACK: no blocks, no free list; the file cut to its header.
  Status Reset();

  // PACK copies memos between two memo files of the same declaration this
  // way, because decoding and encoding again is not lossless for OEM text
  // (866 characters without a 1251 form would become '?').
  //
  // ReadStored: the text parts (252 bytes each) of the chain from `link`
  // exactly as stored (still scrambled with ENCRYPT, still OEM text), as
  // many blocks as Read would take for the declared size.  Link 0: empty.
  // 36 as for Read.
  Status ReadStored(uint32_t link, std::string* stored);

  // AppendStored: `stored` (from ReadStored) as a new chain of blocks added
  // at the end of the file, written as given; *link names its first block
  // (0 for an empty `stored`, nothing written).  The free list is neither
  // used nor changed.  REQUIRES: stored.size() is a multiple of 252.
  Status AppendStored(std::string_view stored, uint32_t* link);

  Status Sync();

 private:
  MemoFile(std::unique_ptr<File> file, const MemoDecl& memo,
           std::optional<ScrambleKey> encrypt_key, bool oem);

  Status Corrupt(const std::string& why) const;
  Status BlockCount(uint32_t* count);
  Status ReadNext(uint32_t block, uint32_t block_count, uint32_t* next);
  Status WalkChain(uint32_t first, uint32_t block_count,
                   std::vector<uint32_t>* blocks);
  Status WriteHeader(uint32_t first_free);

  // The blocks a memo of `needed` blocks goes into: the old chain's first,
  // then the free list's head blocks, then new ones past the end.
  struct BlockPlan {
    std::vector<uint32_t> blocks;
    uint32_t free_head = 0;  // the free list's head once they are taken
    uint32_t leftover = 0;   // the old chain's blocks not needed
  };
  Status PlanBlocks(uint32_t old_link, size_t needed, BlockPlan* plan);
  Status WriteChain(const std::vector<uint32_t>& blocks, const std::string& text);
  char Blank() const { return memo_.binary ? '\0' : ' '; }

  std::unique_ptr<File> file_;
  const MemoDecl& memo_;
  std::optional<ScrambleKey> encrypt_key_;
  bool oem_text_ = false;  // OEM file and a text (not BINARY) memo
  uint32_t first_free_ = 0;
};

}  // namespace zuna::datfile

#endif  // ZUNA_RUNTIME_DATFILE_MEMO_FILE_H_
