#include "tools/zunatool/whole_file_work.h"

#include "app/zun_dictionary.h"
#include "runtime/datfile/checker.h"
#include "runtime/datfile/os_file.h"
#include "runtime/datfile/statements.h"
#include "runtime/datfile/transaction.h"
#include "runtime/values/error_state.h"
#include "tools/zunatool/command.h"
#include "tools/zunatool/file_errors.h"
#include "tools/zunatool/wait_for_others.h"

namespace zuna::tool {
namespace {

// What stands in the way this time.
enum class Outcome { kDone, kFailed, kBusy };

Outcome TryOnce(datfile::FileSystem& fs, const std::string& name,
                const std::string& data_path, const std::string& label,
                int32_t (*work)(datfile::DatFileInstance&), int* exit_code) {
  const datfile::Status recovered = datfile::transaction::Recover(fs, data_path, nullptr);
  // 56: another program is inside its transaction, so it has the file open.
  if (recovered.code() == datfile::Err::kLogoutActive) return Outcome::kBusy;
  if (!recovered.ok()) {
    *exit_code = ReportFileStatus(label, recovered);
    return Outcome::kFailed;
  }
  datfile::DatFileInstance file(app::ZunDeclaration());
  file.set_name(name);
  if (work(file) == 0) {
    *exit_code = 0;
    return Outcome::kDone;
  }
  // A refusal is a sharing conflict only when somebody has the file open;
  // any other 5 (permissions, a read-only disk) is reported as it is.
  if (values::ERRORCODE() == datfile::Err::kAccessDenied &&
      fs.ProbeUnused(data_path).code() == datfile::Err::kAccessDenied) {
    return Outcome::kBusy;
  }
  *exit_code = ReportFileError(label);
  return Outcome::kFailed;
}

}  // namespace

int RunAlone(const std::string& name, std::string_view what,
             int32_t (*work)(datfile::DatFileInstance& file)) {
  const std::string label = FileLabel(name);
  datfile::FileSystem& fs = datfile::PosixFileSystem();
  std::string data_path;
  if (datfile::Status status = datfile::ResolveDataFileName(fs, name, &data_path);
      !status.ok()) {
    return ReportFileStatus(label, status);
  }
  WaitForOthers wait(label, "реестр открыт другой программой, а для " + std::string(what) +
                                " файл нужен целиком; ждём, пока его закроют");
  for (;;) {
    int exit_code = 1;
    if (TryOnce(fs, name, data_path, label, work, &exit_code) != Outcome::kBusy) {
      return exit_code;
    }
    if (!wait.Again()) {
      return RefuseFile(label,
                        "реестр всё ещё открыт другой программой, а для " +
                            std::string(what) +
                            " файл нужен целиком; ничего не изменено. Закройте Zuna "
                            "и другие программы с этим реестром и повторите (или "
                            "дайте больше времени: --wait СЕКУНДЫ)");
    }
  }
}

}  // namespace zuna::tool
