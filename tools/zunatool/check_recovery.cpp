#include "tools/zunatool/check_recovery.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>

#include "runtime/datfile/transaction.h"
#include "tools/zunatool/file_errors.h"
#include "tools/zunatool/wait_for_others.h"

namespace zuna::tool {
namespace {

using datfile::Err::kAccessDenied;
using datfile::Err::kLogoutActive;

constexpr uint64_t kHeaderByte = 0;
// A station holds byte 0 for one operation; it is tried as the driver
// tries it, every millisecond for a second, before the file counts as
// busy.
constexpr std::chrono::milliseconds kByteRetry{1};
constexpr std::chrono::seconds kByteAttempts{1};

enum class Step { kReady, kBusy, kFailed };

std::string BaseName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Whether the recovery of `log_path` will undo a transaction: its first
// record names the transaction file, which is there until the commit
// point (looked for by base name beside the log too, as the recovery
// does, for a station that mounted the directory elsewhere).  A log
// without it belongs to a committed or an empty transaction and is only
// removed.
bool UndoesSomething(datfile::FileSystem& fs, const std::string& log_path) {
  std::unique_ptr<datfile::File> log;
  if (!fs.Open(log_path, datfile::OpenOptions{}, &log).ok()) return false;
  char marker[datfile::transaction::kNameSize] = {};
  size_t got = 0;
  if (!log->ReadAt(0, marker, &got).ok() || got < sizeof(marker)) return false;
  log.reset();  // the recovery opens it deny-all
  const std::string name(marker, std::find(marker, marker + sizeof(marker), '\0'));
  if (name.empty()) return false;
  return fs.Exists(name) || fs.Exists(DirectoryOf(log_path) + BaseName(name));
}

// Byte 0 of the data file, as a writing station takes it: OK, 5 when
// another station keeps it for more than a second.
datfile::Status TakeHeaderByte(datfile::File& file) {
  const auto give_up = std::chrono::steady_clock::now() + kByteAttempts;
  for (;;) {
    datfile::Status status = file.Lock(kHeaderByte, 1, datfile::LockKind::kExclusive);
    if (status.code() != kAccessDenied || std::chrono::steady_clock::now() >= give_up) {
      return status;
    }
    std::this_thread::sleep_for(kByteRetry);
  }
}

Step TryOnce(datfile::FileSystem& fs, const std::string& data_path,
             const std::string& label, SettledForCheck* settled, int* exit_code) {
  if (!settled->holder) {
    datfile::OpenOptions options;
    options.write = true;
    options.share = datfile::ShareMode::kDenyNone;
    datfile::Status status = fs.Open(data_path, options, &settled->holder);
    if (!status.ok()) {
      // Refused while somebody has it alone (build, pack): wait.  Any other
      // refusal is the system's answer to us.
      if (status.code() == kAccessDenied &&
          fs.ProbeUnused(data_path).code() == kAccessDenied) {
        return Step::kBusy;
      }
      *exit_code = ReportFileStatus(label, status);
      return Step::kFailed;
    }
  }
  datfile::File& file = *settled->holder;
  datfile::Status status = TakeHeaderByte(file);
  if (status.code() == kAccessDenied) return Step::kBusy;
  if (!status.ok()) {
    *exit_code = ReportFileStatus(label, status);
    return Step::kFailed;
  }
  const std::string log_path = datfile::transaction::LogPathFor(data_path);
  if (!fs.Exists(log_path)) return Step::kReady;
  if (fs.ProbeUnused(log_path).code() == kAccessDenied) {
    // Its station is inside its transaction: the changes are its to finish.
    (void)file.Unlock(kHeaderByte, 1);
    return Step::kBusy;
  }
  const bool undo = UndoesSomething(fs, log_path);
  status = datfile::transaction::Recover(fs, data_path, &file);
  if (status.code() == kLogoutActive) {  // its station came back to it
    (void)file.Unlock(kHeaderByte, 1);
    return Step::kBusy;
  }
  if (!status.ok()) {
    (void)file.Unlock(kHeaderByte, 1);
    *exit_code = ReportFileStatus(label, status);
    return Step::kFailed;
  }
  settled->note =
      undo ? "Незавершённая транзакция отменена, как при первом открытии файла: " +
                 BaseName(data_path) + " возвращён к состоянию до неё (журнал " +
                 log_path + ")"
           : "Журнал " + log_path +
                 ", по которому нечего отменять, удалён, как при первом открытии файла";
  return Step::kReady;
}

}  // namespace

int SettleForCheck(datfile::FileSystem& fs, const std::string& data_path,
                   const std::string& label, SettledForCheck* settled) {
  WaitForOthers wait(label,
                     "реестр занят другой программой (её транзакция не закончена, "
                     "или идёт build или pack); проверка ждёт");
  for (;;) {
    int exit_code = 1;
    switch (TryOnce(fs, data_path, label, settled, &exit_code)) {
      case Step::kReady:
        return 0;
      case Step::kFailed:
        settled->holder.reset();
        return exit_code;
      case Step::kBusy:
        break;
    }
    if (!wait.Again()) {
      settled->holder.reset();
      return RefuseFile(label,
                        "реестр всё ещё занят другой программой; проверка не "
                        "выполнена. Повторите позже (или дайте больше времени: "
                        "--wait СЕКУНДЫ); проверить файл как есть, ничего не "
                        "меняя: check --no-recover");
    }
  }
}

}  // namespace zuna::tool
