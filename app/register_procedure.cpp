#include "app/register_procedure.h"

#include "app/globals.h"
#include "app/zunabc0.h"

namespace zuna::app {

uint8_t RegisterProcedure::BeginInit(const char* procedure_name, int32_t first_field) {
  GlobalErrors.SetProcedureName(procedure_name);
  Request = GlobalRequest;
  const uint8_t level = WindowManager::Init();
  if (level != framework::Level::Benign) return level;
  FirstField = first_field;
  VCRRequest = &app::VCRRequest;
  Errors = &GlobalErrors;
  return framework::Level::Benign;
}

void RegisterProcedure::JoinToolbar() {
  AddItem(toolbar_);
  GlobalRequest = 0;
  GlobalResponse = 0;
}

void RegisterProcedure::OpenRegister() {
  Relate_ZUN->Open();
  FilesOpened = 1;
}

void RegisterProcedure::FollowResizes() {
  resizer_.Init(2, /*SetWindowMinSize=*/1, /*SetWindowMaxSize=*/0);
  resizer_.SetParentDefaults();
  AddItem(resizer_);
}

uint8_t RegisterProcedure::Kill() {
  const uint8_t level = WindowManager::Kill();
  if (level != framework::Level::Benign) return level;
  if (FilesOpened) Relate_ZUN->Close();
  GlobalErrors.SetProcedureName();
  return framework::Level::Benign;
}

}  // namespace zuna::app
