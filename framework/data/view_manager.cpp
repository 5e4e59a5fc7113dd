// ViewManager: sort orders, the composed order and filter texts, reading
// through the view, and the view's files (view_manager.h is the contract).
#include "framework/data/view_manager.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>
#include <utility>

#include "framework/data/assertion.h"
#include "framework/data/files_manager.h"
#include "runtime/datfile/declaration.h"
#include "runtime/datfile/status.h"
#include "runtime/values/locale.h"

namespace zuna::framework {
namespace {

using datfile::Err::kFileAlreadyOpen;
using datfile::Err::kRecordNotAvailable;

constexpr std::string_view kNoSortOrders =
    "View does not have any sort orders defined";
constexpr std::string_view kNotInitialized =
    "View manager has not  properly initialized";

// Integers up to this size are exact in a double.
constexpr double kExactIntegerLimit = 9007199254740992.0;  // 2^53

std::string_view TrimBlanks(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

std::string_view TrimTrailingBlanks(std::string_view text) {
  const size_t last = text.find_last_not_of(' ');
  return last == std::string_view::npos ? std::string_view()
                                        : text.substr(0, last + 1);
}

// A number as the filter language reads it back to the same value.
std::string NumberText(double value) {
  if (value == std::trunc(value) && std::fabs(value) < kExactIntegerLimit) {
    return std::to_string(static_cast<int64_t>(value));
  }
  char text[64];
  const std::to_chars_result result =
      std::to_chars(text, text + sizeof(text), value);
  return std::string(text, result.ptr);
}

// 'text' with each quote doubled.
std::string Quoted(std::string_view text) {
  std::string quoted = "'";
  for (char c : text) {
    quoted += c;
    if (c == '\'') quoted += '\'';
  }
  quoted += '\'';
  return quoted;
}

bool ContainsNoCase(std::string_view text, std::string_view wanted) {
  return values::ToUpper(text).find(wanted) != std::string::npos;
}

// The items of an order text: split at the commas outside brackets and
// quotes.
std::vector<std::string_view> OrderItems(std::string_view order) {
  std::vector<std::string_view> items;
  int depth = 0;
  bool quoted = false;
  size_t start = 0;
  for (size_t i = 0; i <= order.size(); ++i) {
    const char c = i < order.size() ? order[i] : ',';
    if (c == '\'') {
      quoted = !quoted;
    } else if (!quoted && c == '(') {
      ++depth;
    } else if (!quoted && c == ')') {
      --depth;
    } else if (!quoted && depth <= 0 && c == ',') {
      items.push_back(order.substr(start, i - start));
      start = i + 1;
    }
  }
  return items;
}

// The field an order item or field name names: without blanks, without an
// UPPER( ) or LOWER( ) around it, upper-cased.
std::string NamedField(std::string_view text) {
  std::string name = values::ToUpper(TrimBlanks(text));
  for (std::string_view wrapper : {"UPPER(", "LOWER("}) {
    if (name.starts_with(wrapper) && name.ends_with(')')) {
      name = std::string(TrimBlanks(std::string_view(name).substr(
          wrapper.size(), name.size() - wrapper.size() - 1)));
      break;
    }
  }
  return name;
}

// How many leading range pairs of `row` fix their field to one value.
size_t EqualityPairs(const SortOrderRow& row, size_t pairs) {
  switch (row.LimitType) {
    case Range::Current:
    case Range::File:
    case Range::Limit:
      return pairs;
    case Range::Pair:
      return pairs >= 2 ? pairs - 2 : 0;
    default:
      return 0;
  }
}

size_t PairCount(const SortOrderRow& row) {
  return row.RangeList && row.RangeList->List ? row.RangeList->List->size()
                                              : 0;
}

// Right = Left for `pair`, when they differ; whether they did.
bool TakeLeft(FieldPairRow& pair) {
  if (ValuesEqual(pair.Left, pair.Right)) return false;
  AssignValue(pair.Right, pair.Left);
  return true;
}

}  // namespace

ViewManager::~ViewManager() { ViewManager::Kill(); }

// --- Life cycle -----------------------------------------------------------

void ViewManager::Init(datfile::View& view, RelationManager& primary,
                       SortOrderQueue* order) {
  View = &view;
  Primary = &primary;
  if (order != nullptr) {
    owned_order_.reset();
    Order = order;
    DisposeOrder = 0;
  } else {
    owned_order_ = std::make_unique<SortOrderQueue>();
    Order = owned_order_.get();
    DisposeOrder = 1;
  }
  current_sort_ = Order->empty() ? 0 : 1;
  SavedBuffers = std::make_unique<std::vector<int32_t>>();
  PageSize = 20;
  PagesBehind = 2;
  PagesAhead = 0;
  Timeout = 60;
  Opened = 0;
  Killed = 0;
  Inited = 1;
  UseView();
}

std::vector<datfile::DatFileInstance*> ViewManager::ViewFiles() const {
  return {&View->primary()};
}

FileManager* ViewManager::FileManagerOf(
    const datfile::DatFileInstance& file) {
  return ThreadFilesManager().GetFileMapping(FilesManager::GetFileID(file));
}

void ViewManager::UseView() {
  if (!CheckView() || Used) return;
  FilesManager& files = ThreadFilesManager();
  for (datfile::DatFileInstance* file : ViewFiles()) {
    if (file == nullptr) {
      AssertionFailed("View driver failed to return constituent file.");
      continue;
    }
    const FileId id = FilesManager::GetFileID(*file);
    FileManager* manager = files.GetFileMapping(id);
    if (manager == nullptr) {
      AssertionFailed("Unable to obtain file manager for constituent file: " +
                      file->name());
      continue;
    }
    RelationManager* relation = files.GetRelationFileMapping(id);
    if (relation == nullptr) {
      AssertionFailed(
          "Unable to obtain relation manager for constituent file: " +
          file->name());
      continue;
    }
    if (relation->Open(0) != Level::Benign) continue;
    used_relations_.push_back(relation);
    manager->UseFile(UseType::Use);
  }
  Used = 1;
}

void ViewManager::UnuseView() {
  if (!Used) return;
  for (RelationManager* relation : used_relations_) relation->Close(0);
  used_relations_.clear();
  Used = 0;
}

void ViewManager::Kill() {
  if (!Inited || Killed) return;
  owned_order_.reset();
  Order = nullptr;
  current_sort_ = 0;
  SavedBuffers.reset();
  if (View != nullptr) View->Close();
  Opened = 0;
  UnuseView();
  Killed = 1;
  Inited = 0;
}

bool ViewManager::CheckView() const {
  if (View != nullptr) return true;
  AssertionFailed("View manager has not been assigned a view");
  return false;
}

bool ViewManager::RequireInit() const {
  if (Inited && !Killed && SavedBuffers && View != nullptr) return true;
  AssertionFailed(kNotInitialized);
  return false;
}

uint8_t ViewManager::Report(uint16_t id) {
  if (Primary == nullptr || Primary->Me == nullptr) {
    AssertionFailed(kNotInitialized);
    return Level::Fatal;
  }
  return Primary->Me->Throw(id);
}

// --- Sort orders ----------------------------------------------------------

uint8_t ViewManager::AddSortOrder(std::optional<datfile::Key> key) {
  if (Order == nullptr || Order->size() >= kMaxSortOrders) {
    AssertionFailed("Unable to add new sort order.");
    return 0;
  }
  SortOrderRow row;
  row.MainKey = key;
  row.Filter = std::make_unique<std::vector<FilterRow>>();
  row.RangeList = std::make_unique<BufferedPairsClass>();
  row.RangeList->Init();
  if (key && Primary != nullptr && Primary->Me != nullptr) {
    FileManager& me = *Primary->Me;
    if (me.GetComponents(*key) > 0) row.FreeElement = me.GetField(*key, 1);
    row.Order = me.KeyToOrder(*key, 1);
  }
  Order->push_back(std::move(row));
  current_sort_ = static_cast<uint8_t>(Order->size());
  return current_sort_;
}

uint8_t ViewManager::SetSort(uint8_t number) {
  if (number == 0) number = current_sort_;
  if (Order == nullptr || number < 1 || number > Order->size()) {
    AssertionFailed("Sort order does not exist: " + std::to_string(number));
    return 0;
  }
  if (number == current_sort_) return 0;
  current_sort_ = number;
  return 1;
}

const SortOrderRow* ViewManager::CurrentSortOrder() const {
  if (Order == nullptr || current_sort_ < 1 || current_sort_ > Order->size()) {
    return nullptr;
  }
  return &(*Order)[current_sort_ - 1];
}

SortOrderRow* ViewManager::CurrentSortOrder() {
  return const_cast<SortOrderRow*>(std::as_const(*this).CurrentSortOrder());
}

SortOrderRow* ViewManager::RequireSortOrder() {
  SortOrderRow* row = CurrentSortOrder();
  if (row == nullptr) AssertionFailed(kNoSortOrders);
  return row;
}

void ViewManager::SetOrder(std::string_view order) {
  if (SortOrderRow* row = RequireSortOrder()) row->Order = std::string(order);
}

void ViewManager::AppendOrder(std::string_view order) {
  order = TrimBlanks(order);
  if (order.empty()) return;
  const SortOrderRow* row = RequireSortOrder();
  if (row == nullptr) return;
  if (order.front() == '*') {
    SetOrder(TrimBlanks(order.substr(1)));
  } else if (TrimBlanks(row->Order).empty()) {
    SetOrder(order);
  } else {
    SetOrder(row->Order + "," + std::string(order));
  }
}

void ViewManager::SetFilter(std::string_view expression) {
  SetFilter(expression, kStandardFilterId);
}

void ViewManager::SetFilter(std::string_view expression,
                            std::string_view id) {
  SortOrderRow* row = RequireSortOrder();
  if (row == nullptr) return;
  if (!row->Filter) row->Filter = std::make_unique<std::vector<FilterRow>>();
  const std::string key(TrimTrailingBlanks(id.substr(0, kFilterIdLength)));
  std::vector<FilterRow>& filters = *row->Filter;
  const auto at = std::lower_bound(
      filters.begin(), filters.end(), key,
      [](const FilterRow& filter, const std::string& wanted) {
        return filter.Id < wanted;
      });
  const bool found = at != filters.end() && at->Id == key;
  if (TrimBlanks(expression).empty()) {
    if (found) filters.erase(at);
  } else if (found) {
    at->Expression = std::string(expression);
  } else {
    filters.insert(at, FilterRow{key, std::string(expression)});
  }
}

// --- Reading --------------------------------------------------------------

uint8_t ViewManager::Open() {
  if (!CheckView()) return Level::Fatal;
  if (!View->is_open()) {
    if (CurrentSortOrder() == nullptr) {
      AssertionFailed(kNoViewOrderText);
      return Level::Fatal;
    }
    // UseView opened the files through their relation managers, each in
    // its own shared mode, and the runtime view reads an open FILE in the
    // mode it has: this mode only matters for a FILE that is closed.
    const int32_t error = View->Open(kViewOpenMode);
    if (error != 0 && error != kFileAlreadyOpen) {
      return Report(Msg::ViewOpenFailed);
    }
    Opened = 1;
    View->SetBuffering(PageSize, PagesBehind, PagesAhead, Timeout);
  }
  ApplyOrder();
  ApplyFilter();
  return Level::Benign;
}

uint8_t ViewManager::Close() { return Close(0); }

uint8_t ViewManager::Close(uint8_t force) {
  if (View != nullptr && (Opened || force)) View->Close();
  Opened = 0;
  return Level::Benign;
}

uint8_t ViewManager::Reset() { return Reset(0); }

uint8_t ViewManager::Reset(uint8_t position) {
  const uint8_t level = Open();
  if (level != Level::Benign) return level;
  if (View->Set(position) != 0) return Report(Msg::ViewOpenFailed);
  return Level::Benign;
}

uint8_t ViewManager::Next() { return Read(false); }

uint8_t ViewManager::Previous() { return Read(true); }

uint8_t ViewManager::Read(bool backwards) {
  if (!CheckView()) return Level::Fatal;
  for (;;) {
    const int32_t error = backwards ? View->Previous() : View->Next();
    if (error == kRecordNotAvailable) return Level::Notify;
    if (error != 0) {
      Report(Msg::RecordAccessFailed);
      return Level::Fatal;
    }
    switch (ValidateRecord()) {
      case Record::OK:
        return Level::Benign;
      case Record::OutOfRange:
        return Level::Notify;
      default:
        break;  // filtered out: read on
    }
  }
}

uint8_t ViewManager::ValidateRecord() { return Record::OK; }

// --- Applying order, filter and range -------------------------------------

uint8_t ViewManager::ApplyOrder() {
  if (!CheckView()) return Level::Fatal;
  const SortOrderRow* row = RequireSortOrder();
  if (row == nullptr) return Level::Fatal;
  if (View->SetOrder(row->Order) != 0) return Report(Msg::ViewOpenFailed);
  return Level::Benign;
}

uint8_t ViewManager::ApplyFilter() {
  if (!CheckView()) return Level::Fatal;
  const SortOrderRow* row = RequireSortOrder();
  if (row == nullptr) return Level::Fatal;
  if (View->SetFilter(ComposeFilter(*row)) != 0) {
    return Report(Msg::ViewOpenFailed);
  }
  return Level::Benign;
}

std::string ViewManager::ComposeFilter(const SortOrderRow& row) const {
  std::string text;
  const auto add = [&text](std::string_view term) {
    if (!text.empty()) text += " AND ";
    text += term;
  };
  const size_t pairs = PairCount(row);
  if (row.MainKey && pairs > 0 && Primary != nullptr &&
      Primary->Me != nullptr) {
    FileManager& me = *Primary->Me;
    const FieldPairQueue& list = *row.RangeList->List;
    const size_t equalities = EqualityPairs(row, pairs);
    for (size_t i = 1; i <= equalities; ++i) {
      const std::string name =
          me.GetFieldName(*row.MainKey, static_cast<uint8_t>(i));
      add(name + " = " + CasedValue(name, list[i - 1].Left));
    }
    if (row.LimitType == Range::Pair && pairs >= 2) {
      const std::string name =
          me.GetFieldName(*row.MainKey, static_cast<uint8_t>(pairs - 1));
      add(name + " >= " + CasedValue(name, list[pairs - 2].Left));
      add(name + " <= " + CasedValue(name, list[pairs - 1].Left));
    }
  }
  if (row.Filter) {
    for (const FilterRow& filter : *row.Filter) {
      add("(" + filter.Expression + ")");
    }
  }
  return text;
}

uint8_t ViewManager::ApplyRange() {
  SortOrderRow* row = CurrentSortOrder();
  const size_t pairs = row != nullptr ? PairCount(*row) : 0;
  if (pairs == 0) return 0;
  FieldPairQueue& list = *row->RangeList->List;
  bool changed = false;
  switch (row->LimitType) {
    case Range::Pair:
      if (pairs >= 2 && !ValuesEqual(list[pairs - 2].Left,
                                     list[pairs - 2].Right)) {
        TakeLeft(list[pairs - 2]);
        AssignValue(list[pairs - 1].Right, list[pairs - 1].Left);
        changed = true;
      } else {
        changed = TakeLeft(list[pairs - 1]);
      }
      break;
    case Range::File:
      changed = TakeLeft(list[pairs - 1]);
      break;
    case Range::Limit:
      changed = !row->RangeList->EqualRightBuffer(1);
      if (changed) row->RangeList->AssignRightToBuffer();
      break;
    default:
      break;
  }
  if (!changed) return 0;
  ApplyFilter();
  return 1;
}

// --- Records and buffers --------------------------------------------------

uint8_t ViewManager::PrimeRecord(uint8_t suppress_clear) {
  if (!RequireInit() || Primary == nullptr || Primary->Me == nullptr) {
    return Level::Fatal;
  }
  if (!suppress_clear) ClearFilesRecord();
  FileManager& me = *Primary->Me;
  if (const SortOrderRow* row = CurrentSortOrder(); row && row->MainKey) {
    const size_t equalities = EqualityPairs(*row, PairCount(*row));
    for (size_t i = 1; i <= equalities; ++i) {
      AssignValue(me.GetField(*row->MainKey, static_cast<uint8_t>(i)),
                  (*row->RangeList->List)[i - 1].Left);
    }
  }
  return me.PrimeRecord(1);
}

void ViewManager::ClearFilesRecord() {
  if (!CheckView()) return;
  for (datfile::DatFileInstance* file : ViewFiles()) {
    if (FileManager* manager = file ? FileManagerOf(*file) : nullptr) {
      manager->ClearRecord();
    }
  }
}

void ViewManager::SaveBuffers() {
  if (!RequireInit()) return;
  for (datfile::DatFileInstance* file : ViewFiles()) {
    if (FileManager* manager = file ? FileManagerOf(*file) : nullptr) {
      SavedBuffers->push_back(manager->SaveBuffer());
    }
  }
}

void ViewManager::RestoreBuffers() {
  if (!RequireInit()) return;
  const std::vector<datfile::DatFileInstance*> files = ViewFiles();
  // Pushed in file order: popped in the reverse.
  for (auto file = files.rbegin(); file != files.rend(); ++file) {
    FileManager* manager = *file ? FileManagerOf(**file) : nullptr;
    if (manager == nullptr || SavedBuffers->empty()) continue;
    int32_t id = SavedBuffers->back();
    SavedBuffers->pop_back();
    manager->RestoreBuffer(id, 1);
  }
}

// --- The free element -----------------------------------------------------

uint8_t ViewManager::GetFreeElementPosition() {
  const SortOrderRow* row = CurrentSortOrder();
  if (row == nullptr || !row->MainKey || Primary == nullptr ||
      Primary->Me == nullptr) {
    return 0;
  }
  const size_t pairs = PairCount(*row);
  const size_t position = row->LimitType == Range::Pair ? pairs : pairs + 1;
  if (position > Primary->Me->GetComponents(*row->MainKey)) return 0;
  return static_cast<uint8_t>(position);
}

std::string ViewManager::GetFreeElementName() {
  const uint8_t position = GetFreeElementPosition();
  if (position == 0) return {};
  return Primary->Me->GetFieldName(*CurrentSortOrder()->MainKey, position);
}

uint8_t ViewManager::GetFreeElementAscending() {
  return GetFieldAscending(GetFreeElementName());
}

uint8_t ViewManager::GetFieldAscending(std::string_view field) const {
  const SortOrderRow* row = CurrentSortOrder();
  const std::string wanted = NamedField(field);
  if (row == nullptr || wanted.empty()) return 1;
  for (std::string_view item : OrderItems(row->Order)) {
    item = TrimBlanks(item);
    const bool descending = item.starts_with('-');
    if (item.starts_with('-') || item.starts_with('+')) item.remove_prefix(1);
    if (NamedField(item) == wanted) return descending ? 0 : 1;
  }
  return 1;
}

uint8_t ViewManager::GetFieldAscending(const values::VariableRef& field) const {
  if (Primary == nullptr || Primary->Me == nullptr || !Primary->Me->Fields) {
    return 1;
  }
  for (const FieldRow& row : *Primary->Me->Fields) {
    if (row.Field.address == field.address && row.Field.type == field.type) {
      return GetFieldAscending(row.Name);
    }
  }
  return 1;
}

std::string ViewManager::CasedValue(std::string_view name,
                                    const values::VariableRef& value) {
  if (values::IsNumeric(value.type)) return NumberText(values::ReadReal(value));
  const std::string text = values::ReadString(value);
  const std::string quoted = Quoted(TrimTrailingBlanks(text));
  if (ContainsNoCase(name, "UPPER(")) return "UPPER(" + quoted + ")";
  if (ContainsNoCase(name, "LOWER(")) return "LOWER(" + quoted + ")";
  return quoted;
}

}  // namespace zuna::framework
