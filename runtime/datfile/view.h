// A view: the runtime's ordered, filtered cursor over a primary FILE.  Records
// come back in the order an order text names and only when a filter text is
// true for them; the current record is in the FILE's record buffer, and
// PUT, DELETE, HOLD, RELEASE and WATCH reach it through the FILE's driver.
// Joined secondary files are not supported: the register reads one file.
//
// Order text: comma-separated items, blanks and tabs around them ignored;
// an item may start with '-' (descending) or '+' (ascending, the default);
// the rest is an expression of the filter language, usually a field name or
// UPPER(field).  Records are ordered by the items' values as the language
// compares them (integers as integers, text through the locale's collation
// with trailing blanks insignificant, REAL exactly); UPPER and LOWER of a
// number order by the number.  Ties are broken by record number, ascending
// when the last item is ascending and descending when it is descending, so a
// descending order is exactly the ascending one backwards.  No items: record
// number order.
//
// Filter text: one expression, empty for every record.  The FILE's fields are
// visible to it (and to the order items) under their labels and external
// names; the program's bound variables under theirs, read when each record
// is examined.  Whatever the access path, a view returns exactly the records
// for which the filter, evaluated on each record, is true, in the order
// above.
//
// Access path, chosen when the cursor is rebuilt (the first read after the
// order or filter changed, or after Open):
//   1. no items: the data file in record-number order;
//   2. else the first declared KEY (declaration order; never an INDEX, which
//      writes do not maintain) whose components are the items one for one
//      and whose order provably is the items' order (view_access.cpp),
//      read forwards when every item is ascending and backwards when every
//      item is descending -- but only when the key holds every record (an
//      OPT key leaves blank records out: RECORDS of the key must equal
//      RECORDS of the file); each step follows the key as it is then, so a
//      record a PUT moves is met again at its new place;
//   3. else a sorted pass: every record is read once in record-number order,
//      its items evaluated, and the record numbers sorted in memory; reads
//      then fetch the records by number (the order is that of the rebuild;
//      records changed afterwards keep their place, records deleted since
//      are skipped, and the filter always sees the record as it is now).
// Early end: comparisons of the first order item with a value that does not
// depend on the file, inside AND, OR, XOR and NOT, end a scan as soon as no
// later record can satisfy the filter (view_early_end.cpp has the rules);
// the records returned never change.
//
// Ownership and lifetime: the view refers to the FILE, which must outlive
// it; expressions are compiled over the FILE's record buffer.  Open binds
// the FILE's fields in the calling thread's newest binding scope (so the
// program's own EVALUATE of the filter sees the record buffer) and Close
// unbinds them: open and close a view within one binding scope.
//
// Threads: a view belongs to the thread that made it (its expressions are
// that thread's evaluator's).  While it reads, the view drives the FILE's
// sequence: a program that SETs or RESETs the FILE itself between view reads
// must Set or Reset the view again.  Reads and GETs of the FILE by number do
// not disturb it.
//
// Errors: every operation posts its outcome to the thread's runtime error
// state as the file statements do (cleared on success) and returns the
// error number, 0 for success.  33 "Record Not Available" at the end of the
// records (or an early end), and for PUT/DELETE/HOLD/WATCH without a current
// record; 35 for a position string this view's order did not make; 37 for a
// view that is not open; 52 for Open on an open view; the driver's numbers
// for its failures; the evaluator's (1010, 1011, ...) for a filter or order
// item that does not compile.
#ifndef ZUNA_RUNTIME_DATFILE_VIEW_H_
#define ZUNA_RUNTIME_DATFILE_VIEW_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "runtime/datfile/file_instance.h"
#include "runtime/datfile/statements.h"

namespace zuna::datfile {

class View {
 public:
  // The access path of the last rebuild.
  struct AccessPath {
    enum class Kind : uint8_t { kNone, kFileOrder, kKey, kSortedPass };
    Kind kind = Kind::kNone;  // kNone: not rebuilt yet
    int key = -1;             // kKey: the key's 0-based index
    bool backwards = false;  // kKey: read from the last entry towards the first
  };

  explicit View(DatFileInstance& primary);
  // Closes the view as Close does, without posting.
  ~View();
  View(const View&) = delete;
  View& operator=(const View&) = delete;

  // --- Life
  // -------------------------------------------------------------------

  // Opens the view.  A FILE that is closed is opened with `mode` and closed
  // again by Close; one that is open is used as it is, in its own mode.
  // Binds the FILE's fields (see above) and marks the cursor for a rebuild.
  int32_t Open(uint32_t mode = kOpenDefaultMode);
  // Forgets the cursor, unbinds the fields, closes the FILE if Open opened it.
  int32_t Close();
  bool is_open() const;
  // The primary FILE.  Joins are not supported, so it is the only file the
  // view reads.
  DatFileInstance& primary() const;

  // --- Order and filter (any time; they take effect at the next read)
  // ----------

  // Parses the order text into items at once.  Parsing stops at the first
  // item that does not compile; the items before it stay and the evaluator's
  // error is returned.
  int32_t SetOrder(std::string_view order);
  // Keeps the text and compiles it.  A filter that does not compile returns
  // (and leaves posted) the evaluator's error, and the view reads without
  // a filter.
  int32_t SetFilter(std::string_view filter);
  const std::string& order() const;
  const std::string& filter() const;
  size_t order_items() const;
  bool has_filter() const;
  // Set by SetOrder, SetFilter and Open; cleared when a read rebuilds.
  bool rebuild_pending() const;

  // --- Buffering hints
  // ---------------------------------------------------------

  // What a browse asks of the view's paging: records per page, pages kept
  // behind and read ahead of the current one, and the seconds a page may
  // be kept.  The view reads its records one at a time through the driver
  // and only keeps these (buffering() returns them): they never change
  // which records come back or in what order.  All 0 until set.
  struct Buffering {
    int32_t page_size = 0;
    int32_t pages_behind = 0;
    int32_t pages_ahead = 0;
    int32_t timeout_seconds = 0;
  };
  void SetBuffering(int32_t page_size, int32_t pages_behind,
                    int32_t pages_ahead, int32_t timeout_seconds);
  Buffering buffering() const;

  // --- Positioning
  // --------------------------------------------------------------

  // The next Next reads from the first record of the order, Previous from
  // the last.
  int32_t Set();
  // Starts at the values the record buffer holds now for the first
  // `leading` items (all of them when more): Next reads the first record
  // whose leading values are at or after them, Previous the last one at or
  // before them.  0 is Set().
  int32_t Set(size_t leading);
  // The current record's place in the order (its items' values and record
  // number) as a string for Reset and Reget; empty without a current record.
  std::string Position();
  // Starts at a place Position gave: Next reads that record if it still
  // stands there and passes, else the first after it; Previous likewise
  // backwards.  35 for a string that is not such a place for this order.
  int32_t Reset(std::string_view position);
  // Reads the record named by the position (whatever the filter says)
  // into the record buffer and makes it current.  The cursor stays.
  int32_t Reget(std::string_view position);

  // --- Reading
  // --------------------------------------------------------------------

  // The next / previous record that passes the filter becomes current, its
  // fields in the record buffer.  33 when there is none; the record buffer
  // then holds what it held before, and the view has no current record.
  // After 33, a read the other way starts over from that end.
  int32_t Next();
  int32_t Previous();
  // Moves |count| passing records forwards (count > 0) or backwards without
  // making them current; the record buffer is left as it was.  33 when the
  // records run out first.
  int32_t Skip(int32_t count);
  // The number of records that pass the filter (all of the file's records
  // without one).  The cursor and the record buffer are left as they were.
  // Posts its error; 0 on failure.
  uint32_t Records();

  // --- The current record
  // ----------------------------------------------------------

  // Writes the record buffer over the current record (PUT).
  int32_t Put();
  // Deletes the current record; the view then has none, and the next read
  // goes on from where it stood.
  int32_t Delete();
  // Holds the current record (HOLD, waiting up to `seconds`) and reads it
  // again: the record buffer is refreshed.
  int32_t Hold(int32_t seconds = 0);
  // Releases a held record (RELEASE).
  int32_t Release();
  // Arms the changed-by-another-station test for the current record (WATCH)
  // and reads it again, so a later Put fails with 89 if another station has
  // changed it since.  The record buffer is refreshed.
  int32_t Watch();

  // The current record's number, 0 when none.
  uint32_t current_record() const;

  // --- For tests and diagnostics
  // ----------------------------------------------------

  AccessPath access_path() const;
  // Whether the last rebuild found comparisons that can end a scan early.
  bool can_end_early() const;
  // Records read and judged by the filter since the view was made.
  uint64_t records_examined() const;

 private:
  struct Impl;  // view.cpp
  std::unique_ptr<Impl> impl_;
};

}  // namespace zuna::datfile

#endif  // ZUNA_RUNTIME_DATFILE_VIEW_H_
