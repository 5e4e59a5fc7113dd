#include "tools/zunatool/import_people.h"

#include <algorithm>

#include "tools/zunatool/file_errors.h"
#include "tools/zunatool/register_file.h"

namespace zuna::tool {

int ImportPeople(const std::string& file_name, const std::vector<Person>& people) {
  auto file = NewZun(file_name);
  const std::string label = FileLabel(file_name);
  if (datfile::SHARE(*file, kWriteShared) != kNoError) return ReportFileError(label);
  int32_t error = datfile::LOGOUT(*file);
  if (error == kNoError) error = datfile::STREAM(*file);
  // A page of adds under one hold of the register, as readers read
  // (register_file.h): other stations wait for the transaction anyway, and
  // taking and freeing the lock byte cost two system calls a record.
  for (size_t i = 0; i < people.size() && error == kNoError;) {
    datfile::OperationGroup page(*file);
    const size_t page_end = std::min(people.size(), i + kRecordsPerPage);
    for (; i < page_end && error == kNoError; ++i) {
      app::WriteZunRecord(app::MakeZunRecord(people[i].fio, people[i].date),
                          file->record());
      error = datfile::ADD(*file);
    }
  }
  if (error == kNoError) error = datfile::FLUSH(*file);
  if (error == kNoError) error = datfile::COMMIT(*file);
  if (error != kNoError) {
    const int result = ReportFileError(label);
    if (datfile::ROLLBACK(*file) == kNoError) {
      RefuseFile(label, "импорт отменён, в реестре ничего не изменилось");
    } else {
      ReportFileError(label);
    }
    (void)datfile::CLOSE(*file);
    return result;
  }
  return CloseAndReport(*file, kNoError);
}

}  // namespace zuna::tool
