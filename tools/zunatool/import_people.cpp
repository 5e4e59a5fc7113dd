#include "tools/zunatool/import_people.h"

#include "tools/zunatool/file_errors.h"
#include "tools/zunatool/register_file.h"

namespace zuna::tool {

int ImportPeople(const std::string& file_name, const std::vector<Person>& people) {
  auto file = NewZun(file_name);
  const std::string label = FileLabel(file_name);
  if (datfile::SHARE(*file, kWriteShared) != kNoError) return ReportFileError(label);
  int32_t error = datfile::LOGOUT(*file);
  if (error == kNoError) error = datfile::STREAM(*file);
  for (size_t i = 0; i < people.size() && error == kNoError; ++i) {
    app::WriteZunRecord(app::MakeZunRecord(people[i].fio, people[i].date),
                        file->record());
    error = datfile::ADD(*file);
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
