// Key entries inserted later, in key order.
//
// An import adds its records in the order they come, so each ADD inserts
// its entries at random places in every key: each insert walks to a leaf
// of its own, and a large tree spends the import on reaching its leaves.
// Inside its own transaction with STREAM on, a FILE that is the one writer
// of its data file may leave the entries of keys allowing duplicates (an
// insert there refuses nothing) to be inserted later, sorted: consecutive
// inserts then fall into the same leaf, and a key that is empty or grows
// at its end fills its leaves completely (AppendNode, key_file_update.cpp).
//
// Nobody sees a key without its entries meanwhile.  Other stations wait
// for the transaction before they read the files (SettleOtherTransaction);
// within the process, every operation but the deferring FILE's next ADD
// inserts them first (Dispatch), COMMIT included.  A ROLLBACK forgets them
// with the records that made them.  If inserting them fails, some records
// lack their entries: the transaction is doomed, COMMIT refuses, and only
// a rollback (or the recovery of a process that dies) ends it.
#include <algorithm>
#include <numeric>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/datfile/driver_internal.h"
#include "runtime/datfile/key_tree_internal.h"
#include "runtime/datfile/transaction.h"

namespace zuna::datfile::driver {
namespace {

// Past this many bytes waiting in one FILE they are inserted before its
// next ADD, so that an import of any size holds a bounded amount: sorted
// runs of this size keep most of the gain.
constexpr size_t kMostDeferredBytes = 64 << 20;

// The FILEs with entries waiting; guarded by the driver's critical section.
std::vector<DatFileInstance*>& Deferring() {
  static std::vector<DatFileInstance*> files;
  return files;
}

size_t DeferredBytes(const DriverState& s) {
  size_t bytes = 0;
  for (const std::string& entries : s.deferred_entries) bytes += entries.size();
  return bytes;
}

// `entries` (back to back) into `key`, in key order.  Write-back for the
// while (unless the key is in it already, alone on its file under STREAM):
// the inserts of one run change the same few nodes over and over, and the
// header with each of them; the nodes and header go out once, at the end.
Status InsertSorted(KeyState& key, const std::string& entries) {
  const size_t el = key.encoder.entry_length();
  const size_t kl = key.encoder.key_length();
  std::vector<uint32_t> order(entries.size() / el);
  std::iota(order.begin(), order.end(), 0u);
  std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
    return CompareEntries(entries.data() + size_t{a} * el,
                          entries.data() + size_t{b} * el, kl) < 0;
  });
  const bool was_write_back = key.file->write_back();
  ZUNA_RETURN_IF_ERROR(key.file->SetWriteBack(true));
  Status status;
  for (const uint32_t i : order) {
    status = key.file->Insert(std::span<const char>(entries.data() + size_t{i} * el, el));
    if (!status.ok()) break;
  }
  if (was_write_back) return status;
  const Status written = key.file->SetWriteBack(false);
  return status.ok() ? written : status;
}

Status InsertFor(DatFileInstance& file) {
  DriverState& s = file.driver_state();
  std::vector<std::string> waiting = std::move(s.deferred_entries);
  s.deferred_entries.clear();
  for (size_t k = 0; k < waiting.size() && k < s.keys.size(); ++k) {
    if (waiting[k].empty()) continue;
    KeyState& key = s.keys[k];
    if (!key.file) {
      return Status::Error(Err::kKeyFileMustBeRebuilt,
                           s.data_path + ": key " + std::to_string(k + 1) +
                               " closed with entries still to insert");
    }
    ZUNA_RETURN_IF_ERROR(InsertSorted(key, waiting[k]));
  }
  return Status::OK();
}

}  // namespace

bool DefersEntries(const DatFileInstance& file, const KeyState& key) {
  const DriverState& s = file.driver_state();
  return !s.write_through && key.maintained && key.decl.duplicates && key.file &&
         s.log->data != nullptr && transaction::SoleWriterHere(*s.log->data);
}

void DeferEntry(DatFileInstance& file, size_t key_index, std::string_view entry) {
  DriverState& s = file.driver_state();
  if (s.deferred_entries.empty()) {
    s.deferred_entries.resize(s.keys.size());
    Deferring().push_back(&file);
  }
  s.deferred_entries[key_index].append(entry);
}

bool AnyEntriesDeferred() { return !Deferring().empty(); }

bool KeepsDeferring(const DatFileInstance& file) {
  const std::vector<DatFileInstance*>& files = Deferring();
  return files.size() == 1 && files.front() == &file &&
         DeferredBytes(file.driver_state()) < kMostDeferredBytes;
}

Status InsertDeferredEntries() {
  std::vector<DatFileInstance*> files = std::move(Deferring());
  Deferring().clear();
  Status status;
  for (DatFileInstance* file : files) {
    if (status.ok()) {
      status = InsertFor(*file);
    }
    file->driver_state().deferred_entries.clear();
  }
  if (!status.ok()) transaction::Doom(status);
  return status;
}

void DropDeferredEntries() {
  for (DatFileInstance* file : Deferring()) file->driver_state().deferred_entries.clear();
  Deferring().clear();
}

}  // namespace zuna::datfile::driver
