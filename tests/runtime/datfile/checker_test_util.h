// Builds consistent data and key files through the data file and key file
// layers, for the checker's tests and zunatool's: records added, some
// deleted, every KEY maintained as the driver maintains it.
#ifndef ZUNA_TESTS_RUNTIME_DATFILE_CHECKER_TEST_UTIL_H_
#define ZUNA_TESTS_RUNTIME_DATFILE_CHECKER_TEST_UTIL_H_

#include <memory>
#include <string>
#include <vector>

#include "runtime/datfile/data_file.h"
#include "runtime/datfile/declaration.h"
#include "runtime/datfile/file_names.h"
#include "runtime/datfile/key_encoding.h"
#include "runtime/datfile/key_file.h"
#include "runtime/values/locale.h"

namespace zuna::testing {

// Creates `data_path` for `decl` with its key files, adds `records` (record
// buffers in the program's code page) as records 1, 2, ... and deletes the
// record numbers in `deleted`.  Returns the first failure.
inline datfile::Status BuildCheckedFile(
    datfile::FileSystem& fs, const std::string& data_path,
    const datfile::FileDecl& decl, const values::LocaleTables& locale,
    const std::vector<std::string>& records,
    const std::vector<uint32_t>& deleted = {}) {
  using namespace datfile;
  ZUNA_RETURN_IF_ERROR(CreateDataFile(fs, data_path, decl, {}, false));
  std::unique_ptr<DataFile> data;
  ZUNA_RETURN_IF_ERROR(
      DataFile::Open(fs, data_path, decl, {.write = true}, nullptr, &data));
  std::vector<KeyEncoder> encoders(decl.keys.size());
  std::vector<std::unique_ptr<KeyFile>> keys(decl.keys.size());
  for (size_t k = 0; k < decl.keys.size(); ++k) {
    ZUNA_RETURN_IF_ERROR(
        KeyEncoder::Create(decl, decl.keys[k], locale, &encoders[k]));
    std::string key_path;
    ZUNA_RETURN_IF_ERROR(KeyFileName(data_path, static_cast<uint32_t>(k + 1),
                                     decl.keys[k].index, &key_path));
    ZUNA_RETURN_IF_ERROR(KeyFile::Create(fs, key_path, encoders[k].layout(),
                                         {.write = true}, &keys[k]));
  }
  auto keyed = [&](size_t k, const std::string& record) {
    return !(decl.keys[k].optional && encoders[k].IsBlank(record));
  };
  for (const std::string& record : records) {
    AddPlan plan;
    ZUNA_RETURN_IF_ERROR(data->PlanAdd(&plan));
    ZUNA_RETURN_IF_ERROR(data->CommitAdd(plan, 0, record));
    for (size_t k = 0; k < keys.size(); ++k) {
      if (!keyed(k, record)) continue;
      ZUNA_RETURN_IF_ERROR(
          keys[k]->Insert(encoders[k].MakeEntry(plan.record_no, record)));
    }
  }
  for (uint32_t record_no : deleted) {
    DeleteDone done;
    ZUNA_RETURN_IF_ERROR(data->DeleteRecord(record_no, &done));
    const std::string& record = records[record_no - 1];
    for (size_t k = 0; k < keys.size(); ++k) {
      if (!keyed(k, record)) continue;
      ZUNA_RETURN_IF_ERROR(
          keys[k]->Delete(encoders[k].MakeEntry(record_no, record)));
    }
  }
  return data->WriteHeader(true);
}

}  // namespace zuna::testing

#endif  // ZUNA_TESTS_RUNTIME_DATFILE_CHECKER_TEST_UTIL_H_
