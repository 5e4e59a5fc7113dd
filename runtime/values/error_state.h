// The per-thread runtime error state: the last error number and text
// (ERRORCODE(), ERROR()) and, for failures of one driver, the driver's own
// code and text (FILEERRORCODE(), FILEERROR()).
//
// Every thread has its own state (thread_local); nothing here is shared, so
// any thread may call any function.  A layer posts once, at its entry point,
// from the status its lower layers returned.
#ifndef ZUNA_RUNTIME_VALUES_ERROR_STATE_H_
#define ZUNA_RUNTIME_VALUES_ERROR_STATE_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace zuna::values {

// Sets the calling thread's error to `code` with the runtime's text for it
// (runtime_messages.h).  A non-empty `extra` is appended after one blank, as
// in "Invalid expression for EVALUATE at pos 7".  Clears the file error.
void PostError(int32_t code, std::string_view extra = {});

// As PostError, and records the driver's own code and text for
// FILEERRORCODE()/FILEERROR().
void PostFileError(int32_t code, std::string_view file_error_code,
                   std::string_view file_error);

// Back to "no error": code 0 and empty texts.
void ClearError();

int32_t ERRORCODE();
std::string ERROR();
std::string FILEERRORCODE();
std::string FILEERROR();

}  // namespace zuna::values

#endif  // ZUNA_RUNTIME_VALUES_ERROR_STATE_H_
