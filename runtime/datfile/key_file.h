// A key file: the B+-tree of one KEY or INDEX of a data file (format in
// key_format.h).  Its entries are (record number, encoded key value) pairs
// (key_encoding.h) ordered by value as unsigned bytes, then by record
// number, so equal values stay in record-number order.
//
// Ownership and threads: the driver's per-file state owns one KeyFile per
// key, from OPEN (or CREATE, or BUILD) to CLOSE.  A KeyFile is used by one
// thread at a time; it holds no locks of its own.  On a shared data file
// every call that reads or changes the tree happens while the caller holds
// the data file's header lock byte, and the caller calls Refresh() first
// so that entries other stations added or removed are seen.
//
// Memory: the key header and the root node are kept in memory; other nodes
// pass through a small cache of block images that always equals what this
// KeyFile last read or wrote (or, in write-back mode, is about to write).
// Refresh() empties it, since other stations may have changed any node.  Within one driver operation the leaf a search
// ended in is remembered so that the next search for a nearby value starts
// there; EndOperation() drops it, and so does every change.
//
// Changes.  Insert puts the entry where a search for it ends.  A full node
// splits: its lower half moves to a new node linked in as its left
// neighbour, whose separator goes into the parent (a full root gets a new
// root above it and the tree grows a level).  Past the last entry of the
// last leaf (ascending loading) the full leaf keeps its entries and a new
// leaf starts to its right, linked into the parent like the upper half of
// a split; a full parent on that right edge does the same, so loads in key
// order fill every node but the last of a level.  Nodes that hold only two
// or three entries (keys longer than 120 bytes) cut evenly instead, since
// halving them would leave the node just written to full again.  Delete
// removes the entry; an emptied node is unlinked, removed from its parent
// and put on the free chain, nodes that are merely short stay as they are,
// and a removed last entry lowers the separators above.  New nodes come
// off the free chain first.  When the last entry goes, the root becomes an
// empty leaf where it stands: after the tree has grown, that is not node 1,
// and the nodes below it are all on the free chain (the header then reads
// root = last leaf, height 1, entry count 0).
//
// Writing a change.  Insert and Delete work on node images in memory; only
// a change that is complete is written: every node it touched once, then
// the key header (in write-back mode, see SetWriteBack, both wait in
// memory).  When one of those writes fails, the images the
// change replaced are written back, the file is cut to its former length
// and the old header rewritten, so the key file and the KeyFile are as
// they were before the call and the caller can take back the rest of its
// operation.  A crash in the middle of the writes is the transaction log's
// business: this layer keeps no journal of its own.
//
// Failure: a failed Insert or Delete that could be taken back (above)
// leaves the KeyFile usable.  When taking it back fails too, or a failure
// hits BUILD laying down a tree or Initialise, disk and memory may be out
// of step: the KeyFile then enters an error state, and every later call
// returns that error until the file is opened again, initialised or
// rebuilt.  Anything read from
// disk that contradicts the tree's invariants is error 46 ("Key File Must
// Be Rebuilt"), never undefined behaviour or a hang: every descent and walk
// is bounded by the node count, and a step checks that the next leaf
// really continues the key.  Nor a wrong answer from separators that lie:
// a search checks that the leaf before its answer ends below the value,
// and a value above every separator of a node without a rightmost child is
// past the end only on the right edge of the tree, and only when the last
// leaf ends below it.
//
// The tree keeps these invariants; CheckKeyFile() verifies each and cites
// its number in the faults it reports.
//   1. Header: 1 <= root, last leaf <= node count; free node <= node count;
//      the file holds blocks 0 .. node count; 1 <= height <= node count and
//      at most 255;
//      entry length, entries per node, component count and the DUP, NOCASE
//      and OPT type bits agree with the declaration.
//   2. Shape: every node reached from the root at depth d < height is an
//      inner node and at depth = height a leaf; each node is reached once;
//      its parent field names the node pointing to it (0 at the root).
//   3. Counts: every node holds 1 .. entries-per-node entries, except the
//      root, which is an empty leaf exactly when the entry count is 0.
//   4. Inner nodes: entry i is (child, separator), the separator being the
//      highest value held under that child; separators never decrease.
//      An inner node's right link is one of three things.  0.  Its
//      rightmost child: a node whose parent field names this node (and whose
//      left link does not), which holds the values above the last separator
//      and has no entry of its own; the highest value under the node is then
//      the rightmost child's.  Or the next node of the same level, whose left
//      link names this node back; a level is linked so from end to end (the
//      first node's left and the last one's right link 0) or not at all.
//      Left links of inner nodes are 0 or such a previous node.  A search
//      that passes every separator descends into the rightmost child; a
//      node without one is then past the end, which only a node on the
//      right edge of the tree may be.  Trees this code builds have no links
//      between inner nodes and no rightmost children (every child has its
//      entry); trees written so by other programs are read and changed in
//      place: a linked level stays linked (a new node is linked in like a
//      leaf), and a rightmost child stays where it is until it empties.
//   5. Leaves: linked left-right in key order from the first leaf (left link
//      0) to the header's last leaf (right link 0); entries strictly
//      ascending by (value, record number) along that chain; record numbers
//      are at least 1; a key without DUP holds no value twice.
//   6. The header's entry count is the number of leaf entries; its first and
//      last record are the record numbers at the two ends (0 when empty).
//   7. Free chain: from the header's free node through right links to 0,
//      without a cycle; each free node is zero but for its right link and is
//      not in the tree.  The root is never on it.
//   8. Every node 1 .. node count is in the tree or on the free chain, and
//      every byte of a block after its fields and entries is zero.
#ifndef ZUNA_RUNTIME_DATFILE_KEY_FILE_H_
#define ZUNA_RUNTIME_DATFILE_KEY_FILE_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "runtime/datfile/key_format.h"
#include "runtime/datfile/os_file.h"
#include "runtime/datfile/status.h"

namespace zuna::datfile {

// The three answers of a search.
enum class SearchState : uint8_t {
  kFound = 0,       // on an entry equal to the one searched
  kPositioned = 1,  // on the first entry greater than the one searched
  kPastEnd = 2,     // after the last entry (at the last leaf)
};

// A place in the key: the answer of a search or of a step.
struct KeyPosition {
  SearchState state = SearchState::kPastEnd;
  uint32_t node = 0;        // the leaf
  uint16_t index = 0;       // entry index in the leaf (its count when past end)
  std::string entry;        // the entry there; empty when past the end
  uint64_t generation = 0;  // KeyFile::generation() when node/index held

  // The entry's record number, 0 when past the end.
  uint32_t record_no() const;
};

struct KeyOpenParams {
  OpenOptions file;                 // the data file's access (and share) mode
  uint32_t records = 0;             // RECORDS of the data file
  bool ignore_corruptions = false;  // IGNORECORRUPTIONS: no count test
};

// One fault CheckKeyFile found: the block's byte offset in the file, the
// invariant it breaks (key_file.h numbering), and a sentence for people.
struct KeyFault {
  uint64_t offset = 0;
  int invariant = 0;
  std::string what;
};

class KeyNode;    // key_tree_internal.h
class NodeCache;  // key_tree_internal.h

class KeyFile {
 public:
  ~KeyFile();
  KeyFile(const KeyFile&) = delete;
  KeyFile& operator=(const KeyFile&) = delete;

  // Opens the key file at `path` and checks it against `layout` (the
  // declaration's, from KeyLayoutFor):
  //   missing file                                          -> 46
  //   any other failure to open it                          -> its number
  //   header or root unreadable: system error >= 19 or short -> 46;
  //     a lower system error number is passed on
  //   entry length, entries per node, component count, or the DUP, NOCASE,
  //   OPT bits disagree; any header field outside the file (invariant 1);
  //   a root node count beyond the node's capacity          -> 46
  //   a key that is not OPT whose entry count differs from params.records,
  //   unless params.ignore_corruptions                      -> 46
  // On failure *key_file is left empty and nothing stays open.
  static Status Open(FileSystem& fs, const std::string& path,
                     const KeyLayout& layout, const KeyOpenParams& params,
                     std::unique_ptr<KeyFile>* key_file);

  // Creates (or truncates) the key file and initialises it (Initialise()).
  // `options` is the data file's mode; create and truncate are added.
  static Status Create(FileSystem& fs, const std::string& path,
                       const KeyLayout& layout, const OpenOptions& options,
                       std::unique_ptr<KeyFile>* key_file);

  // Makes the file a new, empty key: a fresh header and an empty root,
  // node 1, the file cut to 1024 bytes.  Clears the error state.
  Status Initialise();

  // Re-reads the header and the root (a shared file, before an operation)
  // and checks them as Open does (count test excepted).  Positions taken
  // before are found again by value at their next step.
  Status Refresh();

  // Writes what write-back mode holds back, then the file's data to disk.
  Status Sync();

  // Write-back mode: changes go into a larger cache and the header stays in
  // memory; Sync() (or leaving the mode) writes the changed nodes in block
  // order, then the header.  Meant for bulk work on a data file open
  // exclusively with write-through off: until then the key file on disk
  // does not describe its tree, as the data file's header does not
  // describe its slots.  A failed write in this mode cannot be taken back:
  // the KeyFile enters its error state.  Leaving the mode fails only when
  // those writes do.
  Status SetWriteBack(bool on);
  bool write_back() const { return write_back_; }

  // A cache with a slot for every node of the tree (at least write-back
  // mode's, at most 64 MiB; grown as the tree grows, at each call), for a
  // caller that knows no other station can change the key meanwhile (the
  // driver inside its own transaction: the others wait for it) and so
  // keeps it from one operation to the next, without write-back's deferred
  // writes.  Off again: the small cache.  Nothing in write-back mode.
  void SetLargeCache(bool on);

  // Ends a driver operation: forgets the remembered leaf.
  void EndOperation();

  // --- Reading. ---

  // Searches for `entry` (record number + value).  A leaf entry answers
  // kFound when its value equals the searched one and either its record
  // number does too, or the searched record number is 0, or `exact_value`
  // is set; with equal values and a greater record number it answers
  // kPositioned.  So record number 0 (or exact_value) finds the first entry
  // of a value, and a full entry finds itself or where it belongs.  An
  // empty key answers kPastEnd at the root.
  // REQUIRES: entry.size() == layout().entry_length.
  Status Search(std::span<const char> entry, bool exact_value,
                KeyPosition* position);

  // The first / last entry; kPastEnd when the key is empty.
  Status First(KeyPosition* position);
  Status Last(KeyPosition* position);

  // Steps to the entry after / before position->entry.  When the tree has
  // changed since the position was taken the entry is found again by value
  // (it need not still be in the key: then the step lands on its nearest
  // neighbour).  From a kPastEnd position Next finds nothing and Previous
  // gives the last entry.  When there is no such entry *found is false and
  // *position is unchanged.
  Status Next(KeyPosition* position, bool* found);
  Status Previous(KeyPosition* position, bool* found);

  // The 1-based ordinal of `entry` in key order, counted by walking the
  // leaves from the first; 0 when the entry is not in the key.
  Status OrdinalOf(std::span<const char> entry, uint32_t* ordinal);

  // The entry at 1-based `ordinal`; *found is false (position unchanged)
  // when the key has fewer entries.
  Status EntryAt(uint32_t ordinal, KeyPosition* position, bool* found);

  // --- Changing (the record engine writes the data file around these). ---

  // Adds `entry`.  Refuses with 46,
  // changing nothing, an entry that is already in the key (same value and
  // record number) or whose record number is 0.  Duplicate values of a key
  // without DUP are the caller's check (Search with exact_value).
  Status Insert(std::span<const char> entry);

  // Removes `entry` (found by value and record number).  46, changing
  // nothing, when it is not in the key.
  Status Delete(std::span<const char> entry);

  // --- State. ---

  const KeyHeader& header() const { return header_; }
  const KeyLayout& layout() const { return layout_; }
  uint32_t entry_count() const { return header_.entry_count; }
  const std::string& path() const { return path_; }
  // The open file, for the sharing protocol's byte locks.
  File& file() { return *file_; }
  // Changes with every Insert, Delete, Initialise, Refresh and BUILD.
  uint64_t generation() const { return generation_; }
  // The error a failed change left behind; OK while the KeyFile is usable.
  const Status& error() const { return error_; }

  // Reads the whole file and reports every broken invariant (see
  // CheckKeyFile).  A Status error only for a failed read.
  Status CheckStructure(std::vector<KeyFault>* faults);

 private:
  friend class KeyTreeWriter;  // BUILD (key_build.cpp) lays down whole trees

  class Mutation;
  struct StagedChange;  // key_tree_internal.h

  KeyFile(std::unique_ptr<File> file, const KeyLayout& layout);

  Status ReadHeaderAndRoot();
  Status CheckHeightOnFirstPath(const KeyHeader& h, const KeyNode& root) const;
  Status WriteHeader();
  Status ReadNode(uint32_t node_no, KeyNode* node);
  // ReadNode without the copy where it can: *node points at the root or
  // at the cache slot that holds the node (good until the next node is
  // read or written), else at *scratch, read into.  Reads only.
  Status NodeRef(uint32_t node_no, std::optional<KeyNode>* scratch,
                 const KeyNode** node);
  Status WriteNode(uint32_t node_no, const KeyNode& node);
  // Applies `change` (a Mutation step) as one change: staged, then written
  // whole, or taken back (see "Writing a change").
  template <typename Change>
  Status ChangeTree(Change change);
  Status WriteStagedChange();
  // Puts `node` in its cache slot, writing out a dirty occupant first.
  Status CacheNode(uint32_t node_no, const KeyNode& node, bool dirty);
  Status WriteDirtyNodes();
  Status TakeBack(const StagedChange& staged);
  Status CheckUsable() const;
  Status Corrupt(const std::string& what) const;

  // Search helpers.  With `use_remembered` the search may start at the
  // leaf the last one ended in, and remembers the leaf it ends in; without
  // (a change, which forgets it anyway) neither.
  Status Locate(const char* entry, bool exact_value, bool use_remembered,
                KeyPosition* position);
  // Past the last entry, for a search of `entry` that passed every
  // separator on the right edge; 46 unless the last leaf ends below it.
  Status LastLeafEnd(const char* entry, bool any_record, KeyPosition* position);
  // The child of inner node `node_no` that its right link names (invariant
  // 4); *child_no is 0 when the link is 0 or names a node of its level.
  Status RightmostChild(uint32_t node_no, const KeyNode& node,
                        uint32_t* child_no, KeyNode* child);
  // Finds `child_no`, named by an entry or the right link of `parent_no`,
  // as NodeRef does, and checks that it names the parent back and is not
  // empty.
  Status ChildRef(uint32_t parent_no, uint32_t child_no,
                  std::optional<KeyNode>* scratch, const KeyNode** child);
  Status FirstLeaf(uint32_t* node_no, KeyNode* node);
  // Moves *node_no / *node to the next leaf on the right.  *at_end is set
  // when there is none, or when its back link does not name this leaf (a
  // damaged chain: the caller reports it).
  Status StepRightLeaf(uint32_t* node_no, KeyNode* node, bool* at_end);
  void FillPosition(SearchState state, uint32_t node_no, const KeyNode& node,
                    uint16_t index, KeyPosition* position) const;
  bool RememberedLeafHolds(const char* entry, bool exact_value) const;
  Status Reanchor(const KeyPosition& position, KeyPosition* at);

  std::unique_ptr<File> file_;
  std::string path_;
  KeyLayout layout_;
  KeyHeader header_;
  std::unique_ptr<KeyNode> root_;        // always present
  uint32_t remembered_no_ = 0;           // 0: no leaf remembered
  std::unique_ptr<KeyNode> remembered_;  // that leaf's image
  std::unique_ptr<NodeCache> cache_;
  std::unique_ptr<StagedChange> staged_;  // while a change is under way
  std::unique_ptr<StagedChange> spare_staged_;  // the last one's, for its room
  bool write_back_ = false;
  bool header_dirty_ = false;             // a deferred header not yet written
  uint64_t generation_ = 1;
  // The root and height whose first path was last found sound: the path is
  // walked again only when either changes.
  uint32_t checked_root_ = 0;
  uint32_t checked_height_ = 0;
  Status error_;
};

// Checks the key file `file` against the invariants above, reading only
// what is on disk; `layout` is the declaration's (nullptr: take the
// header's).  Appends one KeyFault per fault found; never repairs.  Every
// walk is bounded, so a cycle is reported, not followed for ever.  A Status
// error only when a read fails.
Status CheckKeyFile(File& file, const KeyLayout* layout,
                    std::vector<KeyFault>* faults);

}  // namespace zuna::datfile

#endif  // ZUNA_RUNTIME_DATFILE_KEY_FILE_H_
