#include "runtime/datfile/key_build.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <numeric>
#include <queue>
#include <string>
#include <vector>

#include "runtime/datfile/key_tree_internal.h"
#include "runtime/datfile/maintenance_points.h"

namespace zuna::datfile {
namespace {

// Bytes the merge reads or writes at a time, all readers together.
constexpr size_t kMergeBufferBytes = size_t{1} << 16;

using EntrySink = std::function<Status(const char* entry)>;

// Reads one sorted run back from a temporary file, a buffer at a time.
class RunReader {
 public:
  RunReader(File& file, uint64_t offset, uint64_t count, size_t entry_length,
            size_t buffer_entries)
      : file_(file),
        offset_(offset),
        remaining_(count),
        el_(entry_length),
        buffer_entries_(std::max<size_t>(1, buffer_entries)) {}

  // Loads the first entry; false from done() afterwards when the run is
  // empty.
  Status Start() { return Refill(); }
  bool done() const { return pos_ >= buffer_.size(); }
  const char* current() const { return buffer_.data() + pos_; }
  Status Advance() {
    pos_ += el_;
    return done() ? Refill() : Status::OK();
  }

 private:
  Status Refill() {
    const uint64_t n = std::min<uint64_t>(remaining_, buffer_entries_);
    buffer_.assign(n * el_, '\0');
    pos_ = 0;
    if (n == 0) return Status::OK();
    ZUNA_RETURN_IF_ERROR(
        ReadExact(file_, offset_, buffer_, Err::kAccessDenied));
    offset_ += n * el_;
    remaining_ -= n;
    return Status::OK();
  }

  File& file_;
  uint64_t offset_;
  uint64_t remaining_;
  const size_t el_;
  const size_t buffer_entries_;
  std::string buffer_;
  size_t pos_ = 0;
};

// Collects output in a buffer and writes it to a file in large pieces.
class BufferedWriter {
 public:
  BufferedWriter(File& file, uint64_t offset) : file_(file), offset_(offset) {}
  Status Append(const char* data, size_t size) {
    buffer_.append(data, size);
    return buffer_.size() >= kMergeBufferBytes ? Flush() : Status::OK();
  }
  Status Flush() {
    if (buffer_.empty()) return Status::OK();
    ZUNA_RETURN_IF_ERROR(file_.WriteAt(offset_, buffer_));
    offset_ += buffer_.size();
    buffer_.clear();
    return Status::OK();
  }
  uint64_t offset() const { return offset_ + buffer_.size(); }

 private:
  File& file_;
  uint64_t offset_;
  std::string buffer_;
};

// Sorts entries in key order, in memory while they fit in one run, else by
// a merge sort through two temporary files.
class EntrySorter {
 public:
  EntrySorter(FileSystem& fs, size_t entry_length, size_t key_length,
              const BuildOptions& options)
      : fs_(fs),
        el_(entry_length),
        kl_(key_length),
        run_entries_(std::max<size_t>(1, options.run_entries)),
        fan_in_(std::max<size_t>(2, options.merge_fan_in)) {}

  Status Add(const char* entry) {
    buffer_.append(entry, el_);
    if (buffer_.size() / el_ >= run_entries_) return SpillRun();
    return Status::OK();
  }

  // Feeds every entry in key order to `sink`.
  Status Drain(const EntrySink& sink) {
    if (runs_.empty()) return DrainMemory(sink);
    if (!buffer_.empty()) ZUNA_RETURN_IF_ERROR(SpillRun());
    while (runs_.size() > fan_in_) ZUNA_RETURN_IF_ERROR(MergePass());
    return Merge(*temp_[current_], runs_, sink);
  }

  // Runs written so far, and the one still in memory.
  size_t runs() const { return runs_.size() + (buffer_.empty() ? 0 : 1); }

 private:
  struct Run {
    uint64_t offset;
    uint64_t count;
  };

  std::vector<uint32_t> SortedOrder() const {
    std::vector<uint32_t> order(buffer_.size() / el_);
    std::iota(order.begin(), order.end(), 0);
    const char* base = buffer_.data();
    std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
      return CompareEntries(base + a * el_, base + b * el_, kl_) < 0;
    });
    return order;
  }

  Status DrainMemory(const EntrySink& sink) {
    for (uint32_t i : SortedOrder()) {
      ZUNA_RETURN_IF_ERROR(sink(buffer_.data() + size_t{i} * el_));
    }
    return Status::OK();
  }

  Status Temp(int which) {
    if (temp_[which] == nullptr) {
      ZUNA_RETURN_IF_ERROR(fs_.CreateTemp("TMP", &temp_[which]));
    }
    return Status::OK();
  }

  Status SpillRun() {
    ZUNA_RETURN_IF_ERROR(Temp(current_));
    const uint64_t offset =
        runs_.empty() ? 0 : runs_.back().offset + runs_.back().count * el_;
    BufferedWriter out(*temp_[current_], offset);
    for (uint32_t i : SortedOrder()) {
      ZUNA_RETURN_IF_ERROR(out.Append(buffer_.data() + size_t{i} * el_, el_));
    }
    ZUNA_RETURN_IF_ERROR(out.Flush());
    runs_.push_back({offset, buffer_.size() / el_});
    buffer_.clear();
    return Status::OK();
  }

  // Merges groups of fan_in runs from the current file into the other.
  Status MergePass() {
    const int other = 1 - current_;
    ZUNA_RETURN_IF_ERROR(Temp(other));
    std::vector<Run> merged;
    BufferedWriter out(*temp_[other], 0);
    for (size_t first = 0; first < runs_.size(); first += fan_in_) {
      const size_t last = std::min(runs_.size(), first + fan_in_);
      const std::vector<Run> group(runs_.begin() + first, runs_.begin() + last);
      const uint64_t offset = out.offset();
      uint64_t count = 0;
      ZUNA_RETURN_IF_ERROR(
          Merge(*temp_[current_], group, [&](const char* entry) {
            ++count;
            return out.Append(entry, el_);
          }));
      merged.push_back({offset, count});
    }
    ZUNA_RETURN_IF_ERROR(out.Flush());
    runs_ = std::move(merged);
    current_ = other;
    return Status::OK();
  }

  Status Merge(File& file, const std::vector<Run>& runs,
               const EntrySink& sink) {
    std::vector<RunReader> readers;
    readers.reserve(runs.size());
    const size_t buffer_entries =
        kMergeBufferBytes / std::max<size_t>(1, runs.size()) / el_;
    for (const Run& run : runs) {
      readers.emplace_back(file, run.offset, run.count, el_, buffer_entries);
      ZUNA_RETURN_IF_ERROR(readers.back().Start());
    }
    auto greater = [&](size_t a, size_t b) {
      return CompareEntries(readers[a].current(), readers[b].current(), kl_) >
             0;
    };
    std::priority_queue<size_t, std::vector<size_t>, decltype(greater)> heap(
        greater);
    for (size_t i = 0; i < readers.size(); ++i) {
      if (!readers[i].done()) heap.push(i);
    }
    while (!heap.empty()) {
      const size_t i = heap.top();
      heap.pop();
      ZUNA_RETURN_IF_ERROR(sink(readers[i].current()));
      ZUNA_RETURN_IF_ERROR(readers[i].Advance());
      if (!readers[i].done()) heap.push(i);
    }
    return Status::OK();
  }

  FileSystem& fs_;
  const size_t el_;
  const size_t kl_;
  const size_t run_entries_;
  const size_t fan_in_;
  std::string buffer_;
  std::vector<Run> runs_;
  std::unique_ptr<File> temp_[2];
  int current_ = 0;
};

}  // namespace

// Lays sorted entries down as a tree, bottom-up, writing each node once.
class KeyTreeWriter {
 public:
  KeyTreeWriter(KeyFile& key, uint32_t entries)
      : key_(key),
        el_(key.layout_.entry_length),
        epn_(key.layout_.entries_per_node),
        total_(entries) {
    // Level 0 is the leaves.
    uint64_t below =
        std::max<uint64_t>(1, (uint64_t{entries} + epn_ - 1) / epn_);
    sizes_.push_back(below);
    while (below > 1) {
      below = (below + epn_ - 1) / epn_;
      sizes_.push_back(below);
    }
    // Numbered from the top: the root is 1, the leaves come last.
    first_.assign(sizes_.size(), 0);
    uint64_t next = 1;
    for (size_t level = sizes_.size(); level-- > 0;) {
      first_[level] = next;
      next += sizes_[level];
    }
    node_count_ = next - 1;
    open_.assign(sizes_.size(), KeyNode());
    done_.assign(sizes_.size(), 0);
  }

  Status Add(const char* entry) {
    if (added_ == total_) {
      return Status::Error(Err::kKeyFileMustBeRebuilt,
                           "BUILD sorted more entries than it counted");
    }
    if (added_ == 0) first_record_ = DecodeFixed32(entry);
    last_record_ = DecodeFixed32(entry);
    ++added_;
    return Append(0, entry);
  }

  Status Finish() {
    if (added_ != total_) {
      return Status::Error(Err::kKeyFileMustBeRebuilt,
                           "BUILD sorted fewer entries than it counted");
    }
    if (total_ == 0) {
      ZUNA_RETURN_IF_ERROR(WriteNode(NodeNumber(0, 0), KeyNode()));
    }
    KeyHeader h;
    h.root = 1;
    h.entry_count = total_;
    h.node_count = static_cast<uint32_t>(node_count_);
    h.last_leaf = static_cast<uint32_t>(node_count_);
    h.first_record = first_record_;
    h.last_record = last_record_;
    h.free_node = 0;
    h.key_type = key_.layout_.key_type;
    h.entries_per_node = key_.layout_.entries_per_node;
    h.component_count = key_.layout_.component_count;
    h.entry_length = key_.layout_.entry_length;
    h.height = static_cast<uint16_t>(sizes_.size());
    char block[kKeyBlockSize] = {};
    EncodeKeyHeader(h, block);
    File& file = *key_.file_;
    ZUNA_RETURN_IF_ERROR(file.Truncate((node_count_ + 1) * kKeyBlockSize));
    ZUNA_RETURN_IF_ERROR(file.WriteAt(0, block));
    return key_.ReadHeaderAndRoot();
  }

  // A failure while the tree is half written: the KeyFile refuses work
  // until it is initialised or reopened.
  void MarkFailed(const Status& status) { key_.error_ = status; }

 private:
  uint64_t NodeNumber(size_t level, uint64_t index) const {
    return first_[level] + index;
  }

  // Capacity of node `index` of `level`: full, except the last of a level.
  size_t Expected(size_t level, uint64_t index) const {
    const uint64_t items = level == 0 ? total_ : sizes_[level - 1];
    return static_cast<size_t>(std::min<uint64_t>(epn_, items - index * epn_));
  }

  Status Append(size_t level, const char* entry) {
    KeyNode& node = open_[level];
    node.InsertEntry(node.count(), entry, el_);
    if (node.count() < Expected(level, done_[level])) return Status::OK();
    return Close(level);
  }

  // Writes the full (or last) node of `level` and hands its separator up.
  Status Close(size_t level) {
    KeyNode& node = open_[level];
    const uint64_t index = done_[level];
    const uint64_t number = NodeNumber(level, index);
    const bool top = level + 1 == sizes_.size();
    if (!top) {
      node.set_parent(
          static_cast<uint32_t>(NodeNumber(level + 1, index / epn_)));
    }
    if (level == 0) {
      if (index > 0) node.set_left(static_cast<uint32_t>(number - 1));
      if (index + 1 < sizes_[0]) {
        node.set_right(static_cast<uint32_t>(number + 1));
      }
    }
    std::string separator(el_, '\0');
    EncodeFixed32(separator.data(), static_cast<uint32_t>(number));
    std::memcpy(separator.data() + kEntryNumberSize,
                node.value(node.count() - 1, el_), el_ - kEntryNumberSize);
    ZUNA_RETURN_IF_ERROR(WriteNode(number, node));
    node.Clear();
    ++done_[level];
    return top ? Status::OK() : Append(level + 1, separator.data());
  }

  Status WriteNode(uint64_t number, const KeyNode& node) {
    ZUNA_RETURN_IF_ERROR(key_.file_->WriteAt(number * kKeyBlockSize, node.block()));
    ReachedMaintenancePoint(MaintenancePoint::kKeyNodeWritten);
    return Status::OK();
  }

  KeyFile& key_;
  const size_t el_;
  const size_t epn_;
  const uint32_t total_;
  std::vector<uint64_t> sizes_;  // nodes per level, leaves first
  std::vector<uint64_t> first_;  // first node number per level
  uint64_t node_count_ = 0;
  std::vector<KeyNode> open_;   // the node being filled, per level
  std::vector<uint64_t> done_;  // nodes written, per level
  uint32_t added_ = 0;
  uint32_t first_record_ = 0;
  uint32_t last_record_ = 0;
};

namespace {

Status SortRecords(RecordSource& source, const KeyEncoder& encoder,
                   EntrySorter* sorter, BuildStats* stats) {
  const bool optional = encoder.layout().optional();
  for (;;) {
    uint32_t record_no = 0;
    std::span<const char> record;
    bool done = false;
    ZUNA_RETURN_IF_ERROR(source.Next(&record_no, &record, &done));
    if (done) return Status::OK();
    if (optional && encoder.IsBlank(record)) {
      ++stats->left_out;
      continue;
    }
    if (stats->entries == UINT32_MAX) {
      return Status::Error(Err::kKeyFileMustBeRebuilt, "too many entries");
    }
    ++stats->entries;
    const std::string entry = encoder.MakeEntry(record_no, record);
    ZUNA_RETURN_IF_ERROR(sorter->Add(entry.data()));
  }
}

}  // namespace

Status BuildKey(FileSystem& fs, KeyFile& key_file, const KeyEncoder& encoder,
                RecordSource& source, DuplicateReport* report,
                const BuildOptions& options, BuildStats* stats) {
  BuildStats own_stats;
  if (stats == nullptr) stats = &own_stats;
  *stats = BuildStats();
  if (!(encoder.layout() == key_file.layout())) {
    return Status::Error(Err::kKeyFileMustBeRebuilt,
                         key_file.path() + ": encoder of another key");
  }
  ZUNA_RETURN_IF_ERROR(key_file.Initialise());
  const KeyLayout& layout = key_file.layout();
  EntrySorter sorter(fs, layout.entry_length, layout.key_length, options);
  ZUNA_RETURN_IF_ERROR(SortRecords(source, encoder, &sorter, stats));
  stats->runs = sorter.runs();
  ReachedMaintenancePoint(MaintenancePoint::kKeyEntriesSorted);

  KeyTreeWriter writer(key_file, stats->entries);
  const std::string& report_name =
      options.report_name.empty() ? key_file.path() : options.report_name;
  std::string previous;
  Status status = sorter.Drain([&](const char* entry) -> Status {
    if (!layout.duplicates() && !previous.empty() &&
        std::memcmp(previous.data() + kEntryNumberSize,
                    entry + kEntryNumberSize, layout.key_length) == 0) {
      ++stats->duplicates;
      if (report != nullptr) {
        ZUNA_RETURN_IF_ERROR(report->Add(report_name,
                                         DecodeFixed32(previous.data()),
                                         DecodeFixed32(entry)));
      }
    }
    previous.assign(entry, layout.entry_length);
    return writer.Add(entry);
  });
  if (status.ok()) status = writer.Finish();
  if (!status.ok()) {
    writer.MarkFailed(status);
    return status;
  }
  if (stats->duplicates > 0) {
    return Status::Error(Err::kDuplicateKey,
                         key_file.path() + ": duplicate key values");
  }
  return Status::OK();
}

}  // namespace zuna::datfile
