// ViewManager: a runtime view (datfile::View) as the record source of a
// browse.  It keeps a list of sort orders; each has its own order text, its
// range limit (a kind and a list of limiting values over the leading
// components of its key) and its named filter expressions.  Before reading
// it composes, for the current sort order, one order text and one filter
// text and hands both to the view; each record the view returns is then
// offered to ValidateRecord, which accepts it, skips it or ends the scan.
// A browse derives from it and overrides ApplyRange, Next, Previous and
// Kill (and may override any other virtual operation).
//
// The filter text, always composed whole (no length limit):
//   range terms  Range::Current, Range::File, Range::Limit: one equality
//                per range pair,  "name = value", joined by " AND ";
//                Range::Pair: equalities for the pairs but the last two,
//                then "name >= low AND name <= high" for the key component
//                after them, low and high the Left values of the last two
//                pairs (at least two pairs are needed; with fewer there are
//                no range terms);  Range::None: none.
//                "name" is Primary->Me->GetFieldName(MainKey, component)
//                ("UPPER(PPL:Name)" for text in a NOCASE key); the values
//                are written by CasedValue.
//   filters      each entry of the sort order's Filter queue, in Id order,
//                as "(expression)", joined to what is before by " AND ".
// Example: a range on the first component of a NOCASE key and one filter
// give  UPPER(PPL:Name) = UPPER('Ivanov') AND (PPL:Born > 0).
//
// Range pairs (RangeList, one per limiting key component, in component
// order): Left is the limiting value written into the filter; Right (and
// Buffer, for Range::Limit) hold the values last applied, so ApplyRange
// can tell whether the range changed.  Whoever adds a pair keeps both
// variables alive while the sort order exists.
//
// Every operation that reads or opens returns a level code (error_table.h).
// Failures are reported by the primary file's manager Primary->Me through
// its error manager, with the runtime error the view posted as %ErrorText:
//   - the view does not open, an order or filter text does not compile, a
//     start position cannot be set: message 43 (Msg::ViewOpenFailed).  A
//     filter that does not compile leaves the view reading unfiltered;
//   - a read fails for another reason than the end of the records:
//     message 1 (Msg::RecordAccessFailed), Level::Fatal.
// The end of the records is Level::Notify without a message.
// Misuse is an internal assertion (assertion.h):
//   "View manager has not been assigned a view"
//   "View driver failed to return constituent file."
//   "Unable to obtain file manager for constituent file: <name>"
//   "Unable to obtain relation manager for constituent file: <name>"
//   "View manager has not  properly initialized"  (SaveBuffers and
//       RestoreBuffers before Init; the text is kept as it has always read)
//   "Unable to add new sort order."
//   "Sort order does not exist: <number>"
//   "View does not have any sort orders defined"
//   kNoViewOrderText  (Open without sort orders)
//
// Life cycle: constructed -> Init (the view's files opened through their
// relation managers: UseView) -> AddSortOrder ... -> Open / Reset / Next /
// Previous ... -> Kill (sort orders gone, view closed, files closed:
// UnuseView).  Kill is safe twice; the destructor kills.  Init may run
// again after Kill.
//
// Ownership: the manager does not own View, Primary, the file and relation
// managers it finds in the thread's files registry, nor a sort-order queue
// given to Init; they must outlive it (until Kill).  It owns the queue it
// makes itself (DisposeOrder 1) with every row's filters and range list,
// and SavedBuffers.
//
// Threads: a view manager belongs to the thread that made it, as its view
// and managers do; it takes no lock.
//
// Texts are Windows-1251.
#ifndef ZUNA_FRAMEWORK_DATA_VIEW_MANAGER_H_
#define ZUNA_FRAMEWORK_DATA_VIEW_MANAGER_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/data/field_pairs.h"
#include "framework/data/file_manager.h"
#include "framework/data/relation_manager.h"
#include "runtime/datfile/file_instance.h"
#include "runtime/datfile/statements.h"
#include "runtime/datfile/view.h"
#include "runtime/values/variable.h"

namespace zuna::framework {

// Kinds of range limit (SortOrderRow::LimitType).
namespace Range {
inline constexpr uint8_t None = 0;
inline constexpr uint8_t Current = 1;  // every pair fixes its field
inline constexpr uint8_t File = 2;     // as Current
inline constexpr uint8_t Pair = 3;     // the last two pairs bound one field
inline constexpr uint8_t Limit = 4;    // as Current, re-applied on change
}  // namespace Range

// What ValidateRecord says of a record the view returned.
namespace Record {
inline constexpr uint8_t OK = 0;          // accept it
inline constexpr uint8_t OutOfRange = 1;  // end the scan
inline constexpr uint8_t Filtered = 2;    // skip it and read on
}  // namespace Record

// The id SetFilter(expression) files its expression under.
inline constexpr std::string_view kStandardFilterId = "5 Standard";
// Filter ids are cut to this many characters (and trailing blanks).
inline constexpr size_t kFilterIdLength = 30;
// Sort orders are numbered by a BYTE.
inline constexpr size_t kMaxSortOrders = 255;
// The assertion of Open without sort orders.
inline constexpr std::string_view kNoViewOrderText =
    "At least 1 view order must be s" "pecified";
// The mode the view opens a closed FILE in: read only, deny write.
inline constexpr uint32_t kViewOpenMode = 0x22;

// One named filter expression of a sort order.
struct FilterRow {
  std::string Id;  // at most kFilterIdLength characters
  std::string Expression;
};

// One sort order.
struct SortOrderRow {
  uint8_t LimitType = Range::None;
  std::optional<datfile::Key> MainKey;  // none: an order text of its own
  std::string Order;                    // the order text
  // Kept ordered by Id ascending.
  std::unique_ptr<std::vector<FilterRow>> Filter;
  // The first key field the range does not fix (set by AddSortOrder to the
  // key's first component).
  std::optional<values::VariableRef> FreeElement;
  std::unique_ptr<BufferedPairsClass> RangeList;
};

using SortOrderQueue = std::vector<SortOrderRow>;

class ViewManager {
 public:
  ViewManager() = default;
  virtual ~ViewManager();
  ViewManager(const ViewManager&) = delete;
  ViewManager& operator=(const ViewManager&) = delete;

  // --- Life cycle -------------------------------------------------------

  // Stores `view` and `primary`; uses `order` as the sort-order queue when
  // given (DisposeOrder 0: its first row, if any, becomes current), else
  // makes an empty one (DisposeOrder 1).  Makes SavedBuffers; PageSize 20,
  // PagesBehind 2, PagesAhead 0, Timeout 60, Killed 0, Inited 1; then
  // UseView().
  void Init(datfile::View& view, RelationManager& primary,
            SortOrderQueue* order = nullptr);
  // Makes every file of the view usable: finds its file manager and
  // relation manager in the thread's files registry, opens the relation
  // manager (Open(0)) and uses the file manager (UseFile(UseType::Use)).
  // Sets Used.  A file without a manager is an assertion and left alone.
  // Nothing when Used is already set.
  void UseView();
  // Closes (Close(0)) the relation managers UseView opened, when Used;
  // clears Used.
  void UnuseView();
  // Disposes the sort orders when the manager made their queue (a queue
  // given to Init is left to its owner) and SavedBuffers, closes the view
  // and UnuseView; Killed 1, Inited 0.  Nothing before Init or when killed.
  virtual void Kill();

  // --- Sort orders ------------------------------------------------------

  // Appends a sort order over `key` (none: its order text comes later from
  // SetOrder or AppendOrder) with an empty range list and no filters, and
  // makes it current.  With a key its order text is
  // Primary->Me->KeyToOrder(key, 1) and FreeElement its first component.
  // Returns its number (1-based); 0 after the assertion when it cannot be
  // added (before Init, or kMaxSortOrders reached).
  uint8_t AddSortOrder(std::optional<datfile::Key> key = std::nullopt);
  // Makes sort order `number` current (0: the current one).  1 when the
  // current sort order changed.  An unknown number is an assertion, and
  // the current sort order stays.
  virtual uint8_t SetSort(uint8_t number);
  // The current sort order's number, 0 when there is none.
  uint8_t GetSort() const { return current_sort_; }
  // The current sort order; nullptr when there is none.
  SortOrderRow* CurrentSortOrder();
  const SortOrderRow* CurrentSortOrder() const;

  // Replaces the current sort order's order text.
  virtual void SetOrder(std::string_view order);
  // Extends the current order text by `order` (blanks around it ignored):
  // "*x" replaces the whole text by "x" ("*" alone empties it); else an
  // empty order text becomes `order`, another one gets "," and `order`.
  // An empty (or blank) `order` changes nothing.
  virtual void AppendOrder(std::string_view order);

  // SetFilter(expression, kStandardFilterId).
  virtual void SetFilter(std::string_view expression);
  // Files `expression` under `id` in the current sort order's filters,
  // replacing what was filed there; an empty (or blank) expression removes
  // the entry.  The view sees it at the next ApplyFilter.
  virtual void SetFilter(std::string_view expression, std::string_view id);

  // --- Reading ----------------------------------------------------------

  // Opens the view when it is not open yet (it needs a sort order), sets
  // its buffering (PageSize, PagesBehind, PagesAhead, Timeout); then, open
  // before or not, ApplyOrder and ApplyFilter.  A view that does not open
  // is message 43 and its level; else Level::Benign (even when the order
  // or filter did not compile: they were reported and the view reads on).
  virtual uint8_t Open();
  // Close(0).
  virtual uint8_t Close();
  // Closes the view when this manager opened it, or with `force` whoever
  // did.  Level::Benign.
  virtual uint8_t Close(uint8_t force);
  // Reset(0).
  virtual uint8_t Reset();
  // Open(), then the next read starts at the beginning of the order
  // (`position` 0) or at the values the record buffer holds now for the
  // first `position` order items.  Message 43 when the view cannot start
  // there.
  virtual uint8_t Reset(uint8_t position);
  // The next (previous) record the view returns that ValidateRecord does
  // not skip.  Level::Benign with the record in the buffer; Level::Notify
  // at the end of the records (no message) or when ValidateRecord says
  // Record::OutOfRange; Level::Fatal after message 1 when the read fails.
  virtual uint8_t Next();
  virtual uint8_t Previous();
  // What to do with the record just read: Record::OK, Record::OutOfRange
  // or Record::Filtered.  The base accepts every record.
  virtual uint8_t ValidateRecord();

  // --- Applying order, filter and range ---------------------------------

  // Gives the view the current sort order's order text.  Level::Benign, or
  // message 43 and its level when it does not compile.
  virtual uint8_t ApplyOrder();
  // Gives the view the filter text composed for the current sort order
  // (see the top of this file).  Level::Benign, or message 43 and its
  // level when it does not compile.
  virtual uint8_t ApplyFilter();
  // Applies the range again when its values changed since last applied:
  //   Range::Pair   the lower bound (Left of the last pair but one) differs
  //                 from its Right: both bounds' Right = Left; else the
  //                 upper bound is checked as for Range::File;
  //   Range::File   the last pair's Left differs from its Right:
  //                 Right = Left;
  //   Range::Limit  any Right differs from its Buffer (compared as
  //                 values, case counting): every Buffer = Right.
  // Then ApplyFilter and 1; 0 when nothing changed (and for the others).
  virtual uint8_t ApplyRange();

  // --- Records and buffers ----------------------------------------------

  // A new record: the buffers cleared (unless `suppress_clear`), each key
  // field the range fixes set to its limiting value (for Range::Pair the
  // fields before the bounded one), then Primary->Me->PrimeRecord(1).
  virtual uint8_t PrimeRecord(uint8_t suppress_clear = 0);
  // Clears the record buffer of every file of the view as the runtime
  // clears a record: text blank, numbers zero, the memo blank.
  virtual void ClearFilesRecord();
  // Saves the record buffer of every file of the view through its file
  // manager (SaveBuffer), pushing the ids on SavedBuffers; RestoreBuffers
  // pops the last save and puts those buffers back.  RestoreBuffers with
  // nothing saved does nothing.
  virtual void SaveBuffers();
  virtual void RestoreBuffers();

  // --- The free element -------------------------------------------------

  // The key component after those the range fixes: the number of range
  // pairs plus one (Range::Pair: the number of pairs, the last two sharing
  // one field).  0 without a main key or past its last component.
  virtual uint8_t GetFreeElementPosition();
  // That component's field name (GetFieldName); "" when the position is 0.
  virtual std::string GetFreeElementName();
  // GetFieldAscending(GetFreeElementName()).
  virtual uint8_t GetFreeElementAscending();
  // Whether `field` is ascending in the current order text: 0 when an item
  // naming it (alone or inside UPPER( ) or LOWER( ), on either side,
  // compared without case) is written with a leading "-"; 1 otherwise,
  // also when no item names it.
  uint8_t GetFieldAscending(std::string_view field) const;
  // The same for a field of the primary file's record, by its name in
  // Primary->Me->Fields; 1 when it is not one.
  uint8_t GetFieldAscending(const values::VariableRef& field) const;

  // `value` as the filter text compares it with the field named `name`:
  // a number as its number (integers without a decimal point, others in
  // the shortest form that reads back to the same value); text between
  // single quotes, each quote in it doubled and its trailing blanks cut
  // (the language's comparisons ignore them), wrapped in UPPER( ) or
  // LOWER( ) when `name` contains "UPPER(" or "LOWER(".
  static std::string CasedValue(std::string_view name,
                                const values::VariableRef& value);

  // --- Fields -----------------------------------------------------------

  uint8_t DisposeOrder = 0;  // the manager made Order and disposes it
  uint8_t Opened = 0;        // the manager opened the view
  SortOrderQueue* Order = nullptr;
  int16_t PagesAhead = 0;
  int16_t PagesBehind = 2;
  int16_t PageSize = 20;
  RelationManager* Primary = nullptr;  // its Me reports the view's errors
  int16_t Timeout = 60;
  datfile::View* View = nullptr;
  std::unique_ptr<std::vector<int32_t>> SavedBuffers;  // a stack of ids
  uint8_t Inited = 0;
  uint8_t Killed = 0;
  uint8_t Used = 0;  // UseView opened the files

 private:
  // The files of the view: its primary FILE (the runtime view reads one).
  std::vector<datfile::DatFileInstance*> ViewFiles() const;
  // The thread's file manager of `file`; nullptr when none.
  static FileManager* FileManagerOf(const datfile::DatFileInstance& file);
  // The current sort order; nullptr after the assertion when none.
  SortOrderRow* RequireSortOrder();
  // View set; else the assertion.
  bool CheckView() const;
  // Init ran and Kill did not; else the assertion.
  bool RequireInit() const;
  // Message `id` through Primary->Me; its level.
  uint8_t Report(uint16_t id);
  uint8_t Read(bool backwards);
  // The filter text of `row` (see the top of this file).
  std::string ComposeFilter(const SortOrderRow& row) const;

  std::unique_ptr<SortOrderQueue> owned_order_;  // Order when DisposeOrder
  uint8_t current_sort_ = 0;                     // 1-based; 0 none
  std::vector<RelationManager*> used_relations_;  // opened by UseView
};

}  // namespace zuna::framework

#endif  // ZUNA_FRAMEWORK_DATA_VIEW_MANAGER_H_
