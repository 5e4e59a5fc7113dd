#include "app/globals.h"

namespace zuna::app {

// One translation unit, in this order: the status store is built first and
// so destroyed after the error manager that reads it.
framework::ErrorStatusClass GlobalErrorStatus;
framework::ErrorClass GlobalErrors;

}  // namespace zuna::app
