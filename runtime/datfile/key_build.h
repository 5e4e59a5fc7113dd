// BUILD of one key: the key file is made anew from the records of the data
// file, sorted by an external merge sort and laid down bottom-up.
//
//   1. The key file is initialised (an empty key; the error state cleared).
//   2. Every record the source gives becomes an entry (KeyEncoder); an OPT
//      key leaves out records whose components are all blank.  Entries are
//      sorted in runs of BuildOptions::run_entries in memory; when there is
//      more than one run they go to a temporary file (FileSystem::
//      CreateTemp, prefix "TMP") and are merged, fan_in runs at a time,
//      between two temporary files until one pass can merge the rest.  The
//      temporary files vanish when the build returns.
//   3. The sorted entries are laid down level by level: the leaf level has
//      ceil(N / entries per node) nodes (at least 1), each level above
//      ceil(nodes below / entries per node), up to a level of one node.
//      Nodes are numbered from the top: the root is node 1, then each level
//      left to right, the leaves last; every node but the last of its level
//      is full.  Node count and last leaf are the highest number, the free
//      chain is empty.  Each node is written once.
//   4. The header is written last and read back (Refresh), so until then
//      the file still reads as the empty key of step 1: a sound, empty key
//      to anyone who opens it.  A key file OPEN reads must therefore never
//      be built in place; the driver builds into a file of its own and
//      renames it over the key once it is whole (driver_maintenance.cpp).
//
// Duplicates: in a key without DUP, every pair of neighbouring entries with
// equal values goes to `report` (duplicate_report.h); the whole key is
// still written, and the build then ends with 40.
//
// Which records exist (deleted slots skipped and counted), build events and
// cancelling are the data file's and the driver's business: they stay in
// the caller's RecordSource.
//
// Threads: the caller's thread; the KeyFile is used by no one else
// meanwhile.  A failure while the tree is written leaves the KeyFile in its
// error state (key_file.h); a later BUILD or Initialise clears it.
#ifndef ZUNA_RUNTIME_DATFILE_KEY_BUILD_H_
#define ZUNA_RUNTIME_DATFILE_KEY_BUILD_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "runtime/datfile/duplicate_report.h"
#include "runtime/datfile/key_encoding.h"
#include "runtime/datfile/key_file.h"
#include "runtime/datfile/os_file.h"
#include "runtime/datfile/status.h"

namespace zuna::datfile {

// The records a BUILD reads: the live records of the data file, in any
// order, each once.
class RecordSource {
 public:
  virtual ~RecordSource() = default;

  // Gives the next record: its number (at least 1) and its image, which
  // stays valid until the next call.  Sets *done, and nothing else, when
  // there are no more.  An error ends the build with that error.
  virtual Status Next(uint32_t* record_no, std::span<const char>* record,
                      bool* done) = 0;
};

struct BuildOptions {
  // Entries sorted in memory at once; more entries than this spill to a
  // temporary file.  At least 1.
  size_t run_entries = 16384;
  // Runs merged in one pass.  At least 2.
  size_t merge_fan_in = 8;
  // The key file the duplicate report names; the KeyFile's own path when
  // empty (a key built under another name before it takes its place).
  std::string report_name;
};

struct BuildStats {
  uint32_t entries = 0;     // entries written to the key
  uint32_t left_out = 0;    // blank records an OPT key left out
  uint32_t duplicates = 0;  // pairs of equal values (keys without DUP)
  size_t runs = 0;          // sorted runs (1 when all fit in memory)
};

// Builds `key_file` from `source` with `encoder` (the same key's layout,
// else 46 and nothing done).  Returns 40 after writing the whole key when
// a key without DUP has equal values, each pair written to `report` (may
// be null) under the heading naming options.report_name or key_file.path();
// else OK or the first
// error.  A failure of the source or of the sort leaves the key initialised
// and empty; a failure while the tree is written leaves the KeyFile in its
// error state.  `stats` may be null.
Status BuildKey(FileSystem& fs, KeyFile& key_file, const KeyEncoder& encoder,
                RecordSource& source, DuplicateReport* report,
                const BuildOptions& options = {}, BuildStats* stats = nullptr);

}  // namespace zuna::datfile

#endif  // ZUNA_RUNTIME_DATFILE_KEY_BUILD_H_
