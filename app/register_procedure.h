// RegisterProcedure: what every window procedure of the register does
// around its own set-up, in the order the procedures do it.
//
//   uint8_t Init() override {
//     if (uint8_t level = BeginInit("tab2", kList)) return level;
//     JoinToolbar();
//     ... its own controls ...
//     OpenRegister();
//     Open(window_);
//     FollowResizes();
//     ...
//   }
//
// Kill closes the register when OpenRegister opened it and pops the
// procedure name BeginInit pushed.  Threads: the procedure's own.
#ifndef ZUNA_APP_REGISTER_PROCEDURE_H_
#define ZUNA_APP_REGISTER_PROCEDURE_H_

#include <cstdint>

#include "framework/window/toolbar.h"
#include "framework/window/window_manager.h"
#include "framework/window/window_resizer.h"

namespace zuna::app {

class RegisterProcedure : public framework::WindowManager {
 public:
  uint8_t Kill() override;

 protected:
  // The procedure name pushed on GlobalErrors, Request from GlobalRequest,
  // WindowManager::Init (its level returned when not Benign), then
  // FirstField, the thread's VCRRequest and GlobalErrors.
  uint8_t BeginInit(const char* procedure_name, int32_t first_field);
  // The toolbar joined; GlobalRequest and GlobalResponse cleared.
  void JoinToolbar();
  // The thread's ZUN opened through Relate_ZUN, closed again by Kill.
  void OpenRegister();
  // The open window's resizer: strategy 2, minimum size on, maximum off.
  void FollowResizes();

  framework::ToolbarClass toolbar_;
  // Let go of its window by Kill (Run always kills), before the derived
  // procedure's window goes.
  framework::WindowResizeClass resizer_;
};

}  // namespace zuna::app

#endif  // ZUNA_APP_REGISTER_PROCEDURE_H_
