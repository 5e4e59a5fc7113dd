// The view engine: the cursor over the primary FILE (view.h is the contract).
//
// The cursor's state, and what moves it:
//   start_pending   set by Set, Reset and every rebuild: the next read
//                   places the access path at start_place (none: the start
//                   of the order) for its direction, then steps;
//   stepping        the access path stands on the record examined last
//                   (the FILE's sequence, or sorted_at in the sorted pass);
//   off_end = d     the last read in direction d found nothing: a read the
//                   same way finds nothing again at once; a read the other
//                   way steps back from where the path stands -- after the
//                   path's own end the driver starts over from that end, and
//                   after an early end the path stands on the refused record,
//                   beyond which nothing can pass.
// Records() counts with its own scan of the FILE, which moves the FILE's
// sequence; resync notes where to put it back before the next step.
#include "runtime/datfile/view.h"

#include <algorithm>
#include <numeric>
#include <optional>

#include "runtime/datfile/coding.h"
#include "runtime/datfile/driver.h"
#include "runtime/datfile/view_internal.h"
#include "runtime/values/clock.h"
#include "runtime/values/error_state.h"
#include "runtime/values/locale.h"

namespace zuna::datfile {

using view_internal::EarlyEnd;
using view_internal::OrderItem;
using view_internal::OrderValue;
using view_internal::Place;
using view_internal::ValueKind;

namespace {

constexpr int32_t kRecordNotAvailable = Err::kRecordNotAvailable;
// Records examined under one OperationGroup: enough that its header
// refresh and lock calls cost little per record, few enough that other
// stations hardly wait.
constexpr int kRecordsPerPage = 256;

Status NoMoreRecords() {
  return Status::Error(kRecordNotAvailable, "no more records in the view");
}
Status NoCurrentRecord() {
  return Status::Error(kRecordNotAvailable, "the view has no current record");
}
Status NotOpen() {
  return Status::Error(Err::kFileNotOpen, "the view is not open");
}
Status NotAPlace() {
  return Status::Error(Err::kRecordNotFound,
                       "not a position of this view's order");
}

bool IsBlank(std::string_view text) {
  return text.find_first_not_of(" \t") == std::string_view::npos;
}

int Sign(int c) { return c < 0 ? -1 : c > 0 ? 1 : 0; }

double ComparableReal(double v) { return v != v ? 0.0 : v; }

}  // namespace

struct View::Impl {
  // One item's values in the sorted pass, by row.
  struct SortedColumn {
    ValueKind kind = ValueKind::kLong;
    std::vector<int32_t> longs;
    std::vector<double> reals;
    std::vector<std::string> texts;

    void Add(const OrderValue& value) {
      switch (kind) {
        case ValueKind::kLong:
          longs.push_back(value.long_value);
          break;
        case ValueKind::kReal:
          reals.push_back(value.real_value);
          break;
        case ValueKind::kString:
          texts.push_back(value.text);
          break;
      }
    }
    OrderValue At(size_t row) const {
      OrderValue value;
      value.kind = kind;
      switch (kind) {
        case ValueKind::kLong:
          value.long_value = longs[row];
          break;
        case ValueKind::kReal:
          value.real_value = reals[row];
          break;
        case ValueKind::kString:
          value.text = texts[row];
          break;
      }
      return value;
    }
    // As view_internal::CompareValues, without copying the values.
    int Compare(size_t a, size_t b) const {
      switch (kind) {
        case ValueKind::kLong:
          return longs[a] < longs[b] ? -1 : longs[a] > longs[b] ? 1 : 0;
        case ValueKind::kReal: {
          const double x = ComparableReal(reals[a]);
          const double y = ComparableReal(reals[b]);
          return x < y ? -1 : x > y ? 1 : 0;
        }
        case ValueKind::kString:
          return Sign(values::CompareStrings(texts[a], texts[b]));
      }
      return 0;
    }
    int CompareTo(size_t row, const OrderValue& value) const {
      switch (kind) {
        case ValueKind::kLong:
          return longs[row] < value.long_value   ? -1
                 : longs[row] > value.long_value ? 1
                                                 : 0;
        case ValueKind::kReal: {
          const double x = ComparableReal(reals[row]);
          const double y = ComparableReal(value.real_value);
          return x < y ? -1 : x > y ? 1 : 0;
        }
        case ValueKind::kString:
          return Sign(values::CompareStrings(texts[row], value.text));
      }
      return 0;
    }
  };

  explicit Impl(DatFileInstance& primary)
      : file(primary),
        fields(view_internal::BindableFields(primary.declaration(),
                                             primary.record())) {}

  // --- Driver calls
  // ------------------------------------------------------------------

  Status Do(Op op, OpArgs args = {}, OpResult* result = nullptr) {
    return Dispatch(op, file, args, result);
  }
  Status DoKey(Op op, int key, std::string_view text = {},
               uint32_t record_no = 0) {
    OpArgs args;
    args.key = key;
    args.text = text;
    args.record_no = record_no;
    return Do(op, args);
  }
  Status Get(uint32_t record_no) {
    OpArgs args;
    args.record_no = record_no;
    return Do(Op::GetFilePtr, args);
  }
  uint32_t DriverCurrent() {
    OpResult result;
    return Do(Op::PointerFile, {}, &result).ok() ? result.number : 0;
  }

  std::vector<char> SaveBuffer() const {
    return std::vector<char>(file.record().begin(), file.record().end());
  }
  void RestoreBuffer(const std::vector<char>& saved) {
    std::copy(saved.begin(), saved.end(), file.record().begin());
  }

  // --- Life
  //  --------------------------------------------------------------------------

  Status Open(uint32_t mode) {
    if (open) return Status::Error(Err::kFileAlreadyOpen, "the view is open");
    if (!file.is_open()) {
      OpArgs args;
      args.mode = mode;
      ZUNA_RETURN_IF_ERROR(Do(Op::Open, args));
      opened_file = true;
    }
    values::BindFields(fields.fields);
    open = true;
    rebuild_pending = true;
    ForgetCursor();
    return Status::OK();
  }

  Status Close() {
    if (!open) return Status::OK();
    for (const values::NamedField& field : fields.fields) {
      values::UNBIND(field.name);
      if (!field.external_name.empty()) values::UNBIND(field.external_name);
    }
    open = false;
    rebuild_pending = true;
    ForgetCursor();
    sorted_record_no.clear();
    sorted_columns.clear();
    sorted_order.clear();
    if (!opened_file) return Status::OK();
    opened_file = false;
    return Do(Op::Close);
  }

  void ForgetCursor() {
    start_pending = true;
    start_place.reset();
    off_end = 0;
    ran_off = false;
    resync.reset();
    skip_record = 0;
    current = 0;
    current_values.clear();
    current_values_pending = false;
  }

  // --- Rebuild
  //  --------------------------------------------------------------------------

  bool PlaceFitsOrder(const Place& place) const {
    if (place.values.size() > items.size()) return false;
    for (size_t i = 0; i < place.values.size(); ++i) {
      if (place.values[i].kind != items[i].kind) return false;
    }
    return true;
  }

  Status Rebuild() {
    early_end.reset();
    sorted_record_no.clear();
    sorted_columns.clear();
    sorted_order.clear();
    resync.reset();
    skip_record = 0;
    off_end = 0;
    ran_off = false;
    start_pending = true;
    if (start_place && !PlaceFitsOrder(*start_place)) start_place.reset();
    ZUNA_RETURN_IF_ERROR(ChoosePath());
    if (path.kind == AccessPath::Kind::kSortedPass)
      ZUNA_RETURN_IF_ERROR(BuildSortedRows());
    if (filter && !items.empty()) {
      early_end = EarlyEnd::Analyse(filter_text, items[0], fields);
    }
    key_filter.reset();
    if (filter && path.kind == AccessPath::Kind::kKey) {
      key_filter = view_internal::KeyFilter::Analyse(filter_text,
                                                     file.declaration(), path.key);
    }
    rebuild_pending = false;
    return Status::OK();
  }

  Status ChoosePath() {
    path = AccessPath{};
    if (items.empty()) {
      path.kind = AccessPath::Kind::kFileOrder;
      return Status::OK();
    }
    const FileDecl& decl = file.declaration();
    for (size_t k = 0; k < decl.keys.size(); ++k) {
      if (!view_internal::KeyServesOrder(decl, static_cast<int>(k), items,
                                         file.record())) {
        continue;
      }
      // An OPT key leaves blank records out; the view must return them.
      OpResult in_key;
      OpResult in_file;
      OpArgs args;
      args.key = static_cast<int>(k);
      ZUNA_RETURN_IF_ERROR(Do(Op::RecordsKey, args, &in_key));
      ZUNA_RETURN_IF_ERROR(Do(Op::RecordsFile, {}, &in_file));
      if (in_key.number != in_file.number) continue;
      path.kind = AccessPath::Kind::kKey;
      path.key = static_cast<int>(k);
      path.backwards = items[0].descending;
      return Status::OK();
    }
    path.kind = AccessPath::Kind::kSortedPass;
    return Status::OK();
  }

  Status BuildSortedRows() {
    const std::vector<char> saved = SaveBuffer();
    sorted_columns.assign(items.size(), SortedColumn{});
    for (size_t i = 0; i < items.size(); ++i)
      sorted_columns[i].kind = items[i].kind;
    Status status = Do(Op::SetFile);
    while (status.ok()) {
      status = Do(Op::Next);
      if (!status.ok()) break;
      sorted_record_no.push_back(DriverCurrent());
      for (size_t i = 0; i < items.size(); ++i)
        sorted_columns[i].Add(items[i].Evaluate());
    }
    RestoreBuffer(saved);
    if (status.code() != kRecordNotAvailable) return status;
    sorted_order.resize(sorted_record_no.size());
    std::iota(sorted_order.begin(), sorted_order.end(), 0u);
    std::sort(sorted_order.begin(), sorted_order.end(),
              [this](uint32_t a, uint32_t b) { return CompareRows(a, b) < 0; });
    return Status::OK();
  }

  bool TiesAscend() const { return !items.back().descending; }

  int CompareRecordNumbers(uint32_t a, uint32_t b) const {
    const int c = a < b ? -1 : a > b ? 1 : 0;
    return TiesAscend() ? c : -c;
  }

  int CompareRows(uint32_t a, uint32_t b) const {
    for (size_t i = 0; i < items.size(); ++i) {
      const int c = sorted_columns[i].Compare(a, b);
      if (c != 0) return items[i].descending ? -c : c;
    }
    return CompareRecordNumbers(sorted_record_no[a], sorted_record_no[b]);
  }

  // Where `row` stands against `place` in view order.  A place without a
  // record number, or with fewer values than items, stands before the rows
  // it equals (`place_is_low`) or after them.
  int CompareRowToPlace(uint32_t row, const Place& place,
                        bool place_is_low) const {
    for (size_t i = 0; i < place.values.size(); ++i) {
      const int c = sorted_columns[i].CompareTo(row, place.values[i]);
      if (c != 0) return items[i].descending ? -c : c;
    }
    if (place.record_no != 0 && place.values.size() == items.size()) {
      return CompareRecordNumbers(sorted_record_no[row], place.record_no);
    }
    return place_is_low ? 1 : -1;
  }

  // --- Reading
  //  --------------------------------------------------------------------------

  Status Read(int direction, bool* found) {
    *found = false;
    if (!open) return NotOpen();
    if (rebuild_pending) ZUNA_RETURN_IF_ERROR(Rebuild());
    if (off_end == direction) return Status::OK();
    kept.valid = false;  // program variables may have changed since
    // Kept from read to read (a read never runs inside another): a list
    // reads the view once per record.
    std::vector<char>& saved = read_saved;
    saved.assign(file.record().begin(), file.record().end());
    const bool ascending_values =
        !items.empty() && (direction > 0) != items[0].descending;
    // Records are read a page at a time: one header refresh (on a shared
    // file, one hold of its lock byte) serves the page.
    struct PageEnd {
      std::optional<OperationGroup>& page;
      ~PageEnd() { page.reset(); }
    } page_end{page};
    in_page = 0;
    for (;;) {
      TurnPage();
      uint32_t record_no = 0;
      Status status = StepPath(direction, ascending_values, &record_no);
      if (!status.ok()) {
        RestoreBuffer(saved);
        return status;
      }
      if (record_no == 0) {
        off_end = direction;
        ran_off = true;
        current = 0;
        RestoreBuffer(saved);
        return Status::OK();
      }
      ++examined;
      if (!filter || filter->EvaluateBool()) {
        current = record_no;
        NoteCurrentValues();
        off_end = 0;
        ran_off = false;
        *found = true;
        return Status::OK();
      }
      if (early_end &&
          early_end->Ends(FirstValueOfExamined(), ascending_values)) {
        off_end = direction;
        ran_off = false;
        current = 0;
        RestoreBuffer(saved);
        return Status::OK();
      }
    }
  }

  // Keeps what the current record's place (Position, Skip) is made of.
  // Items that read only the record's own fields are worked out when the
  // place is first asked for, from the record as it was read: a reader
  // that never asks (one listing the view) never pays for them.  Others
  // may read program variables, which can change: those are taken now.
  void NoteCurrentValues() {
    const bool fields_only =
        path.kind != AccessPath::Kind::kSortedPass &&
        std::all_of(items.begin(), items.end(), [](const OrderItem& item) {
          return item.form != view_internal::ItemForm::kExpression;
        });
    if (!fields_only) {
      current_values = ValuesOfExamined();
      current_values_pending = false;
      return;
    }
    current_image.assign(file.record().begin(), file.record().end());
    current_values_pending = true;
  }

  const std::vector<OrderValue>& CurrentValues() {
    if (!current_values_pending) return current_values;
    current_values_pending = false;
    const std::vector<char> saved = SaveBuffer();
    RestoreBuffer(current_image);
    current_values = ValuesOfExamined();
    RestoreBuffer(saved);
    return current_values;
  }

  // The items' values for the record just examined: from the sorted pass's
  // snapshot (its place in the cursor), else from the record buffer.
  std::vector<OrderValue> ValuesOfExamined() const {
    std::vector<OrderValue> out;
    out.reserve(items.size());
    for (size_t i = 0; i < items.size(); ++i) {
      out.push_back(path.kind == AccessPath::Kind::kSortedPass
                        ? sorted_columns[i].At(sorted_order[sorted_at])
                        : items[i].Evaluate());
    }
    return out;
  }

  OrderValue FirstValueOfExamined() const {
    return path.kind == AccessPath::Kind::kSortedPass
               ? sorted_columns[0].At(sorted_order[sorted_at])
               : items[0].Evaluate();
  }

  Status StepPath(int direction, bool ascending_values, uint32_t* record_no) {
    *record_no = 0;
    if (path.kind == AccessPath::Kind::kSortedPass) {
      return StepSorted(direction, record_no);
    }
    const bool by_key = path.kind == AccessPath::Kind::kKey;
    const int driver_direction = path.backwards ? -direction : direction;
    if (resync) ZUNA_RETURN_IF_ERROR(Resynchronise());
    if (start_pending) {
      ZUNA_RETURN_IF_ERROR(by_key ? StartKeyPath(driver_direction)
                                  : StartFileOrder());
      start_pending = false;
    }
    if (by_key && key_filter) {
      return StepJudgingEntries(driver_direction, ascending_values, record_no);
    }
    for (;;) {
      const Status status = Do(driver_direction > 0 ? Op::Next : Op::Previous);
      if (status.code() == kRecordNotAvailable) return Status::OK();
      ZUNA_RETURN_IF_ERROR(status);
      const uint32_t landed = DriverCurrent();
      const uint32_t skip = skip_record;
      skip_record = 0;
      if (landed == skip) continue;  // the record the path was put back on
      *record_no = landed;
      return Status::OK();
    }
  }

  // The key path with a filter its entries can judge: the key is stepped
  // without reading records (SKIP), each entry judged with its components
  // written into the record buffer, and a record read only when it passes
  // -- or when it fails and the early end may stop there, so that Read
  // meets it as it would have.  The record read is the one the entry
  // names, under the same hold of the file, so it is the record the entry
  // was made from; Read judges it again whole.
  Status StepJudgingEntries(int driver_direction, bool ascending_values,
                            uint32_t* record_no) {
    OpArgs step;
    step.count = driver_direction;
    for (;;) {
      const Status status = Do(Op::Skip, step);
      if (status.code() == kRecordNotAvailable) return Status::OK();
      ZUNA_RETURN_IF_ERROR(status);
      // The entry SKIP landed on: the FILE's sequence, which this view
      // drives (view.h), stands on it.
      const std::string& entry = file.driver_state().sequence.position.entry;
      if (entry.size() < 4) return Status::OK();
      const uint32_t landed = DecodeFixed32(entry.data());
      const uint32_t skip = skip_record;
      skip_record = 0;
      if (landed == skip) continue;  // the record the path was put back on
      key_filter->Decode(entry, file.record());
      if (!JudgeEntry(std::string_view(entry).substr(4))) {
        const bool ends = early_end &&
                          early_end->Ends(items[0].Evaluate(), ascending_values);
        if (!ends) {
          ++examined;
          TurnPage();
          continue;
        }
      }
      ZUNA_RETURN_IF_ERROR(Get(landed));
      *record_no = landed;
      return Status::OK();
    }
  }

  // Before each record (or entry) a read examines: a new page, and with it
  // a new hold of the file, every kRecordsPerPage of them, so other
  // stations never wait long for a scan that passes few records.
  // Inside a group of the caller's (a reader of pages) the turn is a
  // yield of every group open on the FILE.
  void TurnPage() {
    if (page && ++in_page < kRecordsPerPage) return;
    in_page = 0;
    // The day a kept judgement needs, read once a page rather than once
    // an entry: a page takes well under a second.
    if (key_filter && key_filter->daily()) page_day = values::TODAY();
    if (page) {
      YieldGroup(file);
    } else {
      page.emplace(file);
    }
  }

  // The filter on the record buffer as Decode left it; a judgement is kept
  // for the next entry with the same key value (see KeyFilter::reusable).
  bool JudgeEntry(std::string_view value) {
    if (!key_filter->reusable()) return filter->EvaluateBool();
    const int32_t day = key_filter->daily() ? page_day : 0;
    if (kept.valid && kept.day == day && kept.value == value) return kept.passes;
    kept.passes = filter->EvaluateBool();
    kept.value.assign(value);
    kept.day = day;
    kept.valid = true;
    return kept.passes;
  }

  Status StartFileOrder() {
    if (start_place && start_place->record_no != 0) {
      OpArgs args;
      args.record_no = start_place->record_no;
      return Do(Op::SetFilePtr, args);
    }
    return Do(Op::SetFile);
  }

  // SETkey at the start, or SETkeykey(ptr) from the place's values written
  // into the record buffer (components the place has no value for get the
  // lowest value the key orders, or the highest when the driver reads
  // backwards).
  Status StartKeyPath(int driver_direction) {
    if (!start_place || start_place->values.empty())
      return DoKey(Op::SetKey, path.key);
    const FileDecl& decl = file.declaration();
    const KeyDecl& key = decl.keys[path.key];
    const std::vector<char> saved = SaveBuffer();
    for (size_t i = 0; i < key.components.size(); ++i) {
      const int field = key.components[i].field;
      if (i < start_place->values.size()) {
        view_internal::StoreFieldValue(decl.fields[field],
                                       start_place->values[i], file.record());
      } else {
        view_internal::StoreFieldLimit(decl, path.key, field,
                                       driver_direction < 0, file.record());
      }
    }
    const bool whole = start_place->record_no != 0 &&
                       start_place->values.size() == key.components.size();
    const Status status =
        whole ? DoKey(Op::SetKeyKeyPtr, path.key, {}, start_place->record_no)
              : DoKey(Op::SetKeyKey, path.key);
    RestoreBuffer(saved);
    return status;
  }

  Status StepSorted(int direction, uint32_t* record_no) {
    const int64_t rows = static_cast<int64_t>(sorted_order.size());
    if (start_pending) {
      if (!start_place ||
          (start_place->values.empty() && start_place->record_no == 0)) {
        sorted_at = direction > 0 ? -1 : rows;
      } else if (direction > 0) {
        const auto first = std::partition_point(
            sorted_order.begin(), sorted_order.end(), [&](uint32_t row) {
              return CompareRowToPlace(row, *start_place, true) < 0;
            });
        sorted_at = (first - sorted_order.begin()) - 1;
      } else {
        const auto after = std::partition_point(
            sorted_order.begin(), sorted_order.end(), [&](uint32_t row) {
              return CompareRowToPlace(row, *start_place, false) <= 0;
            });
        sorted_at = after - sorted_order.begin();
      }
      start_pending = false;
    }
    for (;;) {
      const int64_t next = sorted_at + direction;
      if (next < 0 || next >= rows) {
        sorted_at = next < 0 ? -1 : rows;
        return Status::OK();
      }
      sorted_at = next;
      const uint32_t candidate = sorted_record_no[sorted_order[next]];
      const Status status = Get(candidate);
      if (status.code() == Err::kRecordNotFound) continue;  // deleted since
      ZUNA_RETURN_IF_ERROR(status);
      *record_no = candidate;
      return Status::OK();
    }
  }

  Status Resynchronise() {
    const Resync r = *resync;
    resync.reset();
    if (r.to_start) {
      start_pending = true;
      start_place.reset();
      return Status::OK();
    }
    if (path.kind == AccessPath::Kind::kKey) {
      ZUNA_RETURN_IF_ERROR(DoKey(Op::ResetKey, path.key, r.key_entry));
    } else {
      OpArgs args;
      args.record_no = r.record_no;
      ZUNA_RETURN_IF_ERROR(Do(Op::SetFilePtr, args));
    }
    skip_record = r.record_no;
    return Status::OK();
  }

  // Notes where the FILE's sequence stands before something else moves it.
  Status NoteSequence() {
    if (resync || rebuild_pending || start_pending ||
        path.kind == AccessPath::Kind::kSortedPass) {
      return Status::OK();
    }
    Resync r;
    if (off_end != 0 && ran_off) {
      r.to_start = true;
    } else {
      r.record_no = DriverCurrent();
      if (r.record_no == 0) return Status::OK();
      if (path.kind == AccessPath::Kind::kKey) {
        OpArgs args;
        args.key = path.key;
        OpResult result;
        ZUNA_RETURN_IF_ERROR(Do(Op::PositionKey, args, &result));
        r.key_entry = std::move(result.text);
      }
    }
    resync = std::move(r);
    return Status::OK();
  }

  Status Records(uint32_t* count) {
    *count = 0;
    if (!open) return NotOpen();
    if (!filter) {
      OpResult result;
      ZUNA_RETURN_IF_ERROR(Do(Op::RecordsFile, {}, &result));
      *count = result.number;
      return Status::OK();
    }
    ZUNA_RETURN_IF_ERROR(NoteSequence());
    const std::vector<char> saved = SaveBuffer();
    Status status = Do(Op::SetFile);
    while (status.ok()) {
      status = Do(Op::Next);
      if (status.ok() && filter->EvaluateBool()) ++*count;
    }
    RestoreBuffer(saved);
    if (status.code() != kRecordNotAvailable) {
      *count = 0;
      return status;
    }
    return Status::OK();
  }

  Status Skip(int32_t count) {
    if (!open) return NotOpen();
    const int direction = count < 0 ? -1 : +1;
    const std::vector<char> saved = SaveBuffer();
    const uint32_t saved_current = current;
    std::vector<OrderValue> saved_values = CurrentValues();
    Status status;
    for (int64_t i = 0; i < (count < 0 ? -int64_t{count} : int64_t{count});
         ++i) {
      bool found = false;
      status = Read(direction, &found);
      if (status.ok() && !found) status = NoMoreRecords();
      if (!status.ok()) break;
    }
    RestoreBuffer(saved);
    current = saved_current;
    current_values = std::move(saved_values);
    current_values_pending = false;
    return status;
  }

  // --- The current record
  // ----------------------------------------------------------------------

  Status Put() {
    if (!open) return NotOpen();
    if (current == 0) return NoCurrentRecord();
    if (DriverCurrent() == current) return Do(Op::Put);
    OpArgs args;
    args.record_no = current;
    return Do(Op::PutFilePtr, args);
  }

  Status Delete() {
    if (!open) return NotOpen();
    if (current == 0) return NoCurrentRecord();
    if (DriverCurrent() != current) {
      const std::vector<char> saved = SaveBuffer();
      const Status read = Get(current);
      RestoreBuffer(saved);
      ZUNA_RETURN_IF_ERROR(read);
    }
    ZUNA_RETURN_IF_ERROR(Do(Op::Delete));
    current = 0;
    current_values.clear();
    current_values_pending = false;
    return Status::OK();
  }

  // Arms HOLD or WATCH, then reads the current record again.
  Status Reread(Op arm, int32_t seconds) {
    if (!open) return NotOpen();
    if (current == 0) return NoCurrentRecord();
    OpArgs args;
    args.count = seconds;
    ZUNA_RETURN_IF_ERROR(Do(arm, args));
    return Get(current);
  }

  DatFileInstance& file;
  const view_internal::RecordFields fields;

  bool open = false;
  bool opened_file = false;  // Open opened the FILE; Close closes it

  std::string order_text;
  std::string filter_text;
  std::vector<OrderItem> items;
  std::unique_ptr<values::Expression> filter;
  bool rebuild_pending = true;

  AccessPath path;
  std::unique_ptr<EarlyEnd> early_end;
  // Set by a rebuild on the key path when the key's entries can judge the
  // filter; the judgement of the last entry, kept within one read.
  std::unique_ptr<view_internal::KeyFilter> key_filter;
  struct KeptJudgement {
    bool valid = false;
    std::string value;  // the entry's key value
    int32_t day = 0;    // TODAY() when judged, for a daily filter
    bool passes = false;
  } kept;
  // The page of the read in progress (Read, TurnPage).
  std::optional<OperationGroup> page;
  int in_page = 0;
  int32_t page_day = 0;  // TODAY() at the page's start (TurnPage)

  // The sorted pass.
  std::vector<uint32_t> sorted_record_no;    // by row
  std::vector<SortedColumn> sorted_columns;  // by item
  std::vector<uint32_t> sorted_order;        // rows in view order
  int64_t sorted_at = -1;  // place in sorted_order last examined

  bool start_pending = true;
  std::optional<Place> start_place;
  int off_end = 0;
  bool ran_off = false;  // the last end was the access path's own end
  struct Resync {
    std::string key_entry;  // the key path's entry of the record examined last
    uint32_t record_no = 0;
    bool to_start = false;  // the path had run off its end: start over there
  };
  std::optional<Resync> resync;
  uint32_t skip_record = 0;  // passed over once when the path lands on it

  uint32_t current = 0;
  std::vector<OrderValue> current_values;
  // The current record as read, its values still to work out from it
  // (NoteCurrentValues); current_values counts only when this is false.
  std::vector<char> current_image;
  bool current_values_pending = false;
  std::vector<char> read_saved;  // Read's copy of the record buffer
  uint64_t examined = 0;

  Buffering buffering;  // hints only (view.h)
};

View::View(DatFileInstance& primary) : impl_(std::make_unique<Impl>(primary)) {}

View::~View() { (void)impl_->Close(); }

int32_t View::Open(uint32_t mode) { return PostStatus(impl_->Open(mode)); }
int32_t View::Close() { return PostStatus(impl_->Close()); }
bool View::is_open() const { return impl_->open; }
DatFileInstance& View::primary() const { return impl_->file; }

void View::SetBuffering(int32_t page_size, int32_t pages_behind,
                        int32_t pages_ahead, int32_t timeout_seconds) {
  impl_->buffering = {page_size, pages_behind, pages_ahead, timeout_seconds};
}
View::Buffering View::buffering() const { return impl_->buffering; }

int32_t View::SetOrder(std::string_view order) {
  Impl& s = *impl_;
  // The current place is in the order it was read in.
  (void)s.CurrentValues();
  s.order_text = std::string(order);
  s.rebuild_pending = true;
  int32_t error = 0;
  s.items =
      view_internal::ParseOrder(order, s.file.declaration(), s.fields, &error);
  if (error != 0) return error;  // the evaluator's, already posted
  return PostStatus(Status::OK());
}

int32_t View::SetFilter(std::string_view filter) {
  Impl& s = *impl_;
  s.filter_text = std::string(filter);
  s.filter.reset();
  s.rebuild_pending = true;
  if (IsBlank(filter)) return PostStatus(Status::OK());
  s.filter = view_internal::CompileOverRecord(s.fields, filter);
  if (!s.filter) return values::ERRORCODE();  // the evaluator's, already posted
  return PostStatus(Status::OK());
}

const std::string& View::order() const { return impl_->order_text; }
const std::string& View::filter() const { return impl_->filter_text; }
size_t View::order_items() const { return impl_->items.size(); }
bool View::has_filter() const { return impl_->filter != nullptr; }
bool View::rebuild_pending() const { return impl_->rebuild_pending; }

int32_t View::Set() { return Set(0); }

int32_t View::Set(size_t leading) {
  Impl& s = *impl_;
  s.start_pending = true;
  s.start_place.reset();
  s.off_end = 0;
  s.ran_off = false;
  s.resync.reset();
  s.skip_record = 0;
  const size_t n = std::min(leading, s.items.size());
  if (n > 0) {
    Place place;
    for (size_t i = 0; i < n; ++i)
      place.values.push_back(s.items[i].Evaluate());
    s.start_place = std::move(place);
  }
  return PostStatus(Status::OK());
}

std::string View::Position() {
  Impl& s = *impl_;
  PostStatus(Status::OK());
  if (s.current == 0) return std::string();
  Place place;
  place.values = s.CurrentValues();
  place.record_no = s.current;
  return view_internal::EncodePlace(place);
}

int32_t View::Reset(std::string_view position) {
  Impl& s = *impl_;
  Place place;
  if (!view_internal::DecodePlace(position, &place) ||
      !s.PlaceFitsOrder(place)) {
    return PostStatus(NotAPlace());
  }
  s.start_pending = true;
  s.start_place = std::move(place);
  s.off_end = 0;
  s.ran_off = false;
  s.resync.reset();
  s.skip_record = 0;
  return PostStatus(Status::OK());
}

int32_t View::Reget(std::string_view position) {
  Impl& s = *impl_;
  if (!s.open) return PostStatus(NotOpen());
  Place place;
  if (!view_internal::DecodePlace(position, &place) || place.record_no == 0) {
    return PostStatus(NotAPlace());
  }
  const Status status = s.Get(place.record_no);
  if (!status.ok()) return PostStatus(status);
  s.current = place.record_no;
  s.current_values.clear();
  s.current_values_pending = false;
  for (const OrderItem& item : s.items)
    s.current_values.push_back(item.Evaluate());
  return PostStatus(Status::OK());
}

int32_t View::Next() {
  bool found = false;
  const Status status = impl_->Read(+1, &found);
  return PostStatus(status.ok() && !found ? NoMoreRecords() : status);
}

int32_t View::Previous() {
  bool found = false;
  const Status status = impl_->Read(-1, &found);
  return PostStatus(status.ok() && !found ? NoMoreRecords() : status);
}

int32_t View::Skip(int32_t count) { return PostStatus(impl_->Skip(count)); }

uint32_t View::Records() {
  uint32_t count = 0;
  PostStatus(impl_->Records(&count));
  return count;
}

int32_t View::Put() { return PostStatus(impl_->Put()); }
int32_t View::Delete() { return PostStatus(impl_->Delete()); }
int32_t View::Hold(int32_t seconds) {
  return PostStatus(
      impl_->Reread(seconds > 0 ? Op::HoldFileSec : Op::HoldFile, seconds));
}
int32_t View::Release() {
  if (!impl_->open) return PostStatus(NotOpen());
  return PostStatus(impl_->Do(Op::Release));
}
int32_t View::Watch() { return PostStatus(impl_->Reread(Op::Watch, 0)); }

uint32_t View::current_record() const { return impl_->current; }
View::AccessPath View::access_path() const { return impl_->path; }
bool View::can_end_early() const { return impl_->early_end != nullptr; }
uint64_t View::records_examined() const { return impl_->examined; }

}  // namespace zuna::datfile
