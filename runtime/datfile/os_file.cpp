#include "runtime/datfile/os_file.h"

namespace zuna::datfile {

Status ReadExact(File& file, uint64_t offset, std::span<char> out,
                 int32_t short_read_code) {
  size_t bytes_read = 0;
  ZUNA_RETURN_IF_ERROR(file.ReadAt(offset, out, &bytes_read));
  if (bytes_read != out.size()) {
    return Status::Error(short_read_code,
                         file.path() + ": short read at offset " +
                             std::to_string(offset) + " (" +
                             std::to_string(bytes_read) + " of " +
                             std::to_string(out.size()) + " bytes)");
  }
  return Status::OK();
}

}  // namespace zuna::datfile
