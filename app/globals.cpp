#include "app/globals.h"

namespace zuna::app {

// One translation unit, in this order: the status store is built first and
// so destroyed after the error manager that reads it.
framework::ErrorStatusClass GlobalErrorStatus;
framework::ErrorClass GlobalErrors;

thread_local uint8_t GlobalRequest = 0;
thread_local uint8_t GlobalResponse = 0;
thread_local int32_t VCRRequest = 0;

}  // namespace zuna::app
