#include "runtime/datfile/data_file.h"

#include <algorithm>
#include <utility>

#include "runtime/datfile/coding.h"
#include "runtime/datfile/descriptors.h"
#include "runtime/datfile/file_names.h"
#include "runtime/datfile/memo_file.h"
#include "runtime/values/clock.h"

namespace zuna::datfile {
namespace {

std::optional<ScrambleKey> OwnerKeyOf(const FileDecl& file) {
  if (file.owner.empty()) return std::nullopt;
  return OwnerKey(file.owner);
}

std::optional<ScrambleKey> EncryptKeyOf(const FileDecl& file) {
  if (!file.encrypt) return std::nullopt;
  return OwnerKey(file.owner);
}

template <size_t N>
void FillText(std::array<char, N>* field, std::string_view text, char pad) {
  field->fill(pad);
  std::copy_n(text.begin(), std::min(text.size(), N), field->begin());
}

void StampHeader(DatHeader* header) {
  header->change_time = static_cast<uint32_t>(values::CLOCK());
  header->change_date = static_cast<uint32_t>(values::TODAY());
}

// The header of a new file, creation steps 1-3 and 7-8 (the descriptor
// counts come from the layout).
DatHeader NewHeader(const FileDecl& file, const DescriptorLayout& layout) {
  DatHeader h;
  h.attributes = dat::kAttrAlways;
  if (!file.owner.empty()) h.attributes |= dat::kAttrOwner;
  if (file.reclaim) h.attributes |= dat::kAttrReclaim;
  if (file.encrypt) h.attributes |= dat::kAttrEncrypt;
  h.key_count = static_cast<uint8_t>(layout.key_descriptors.size());
  h.field_count = static_cast<uint16_t>(layout.field_descriptors.size());
  h.picture_count = static_cast<uint16_t>(layout.picture_entries.size());
  h.array_count = static_cast<uint16_t>(layout.array_descriptors.size());
  h.slot_length = static_cast<uint16_t>(file.record_length + dat::kSlotPrefixSize);
  h.data_offset = layout.data_offset;
  FillText(&h.record_name, "", ' ');
  FillText(&h.memo_name, "", ' ');
  if (file.memo) {
    h.attributes |= dat::kAttrMemo;
    h.memo_size = file.memo->size;
    FillText(&h.memo_name, LabelName(file.memo->label), ' ');
  }
  FillText(&h.file_prefix, layout.file_prefix, '\0');
  FillText(&h.record_prefix, layout.record_prefix, '\0');
  StampHeader(&h);
  return h;
}

// Header and descriptors as one image, in file order.
std::string NewFileImage(const FileDecl& file, const DescriptorLayout& layout) {
  DatHeader header = NewHeader(file, layout);
  const std::optional<ScrambleKey> owner_key = OwnerKeyOf(file);
  const HeaderBytes sealed = SealDatHeader(&header, owner_key);
  std::string image(sealed.begin(), sealed.end());
  auto append = [&](std::string descriptor) {
    if (owner_key) Scramble(*owner_key, descriptor);
    image += descriptor;
  };
  for (const std::string& d : layout.field_descriptors) append(d);
  for (const std::string& d : layout.key_descriptors) append(d);
  for (const std::string& d : layout.picture_entries) append(d);
  for (const std::string& d : layout.array_descriptors) append(d);
  return image;
}

std::string Number(uint64_t n) { return std::to_string(n); }

// The structure checks of OPEN, in their order.
std::vector<StructureMismatch> StructureChecks(const DatHeader& h,
                                               const FileDecl& file) {
  std::vector<StructureMismatch> found;
  const uint32_t file_length = h.slot_length - dat::kSlotPrefixSize;
  if (file_length != file.record_length) {
    found.push_back({"SIZE", "Record Length Mismatch.  Data File Length " +
                                 Number(file_length) +
                                 " Record Definition Length " +
                                 Number(file.record_length)});
  }
  if (((h.attributes & dat::kAttrMemo) != 0) != file.memo.has_value()) {
    found.push_back({"MEMOS", "Memo Count Mismatch "});
  }
  const uint16_t memo_size = file.memo ? file.memo->size : 0;
  if (h.memo_size != memo_size) {
    found.push_back({"SIZE", "Memo Length Mismatch.  Data File Length " +
                                 Number(h.memo_size) +
                                 " Record Definition Length " + Number(memo_size)});
  }
  if (h.key_count != file.keys.size()) {
    found.push_back({"KEYS",
                     "Different number of key files defined.  Data file has" +
                         Number(h.key_count) +
                         " keys defined.  Record Definition has " +
                         Number(file.keys.size())});
  }
  const uint16_t fields = StoredFieldCount(file);
  if (h.field_count != fields) {
    found.push_back({"FIELDS",
                     "Different number of fields defined.  Data file has" +
                         Number(h.field_count) +
                         " fields defined.  Record Definition has " + Number(fields)});
  }
  const uint16_t arrays = ArrayDescriptorCount(file);
  if (h.array_count != arrays) {
    found.push_back({"DIM", "Different number of arrays defined.  Data file has" +
                                Number(h.array_count) +
                                " arrays defined.  Record Definition has " +
                                Number(arrays)});
  }
  return found;
}

// The key descriptor fields whose disagreement makes OPEN rewrite it.
bool KeyDescriptorAgrees(const std::string& on_disk, const std::string& declared) {
  const uint8_t kCheckedBits =
      dat::kKeyDuplicates | dat::kKeyNoCase | dat::kKeyNotOptional;
  return on_disk[dat::kKeyComponentCountOffset] ==
             declared[dat::kKeyComponentCountOffset] &&
         on_disk[dat::kKeyLengthOffset] == declared[dat::kKeyLengthOffset] &&
         (on_disk[dat::kKeyTypeOffset] & kCheckedBits) ==
             (declared[dat::kKeyTypeOffset] & kCheckedBits);
}

void EncodePrefix(const SlotPrefix& prefix, char* out) {
  out[dat::kSlotStatusOffset] = static_cast<char>(prefix.status);
  EncodeFixed32(out + dat::kSlotLinkOffset, prefix.link);
}

SlotPrefix DecodePrefix(const char* in) {
  return {static_cast<uint8_t>(in[dat::kSlotStatusOffset]),
          DecodeFixed32(in + dat::kSlotLinkOffset)};
}

}  // namespace

// --- creation -----------------------------------------------------------------

Status CreateDataFile(FileSystem& fs, const std::string& data_path,
                      const FileDecl& file, const OpenOptions& options,
                      bool exclusive) {
  return CreateDataFile(fs, data_path, CompanionFileName(data_path, kMemoExtension),
                        file, options, exclusive);
}

Status CreateDataFile(FileSystem& fs, const std::string& data_path,
                      const std::string& memo_path, const FileDecl& file,
                      const OpenOptions& options, bool exclusive) {
  DescriptorLayout layout;
  ZUNA_RETURN_IF_ERROR(BuildDescriptorLayout(file, &layout));
  const std::string image = NewFileImage(file, layout);

  OpenOptions create = options;
  create.write = true;
  create.create = true;
  create.exclusive = exclusive;
  create.truncate = !exclusive;
  std::unique_ptr<File> data;
  ZUNA_RETURN_IF_ERROR(fs.Open(data_path, create, &data));

  // One write for header and descriptors keeps the window in which another
  // station can see a half-made file as short as possible.
  Status status = data->WriteAt(0, image);
  if (status.ok() && file.memo) {
    status = CreateMemoFile(fs, memo_path, options);
  }
  if (status.ok()) status = data->Sync();
  data.reset();
  if (!status.ok()) {
    // Nobody can use a file without its descriptors; leave no trap behind.
    (void)fs.Remove(data_path);
  }
  return status;
}

// --- open -----------------------------------------------------------------------

DataFile::DataFile(std::unique_ptr<File> file, const FileDecl& decl, bool writable)
    : file_(std::move(file)),
      decl_(decl),
      writable_(writable),
      owner_key_(OwnerKeyOf(decl)),
      encrypt_key_(EncryptKeyOf(decl)),
      oem_(decl.oem ? OemTextMap(decl) : OemTextMap()) {}

DataFile::~DataFile() = default;

Status DataFile::Open(FileSystem& fs, const std::string& data_path,
                      const FileDecl& file, const OpenOptions& options,
                      std::vector<StructureMismatch>* mismatches,
                      std::unique_ptr<DataFile>* out) {
  // A declaration the format cannot hold is refused before the file is
  // touched; the descriptor comparisons below rely on it being sound.
  DescriptorLayout layout;
  ZUNA_RETURN_IF_ERROR(BuildDescriptorLayout(file, &layout));
  OpenOptions open = options;
  open.create = false;
  open.exclusive = false;
  open.truncate = false;
  std::unique_ptr<File> handle;
  ZUNA_RETURN_IF_ERROR(fs.Open(data_path, open, &handle));
  std::unique_ptr<DataFile> data(new DataFile(std::move(handle), file, options.write));

  ZUNA_RETURN_IF_ERROR(data->ReadHeaderFromDisk(&data->header_));
  // Opened beside other writers, the header is read here without the lock
  // byte and without waiting for another station's transaction, which may
  // be writing its header and slots this very moment: its counts are for
  // the caller to check once it holds the file (CheckSlotsFit).  What this
  // open checks of it besides never changes while the file is open.
  if (options.share != ShareMode::kDenyNone) ZUNA_RETURN_IF_ERROR(data->CheckSlotsFit());
  std::vector<StructureMismatch> found = StructureChecks(data->header_, file);
  if (!found.empty()) {
    if (mismatches) mismatches->insert(mismatches->end(), found.begin(), found.end());
    return Status::Error(Err::kInvalidRecordDeclaration,
                         data_path + ": " + found.front().trace);
  }
  ZUNA_RETURN_IF_ERROR(data->CheckKeyDescriptors());
  *out = std::move(data);
  return Status::OK();
}

Status DataFile::CheckSlotsFit() {
  uint64_t size = 0;
  Status status = file_->Size(&size);
  if (!status.ok()) return Corrupt("size unknown: " + status.detail());
  if (header_.data_offset > size) {
    return Corrupt("data offset beyond the end of the file");
  }
  // Slots the file cannot hold would read as 36 one by one, and an ADD would
  // append past a gap of zero bytes that then read as live records.
  if (SlotOffset(header_.record_slots + uint64_t{1}) > size) {
    return Corrupt(Number(header_.record_slots) + " record slots do not fit in " +
                   Number(size) + " bytes");
  }
  return Status::OK();
}

const std::string& DataFile::path() const { return file_->path(); }

Status DataFile::Corrupt(const std::string& why) const {
  return Status::Error(Err::kInvalidDataFile, file_->path() + ": " + why);
}

Status DataFile::CheckKeyDescriptors() {
  for (size_t k = 0; k < decl_.keys.size(); ++k) {
    std::string on_disk;
    ZUNA_RETURN_IF_ERROR(ReadKeyDescriptor(k, &on_disk));
    const std::string declared = EncodeKeyDescriptor(decl_, k);
    if (!writable_ || KeyDescriptorAgrees(on_disk, declared)) continue;
    if (on_disk.size() != declared.size()) continue;  // see Open's contract
    ZUNA_RETURN_IF_ERROR(RewriteKeyDescriptor(k));
  }
  return Status::OK();
}

// --- header ---------------------------------------------------------------------

Status DataFile::ReadHeaderFromDisk(DatHeader* header) {
  HeaderBytes bytes;
  Status status = ReadExact(*file_, 0, bytes, Err::kInvalidDataFile);
  if (!status.ok()) return Corrupt("header unreadable: " + status.detail());
  status = UnsealDatHeader(bytes, owner_key_, header);
  if (!status.ok()) return Corrupt(status.detail());
  return Status::OK();
}

Status DataFile::ReadHeader() {
  DropReadAhead();
  DatHeader fresh;
  ZUNA_RETURN_IF_ERROR(ReadHeaderFromDisk(&fresh));
  header_ = fresh;
  return Status::OK();
}

Status DataFile::WriteHeader(bool stamp) {
  if (stamp) StampHeader(&header_);
  const HeaderBytes bytes = SealDatHeader(&header_, owner_key_);
  return WriteBytes(0, bytes);
}

// --- descriptors ----------------------------------------------------------------

Status DataFile::KeyDescriptorOffset(size_t key_index, uint64_t* offset,
                                     size_t* size) {
  // Walk the key descriptors on disk: each one's size comes from its own
  // component count, so every step is checked against the descriptor area.
  uint64_t at = dat::kHeaderSize + uint64_t{dat::kFieldDescriptorSize} * header_.field_count;
  for (size_t k = 0; k < header_.key_count; ++k) {
    char first[2];
    if (at + dat::kKeyDescriptorFixedSize > header_.data_offset) {
      return Corrupt("key descriptors overrun the data offset");
    }
    Status status = ReadExact(*file_, at, first, Err::kInvalidDataFile);
    if (!status.ok()) return Corrupt(status.detail());
    if (owner_key_) Scramble(*owner_key_, first);
    const size_t length = dat::kKeyDescriptorFixedSize +
                          dat::kKeyComponentSize * static_cast<uint8_t>(first[0]);
    if (at + length > header_.data_offset) {
      return Corrupt("key descriptor overruns the data offset");
    }
    if (k == key_index) {
      *offset = at;
      *size = length;
      return Status::OK();
    }
    at += length;
  }
  return Corrupt("no key descriptor " + Number(key_index + 1));
}

Status DataFile::ReadKeyDescriptor(size_t key_index, std::string* plain) {
  uint64_t offset = 0;
  size_t size = 0;
  ZUNA_RETURN_IF_ERROR(KeyDescriptorOffset(key_index, &offset, &size));
  std::string bytes(size, '\0');
  Status status = ReadExact(*file_, offset, bytes, Err::kInvalidDataFile);
  if (!status.ok()) return Corrupt(status.detail());
  if (owner_key_) Scramble(*owner_key_, bytes);
  *plain = std::move(bytes);
  return Status::OK();
}

Status DataFile::RewriteKeyDescriptor(size_t key_index) {
  uint64_t offset = 0;
  size_t size = 0;
  ZUNA_RETURN_IF_ERROR(KeyDescriptorOffset(key_index, &offset, &size));
  std::string declared = EncodeKeyDescriptor(decl_, key_index);
  if (declared.size() != size) {
    return Corrupt("key descriptor " + Number(key_index + 1) +
                   " has another component count than declared");
  }
  if (owner_key_) Scramble(*owner_key_, declared);
  return WriteBytes(offset, declared);
}

// --- slots ----------------------------------------------------------------------

uint64_t DataFile::SlotOffset(uint64_t record_no) const {
  return header_.data_offset + (record_no - 1) * header_.slot_length;
}

Status DataFile::CheckRecordNumber(uint32_t record_no) const {
  if (record_no < 1 || record_no > header_.record_slots) {
    return Status::Error(Err::kRecordNotFound,
                         file_->path() + ": no record " + Number(record_no));
  }
  return Status::OK();
}

Status DataFile::ReadPrefix(uint32_t record_no, SlotPrefix* prefix) {
  ZUNA_RETURN_IF_ERROR(CheckRecordNumber(record_no));
  char bytes[dat::kSlotPrefixSize];
  ZUNA_RETURN_IF_ERROR(ReadSlotBytes(record_no, bytes));
  *prefix = DecodePrefix(bytes);
  return Status::OK();
}

Status DataFile::WritePrefix(uint32_t record_no, const SlotPrefix& prefix) {
  ZUNA_RETURN_IF_ERROR(CheckRecordNumber(record_no));
  char bytes[dat::kSlotPrefixSize];
  EncodePrefix(prefix, bytes);
  return WriteBytes(SlotOffset(record_no), bytes);
}

Status DataFile::WriteStatus(uint32_t record_no, uint8_t status) {
  ZUNA_RETURN_IF_ERROR(CheckRecordNumber(record_no));
  const char byte = static_cast<char>(status);
  return WriteBytes(SlotOffset(record_no) + dat::kSlotStatusOffset,
                        std::span<const char>(&byte, 1));
}

Status DataFile::ReadSlot(uint32_t record_no, SlotPrefix* prefix,
                          std::span<char> raw_image) {
  ZUNA_RETURN_IF_ERROR(CheckRecordNumber(record_no));
  // Kept from call to call: a scan reads a slot per record.
  std::vector<char>& slot = slot_scratch_;
  slot.resize(header_.slot_length);
  ZUNA_RETURN_IF_ERROR(ReadSlotBytes(record_no, slot));
  *prefix = DecodePrefix(slot.data());
  const size_t length = std::min(raw_image.size(), slot.size() - dat::kSlotPrefixSize);
  std::copy_n(slot.begin() + dat::kSlotPrefixSize, length, raw_image.begin());
  return Status::OK();
}

void DataFile::DecodeImage(std::span<char> image) const {
  if (encrypt_key_) Scramble(*encrypt_key_, image);
  oem_.ToProgram(image);
}

void DataFile::EncodeImage(std::span<char> image) const {
  oem_.ToOem(image);
  if (encrypt_key_) Scramble(*encrypt_key_, image);
}

Status DataFile::ReadRecord(uint32_t record_no, SlotPrefix* prefix,
                            std::span<char> record) {
  ZUNA_RETURN_IF_ERROR(ReadSlot(record_no, prefix, record));
  DecodeImage(record);
  return Status::OK();
}

Status DataFile::WriteRecord(uint32_t record_no, const SlotPrefix& prefix,
                             std::span<const char> record) {
  return WriteSlotImage(record_no, prefix, record, /*encode=*/true);
}

Status DataFile::WriteSlot(uint32_t record_no, const SlotPrefix& prefix,
                           std::span<const char> raw_image) {
  return WriteSlotImage(record_no, prefix, raw_image, /*encode=*/false);
}

Status DataFile::WriteSlotImage(uint32_t record_no, const SlotPrefix& prefix,
                                std::span<const char> image, bool encode) {
  ZUNA_RETURN_IF_ERROR(CheckRecordNumber(record_no));
  std::string slot(header_.slot_length, ' ');
  EncodePrefix(prefix, slot.data());
  const size_t length = std::min(image.size(), slot.size() - dat::kSlotPrefixSize);
  std::copy_n(image.begin(), length, slot.begin() + dat::kSlotPrefixSize);
  if (encode) EncodeImage(std::span<char>(slot).subspan(dat::kSlotPrefixSize));
  return WriteBytes(SlotOffset(record_no), slot);
}

// --- counts ---------------------------------------------------------------------

SlotCounts DataFile::Counts() const {
  return {header_.record_slots, header_.deleted_count, header_.first_free,
          header_.logical_eof, header_.logical_bof};
}

void DataFile::RestoreCounts(const SlotCounts& counts) {
  header_.record_slots = counts.record_slots;
  header_.deleted_count = counts.deleted_count;
  header_.first_free = counts.first_free;
  header_.logical_eof = counts.logical_eof;
  header_.logical_bof = counts.logical_bof;
}

void DataFile::WidenBounds(uint32_t record_no) {
  if (header_.logical_eof == 0 || record_no > header_.logical_eof) {
    header_.logical_eof = record_no;
  }
  if (header_.logical_bof == 0 || record_no < header_.logical_bof) {
    header_.logical_bof = record_no;
  }
}

// --- ADD --------------------------------------------------------------------------

Status DataFile::PlanAdd(AddPlan* plan) {
  AddPlan p;
  p.before = Counts();
  if (decl_.reclaim && header_.first_free != 0) {
    SlotPrefix head;
    ZUNA_RETURN_IF_ERROR(ReadPrefix(header_.first_free, &head));
    if (head.deleted()) {
      if (head.link > header_.record_slots || head.link == header_.first_free) {
        return Corrupt("free chain link " + Number(head.link) + " in slot " +
                       Number(header_.first_free));
      }
      p.record_no = header_.first_free;
      p.reuses_deleted = true;
      p.reused_prefix = head;
    }
  }
  if (!p.reuses_deleted) {
    if (header_.record_slots == UINT32_MAX) {
      return Status::Error(Err::kAccessDenied, file_->path() + ": record slots exhausted");
    }
    p.record_no = header_.record_slots + 1;
  }
  *plan = p;
  return Status::OK();
}

Status DataFile::CommitAdd(const AddPlan& plan, uint32_t memo_link,
                           std::span<const char> record) {
  return CommitAddImage(plan, memo_link, record, /*encode=*/true);
}

Status DataFile::CommitAddRaw(const AddPlan& plan, uint32_t memo_link,
                              std::span<const char> raw_image) {
  return CommitAddImage(plan, memo_link, raw_image, /*encode=*/false);
}

Status DataFile::CommitAddImage(const AddPlan& plan, uint32_t memo_link,
                                std::span<const char> image, bool encode) {
  const SlotCounts before = Counts();
  if (plan.reuses_deleted) {
    header_.first_free = plan.reused_prefix.link;
    header_.deleted_count -= 1;
  } else {
    header_.record_slots = plan.record_no;
  }
  WidenBounds(plan.record_no);
  Status status =
      WriteSlotImage(plan.record_no, {dat::kStatusNew, memo_link}, image, encode);
  if (!status.ok()) RestoreCounts(before);
  return status;
}

Status DataFile::UndoAdd(const AddPlan& plan) {
  RestoreCounts(plan.before);
  if (!plan.reuses_deleted) return Status::OK();
  // The slot must look deleted again, or the free chain would run through a
  // live record.  Slots beyond record slots need nothing: nobody reads them.
  char bytes[dat::kSlotPrefixSize];
  EncodePrefix(plan.reused_prefix, bytes);
  return WriteBytes(SlotOffset(plan.record_no), bytes);
}

// --- DELETE -----------------------------------------------------------------------

Status DataFile::DeleteRecord(uint32_t record_no, DeleteDone* done) {
  SlotPrefix prefix;
  ZUNA_RETURN_IF_ERROR(ReadPrefix(record_no, &prefix));
  if (prefix.deleted()) {
    return Status::Error(Err::kRecordNotAvailable,
                         file_->path() + ": record " + Number(record_no) +
                             " is already deleted");
  }
  const SlotCounts before = Counts();
  const SlotPrefix deleted{static_cast<uint8_t>(prefix.status | dat::kStatusDeleted),
                           header_.first_free};
  ZUNA_RETURN_IF_ERROR(WritePrefix(record_no, deleted));
  header_.first_free = record_no;
  header_.deleted_count += 1;
  TrimBounds(record_no);
  *done = {record_no, prefix, before};
  return Status::OK();
}

void DataFile::TrimBounds(uint32_t record_no) {
  if (record_no == header_.logical_eof) {
    uint32_t eof = record_no - 1;
    for (; eof > 0; --eof) {
      SlotPrefix p;
      if (!ReadPrefix(eof, &p).ok() || !p.deleted()) break;
    }
    header_.logical_eof = eof;
  }
  if (record_no == header_.logical_bof) {
    uint32_t bof = record_no;
    while (bof < header_.record_slots) {
      SlotPrefix p;
      if (!ReadPrefix(bof, &p).ok() || !p.deleted()) break;
      ++bof;
    }
    header_.logical_bof = bof;
  }
}

Status DataFile::UndoDelete(const DeleteDone& done) {
  ZUNA_RETURN_IF_ERROR(WritePrefix(done.record_no, done.old_prefix));
  RestoreCounts(done.before);
  return Status::OK();
}

Status DataFile::Undelete(uint32_t record_no) {
  SlotPrefix prefix;
  ZUNA_RETURN_IF_ERROR(ReadPrefix(record_no, &prefix));
  if (!prefix.deleted()) return Status::OK();
  if (prefix.link > header_.record_slots || prefix.link == record_no) {
    return Corrupt("free chain link " + Number(prefix.link) + " in slot " +
                   Number(record_no));
  }
  const SlotCounts before = Counts();
  if (header_.first_free == record_no) {
    header_.first_free = prefix.link;
  } else {
    // Find the slot that links to this one.  A sound chain visits each slot
    // once, so more steps than slots means a cycle.
    uint32_t at = header_.first_free;
    uint32_t steps = 0;
    SlotPrefix at_prefix;
    for (;;) {
      if (at == 0) return Corrupt("record " + Number(record_no) + " not on the free chain");
      if (at > header_.record_slots || ++steps > header_.record_slots) {
        return Corrupt("free chain broken at " + Number(at));
      }
      ZUNA_RETURN_IF_ERROR(ReadPrefix(at, &at_prefix));
      if (!at_prefix.deleted()) return Corrupt("live record " + Number(at) + " on the free chain");
      if (at_prefix.link == record_no) break;
      at = at_prefix.link;
    }
    at_prefix.link = prefix.link;
    ZUNA_RETURN_IF_ERROR(WritePrefix(at, at_prefix));
  }
  const SlotPrefix live{static_cast<uint8_t>(prefix.status & ~dat::kStatusDeleted), 0};
  Status status = WritePrefix(record_no, live);
  if (!status.ok()) {
    RestoreCounts(before);
    return status;
  }
  header_.deleted_count -= 1;
  WidenBounds(record_no);
  return Status::OK();
}

// --- reading ahead ----------------------------------------------------------------

void DataFile::DropReadAhead() { ahead_count_ = 0; }

Status DataFile::WriteBytes(uint64_t offset, std::span<const char> bytes) {
  // Whatever was read ahead may lie under the write.
  DropReadAhead();
  return file_->WriteAt(offset, bytes);
}

Status DataFile::ReadSlotBytes(uint32_t record_no, std::span<char> out) {
  const uint32_t slot_length = header_.slot_length;
  if (out.size() > slot_length) return Corrupt("slot read beyond its length");
  const bool forward_run = record_no == last_read_ + 1;
  const bool backward_run = last_read_ != 0 && record_no + 1 == last_read_;
  last_read_ = record_no;
  if (ahead_count_ == 0 || record_no < ahead_first_ ||
      record_no - ahead_first_ >= ahead_count_) {
    if (!forward_run && !backward_run) {
      run_slots_ = 0;
      Status status = ReadExact(*file_, SlotOffset(record_no), out, Err::kInvalidDataFile);
      if (!status.ok()) return Corrupt(status.detail());
      return Status::OK();
    }
    ZUNA_RETURN_IF_ERROR(FillReadAhead(record_no, forward_run));
  }
  const size_t at = size_t{record_no - ahead_first_} * slot_length;
  std::copy_n(ahead_.begin() + static_cast<ptrdiff_t>(at), out.size(), out.begin());
  return Status::OK();
}

// A run of slots in one read: from `record_no` on (forwards) or up to it
// (backwards), within the record slots.  The run doubles with every fill
// while the reader keeps going the same way, so a reader that stops after
// a few records pays for little more than those.
Status DataFile::FillReadAhead(uint32_t record_no, bool forwards) {
  constexpr uint32_t kFirstRun = 16;
  constexpr size_t kMostBytes = 64 * 1024;
  const uint32_t slot_length = header_.slot_length;
  const uint32_t most = static_cast<uint32_t>(
      std::max<size_t>(1, kMostBytes / std::max<uint32_t>(slot_length, 1)));
  run_slots_ = std::min(most, run_slots_ == 0 ? kFirstRun : run_slots_ * 2);
  uint32_t first = record_no;
  uint32_t count = 0;
  if (forwards) {
    count = std::min<uint32_t>(run_slots_, header_.record_slots - record_no + 1);
  } else {
    first = record_no >= run_slots_ ? record_no - run_slots_ + 1 : 1;
    count = record_no - first + 1;
  }
  ahead_count_ = 0;
  ahead_.resize(size_t{count} * slot_length);
  Status status = ReadExact(*file_, SlotOffset(first), ahead_, Err::kInvalidDataFile);
  if (!status.ok()) return Corrupt(status.detail());
  ahead_first_ = first;
  ahead_count_ = count;
  return Status::OK();
}

// --- whole file -------------------------------------------------------------------

Status DataFile::Empty() {
  RestoreCounts({});
  ZUNA_RETURN_IF_ERROR(WriteHeader(true));
  DropReadAhead();
  return file_->Truncate(header_.data_offset);
}

Status DataFile::Sync() { return file_->Sync(); }

}  // namespace zuna::datfile
