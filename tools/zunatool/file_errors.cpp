#include "tools/zunatool/file_errors.h"

#include <sys/statvfs.h>

#include <cstdint>
#include <iostream>

#include "runtime/values/code_page.h"
#include "runtime/values/error_state.h"
#include "runtime/values/runtime_messages.h"
#include "tools/zunatool/command.h"

namespace zuna::tool {
namespace {

// Less than a key node and a few log records: nothing useful fits.
constexpr uint64_t kNearlyFullBytes = 16 * 1024;

// What a number means for someone at the command line; empty where the
// runtime's text says all there is to say.
std::string Meaning(int32_t code) {
  switch (code) {
    case datfile::Err::kFileNotFound:
      return "файл не найден";
    case datfile::Err::kPathNotFound:
      return "нет такого каталога";
    case datfile::Err::kAccessDenied:
      return "система отказала в доступе";
    case datfile::Err::kFileLocked:
      return "файл заблокирован другой программой";
    case datfile::Err::kDiskFull:
      return "на диске не осталось места";
    case datfile::Err::kInvalidDataFile:
      return "файл повреждён или это не файл реестра";
    case datfile::Err::kKeyFileMustBeRebuilt:
      return "файлы ключей надо перестроить (zunatool build)";
    case datfile::Err::kLogoutActive:
      // The only 56 a shared open meets: the wait of --wait ran out.
      return "другая программа не закончила транзакцию с этим файлом за " +
             std::to_string(WaitLimit().count()) +
             " с (сколько ждать, задаёт --wait СЕКУНДЫ)";
    case datfile::Err::kUnableToLog:
      return "не удаётся записать журнал транзакции";
    case datfile::Err::kUnableToRollback:
      return "не удаётся отменить транзакцию; следующее открытие файла "
             "попробует снова";
    default:
      return {};
  }
}

// Whether the file system holding `label` has no room left.  A write of
// the transaction log that meets a full disk is reported as the log's
// failure (48; the disk-full number only in the detail), and a failed undo
// as 65: the user must still learn that the disk is full, which is easily
// asked while the command's own half-written data still takes the space.
bool DiskIsFull(std::string_view label) {
  const size_t slash = label.find_last_of('/');
  const std::string directory =
      slash == std::string_view::npos ? std::string(".") : std::string(label.substr(0, slash + 1));
  struct statvfs info {};
  if (::statvfs(directory.c_str(), &info) != 0) return false;
  return static_cast<uint64_t>(info.f_bavail) * info.f_frsize < kNearlyFullBytes;
}

int Report(std::string_view label, int32_t code, std::string_view text,
           std::string_view detail) {
  std::cerr << "zunatool: " << label << ": ";
  std::string meaning = Meaning(code);
  if ((code == datfile::Err::kUnableToLog || code == datfile::Err::kUnableToRollback) &&
      DiskIsFull(label)) {
    meaning = "на диске не осталось места, " + meaning;
  }
  if (!meaning.empty()) std::cerr << meaning << ": ";
  std::cerr << code << ' ' << text;
  if (!detail.empty()) std::cerr << " (" << detail << ')';
  std::cerr << '\n';
  return 1;
}

}  // namespace

std::string FileLabel(std::string_view file) {
  const size_t slash = file.find_last_of('/');
  const std::string_view last =
      slash == std::string_view::npos ? file : file.substr(slash + 1);
  std::string label(file);
  if (last.find('.') == std::string_view::npos) label += ".DAT";
  return label;
}

int ReportFileError(std::string_view label) {
  // The detail is the system's text and file names as the file system
  // spells them: bytes passed through, not program text.
  return Report(label, values::ERRORCODE(), values::Cp1251ToUtf8(values::ERROR()),
                values::FILEERROR());
}

int ReportFileStatus(std::string_view label, const datfile::Status& status) {
  return Report(label, status.code(),
                values::Cp1251ToUtf8(values::RuntimeMessage(status.code())),
                status.detail());
}

int RefuseFile(std::string_view label, std::string_view message) {
  std::cerr << "zunatool: " << label << ": " << message << '\n';
  return 1;
}

void NoteOnStderr(std::string_view label, std::string_view message) {
  std::cerr << "zunatool: " << label << ": " << message << std::endl;
}

}  // namespace zuna::tool
