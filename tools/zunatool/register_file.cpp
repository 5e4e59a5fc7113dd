#include "tools/zunatool/register_file.h"

#include "tools/zunatool/file_errors.h"

namespace zuna::tool {

std::unique_ptr<datfile::DatFileInstance> NewZun(const std::string& name) {
  auto file = std::make_unique<datfile::DatFileInstance>(app::ZunDeclaration());
  file->set_name(name);
  return file;
}

int Refuse(const std::string& message) {
  std::cerr << "zunatool: " << message << '\n';
  return 1;
}

int ReportFor(const datfile::DatFileInstance& file) {
  return ReportFileError(FileLabel(file.name()));
}

int CloseAndReport(datfile::DatFileInstance& file, int32_t error) {
  const std::string label = FileLabel(file.name());
  if (error != kNoError) {
    const int result = ReportFileError(label);
    (void)datfile::CLOSE(file);
    return result;
  }
  if (datfile::CLOSE(file) != kNoError) return ReportFileError(label);
  return 0;
}

}  // namespace zuna::tool
