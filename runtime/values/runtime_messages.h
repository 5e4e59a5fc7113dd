// The runtime's own message texts, by error number: what ERROR() returns.
//
// The texts are the runtime's built-in (English) ones; the environment file
// may replace any of them with a VANMSG<number> line (see locale.h).  Texts
// are Windows-1251.  Safe on any thread: the table is constant and the
// overrides are read from the loaded locale tables.
#ifndef ZUNA_RUNTIME_VALUES_RUNTIME_MESSAGES_H_
#define ZUNA_RUNTIME_VALUES_RUNTIME_MESSAGES_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace zuna::values {

// Error numbers the runtime values layer raises itself.
namespace ErrorCode {
inline constexpr int32_t kNoError = 0;
inline constexpr int32_t kInvalidExpression = 1010;
inline constexpr int32_t kNotBound = 1011;
inline constexpr int32_t kMismatchedPushPop = 1012;
inline constexpr int32_t kNoEvaluator = 1013;
inline constexpr int32_t kUnknownContext = 1014;
inline constexpr int32_t kOmittedParameter = 1015;
}  // namespace ErrorCode

// The built-in text for an error number; empty when the runtime has none.
std::string_view DefaultRuntimeMessage(int32_t code);

// The text ERROR() shows: the environment file's override when there is one,
// else the built-in text, else "Error <code>".
std::string RuntimeMessage(int32_t code);

}  // namespace zuna::values

#endif  // ZUNA_RUNTIME_VALUES_RUNTIME_MESSAGES_H_
