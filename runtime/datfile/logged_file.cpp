#include "runtime/datfile/logged_file.h"

#include <algorithm>

#include "runtime/datfile/handle_table.h"
#include "runtime/datfile/transaction.h"

namespace zuna::datfile {

LoggedFile::LoggedFile(std::unique_ptr<File> base,
                       std::shared_ptr<LogBinding> binding, bool is_data)
    : base_(std::move(base)), binding_(std::move(binding)), is_data_(is_data) {
  if (is_data_) binding_->data = this;
}

LoggedFile::~LoggedFile() {
  transaction::Forget(*this);
  if (is_data_ && binding_->data == this) binding_->data = nullptr;
}

bool LoggedFile::Logging() const {
  return binding_->logged && transaction::Active();
}

Status LoggedFile::ReadAt(uint64_t offset, std::span<char> out,
                          size_t* bytes_read) {
  ZUNA_RETURN_IF_ERROR(base_->ReadAt(offset, out, bytes_read));
  if (transaction::Active()) transaction::Overlay(*this, offset, out, bytes_read);
  return Status::OK();
}

Status LoggedFile::WriteAt(uint64_t offset, std::span<const char> data) {
  if (data.empty()) return base_->WriteAt(offset, data);
  if (Logging()) return transaction::Gather(*this, offset, data);
  if (transaction::Active()) {
    // Not logged, yet another FILE's transaction may log this file: its
    // gathered writes go first, so this write lands on top of them, and
    // it keeps no headers of the file in memory from now on.
    if (transaction::HasGathered(*this)) {
      ZUNA_RETURN_IF_ERROR(transaction::WriteGathered());
    }
    transaction::NoteWriteOutside(*this);
  }
  return base_->WriteAt(offset, data);
}

Status LoggedFile::Sync() {
  if (transaction::Active()) ZUNA_RETURN_IF_ERROR(transaction::WriteGathered());
  return base_->Sync();
}

Status LoggedFile::Size(uint64_t* size) {
  ZUNA_RETURN_IF_ERROR(base_->Size(size));
  if (transaction::Active()) *size = std::max(*size, transaction::GatheredEnd(*this));
  return Status::OK();
}

Status LoggedFile::Truncate(uint64_t size) {
  if (transaction::Active()) ZUNA_RETURN_IF_ERROR(transaction::WriteGathered());
  if (Logging()) {
    uint64_t now = 0;
    ZUNA_RETURN_IF_ERROR(base_->Size(&now));
    // Cutting is logged as a write of the bytes that go; growing as an
    // append at the old end.
    if (size < now) {
      ZUNA_RETURN_IF_ERROR(transaction::BeforeWrite(*this, size, now - size));
    } else if (size > now) {
      ZUNA_RETURN_IF_ERROR(transaction::BeforeWrite(*this, now, size - now));
    }
  } else if (transaction::Active()) {
    transaction::NoteWriteOutside(*this);
  }
  return base_->Truncate(size);
}

Status LoggingFileSystem::Open(const std::string& path,
                               const OpenOptions& options,
                               std::unique_ptr<File>* file) {
  std::unique_ptr<File> opened;
  ZUNA_RETURN_IF_ERROR(base_.Open(path, options, &opened));
  const bool is_data = AbsoluteFileName(path) == binding_->data_path;
  *file = std::make_unique<LoggedFile>(std::move(opened), binding_, is_data);
  return Status::OK();
}

}  // namespace zuna::datfile
