#include "runtime/datfile/os_file.h"

namespace zuna::datfile {

std::optional<ShareMode> ShareModeFromMode(uint32_t mode) {
  switch (mode & ~uint32_t{3}) {
    case 0x00:
      return ShareMode::kCompat;
    case 0x10:
      return ShareMode::kDenyAll;
    case 0x20:
      return ShareMode::kDenyWrite;
    case 0x30:
      return ShareMode::kDenyRead;
    case 0x40:
      return ShareMode::kDenyNone;
    default:
      return std::nullopt;
  }
}

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
