#include "runtime/values/error_state.h"

#include "runtime/values/runtime_messages.h"

namespace zuna::values {
namespace {

struct ErrorState {
  int32_t code = 0;
  std::string text;
  std::string file_error_code;
  std::string file_error;
};

ErrorState& ThisThreadState() {
  thread_local ErrorState state;
  return state;
}

}  // namespace

void PostError(int32_t code, std::string_view extra) {
  ErrorState& state = ThisThreadState();
  state.code = code;
  state.text = code == 0 ? std::string() : RuntimeMessage(code);
  if (!extra.empty()) {
    if (!state.text.empty()) state.text += ' ';
    state.text += extra;
  }
  state.file_error_code.clear();
  state.file_error.clear();
}

void PostFileError(int32_t code, std::string_view file_error_code,
                   std::string_view file_error) {
  PostError(code);
  ErrorState& state = ThisThreadState();
  state.file_error_code = file_error_code;
  state.file_error = file_error;
}

void ClearError() {
  // Every statement that succeeds clears: keep that to a few stores, not a
  // fresh state built and moved in.
  ErrorState& state = ThisThreadState();
  state.code = 0;
  state.text.clear();
  state.file_error_code.clear();
  state.file_error.clear();
}

int32_t ERRORCODE() { return ThisThreadState().code; }
std::string ERROR() { return ThisThreadState().text; }
std::string FILEERRORCODE() { return ThisThreadState().file_error_code; }
std::string FILEERROR() { return ThisThreadState().file_error; }

}  // namespace zuna::values
