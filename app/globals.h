// The program's process-wide framework objects, shared by every thread:
// the error manager every procedure reports through, and the store of each
// thread's error state that it reads.  They are built before main() runs
// and live until the process ends; ErrorClass::Init(GlobalErrorStatus) runs
// at program start (and in a test's set-up).  The request variables below
// are each thread's own.
//
// Threads: ErrorClass and ErrorStatusClass guard themselves; see their
// headers.
#ifndef ZUNA_APP_GLOBALS_H_
#define ZUNA_APP_GLOBALS_H_

#include <cstdint>

#include "framework/data/error_manager.h"
#include "framework/data/error_status.h"

namespace zuna::app {

extern framework::ErrorStatusClass GlobalErrorStatus;
extern framework::ErrorClass GlobalErrors;

// Each thread's hand-over between procedures: the request a list gives the
// form it calls, the form's response, and a form's navigation request.
// Zero on every new thread.
extern thread_local uint8_t GlobalRequest;
extern thread_local uint8_t GlobalResponse;
extern thread_local int32_t VCRRequest;

}  // namespace zuna::app

#endif  // ZUNA_APP_GLOBALS_H_
