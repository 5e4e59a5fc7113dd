// libFuzzer target for the expression language: the input is compiled
// against a few bound names (a STRING, a LONG, a REAL, a LONG array, a
// CSTRING and a procedure) and, when it compiles, evaluated in every type
// and through EVALUATE.  Any sanitizer report or crash is a bug.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "runtime/values/error_state.h"
#include "runtime/values/evaluator.h"

namespace {

using namespace zuna::values;

struct Bound {
  char s[12];
  int32_t l = 1228;
  double r = 2.5;
  int32_t a[2][3] = {{1, 2, 3}, {4, 5, 6}};
  char c[8];
  int32_t zun_data = 76038;  // 5 March 2009
  char ms[4];

  Bound() {
    std::memcpy(s, "Ivanov Ivan ", sizeof s);
    std::memcpy(c, "abc\0defg", sizeof c);
    std::memcpy(ms, "2009", sizeof ms);
    BIND("s", RefString(s, sizeof s));
    BIND("l", RefLong(l));
    BIND("d", RefLong(l));
    BIND("r", RefReal(r));
    BIND("a", RefArray(RefLong(a[0][0]), {2, 3}));
    BIND("c", RefCString(c, sizeof c));
    BIND("zun:data", RefLong(zun_data));
    BIND("ms", RefString(ms, sizeof ms));
    BIND("p", [](std::span<const std::string> arguments) {
      std::string joined;
      for (const std::string& argument : arguments) {
        joined.append(argument, 0, 64);
      }
      return joined;
    });
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Bound bound;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  ClearError();
  if (const auto expression = Expression::Compile(text)) {
    (void)expression->type();
    (void)expression->EvaluateBool();
    (void)expression->EvaluateLong();
    (void)expression->EvaluateReal();
    (void)expression->EvaluateString();
  }
  (void)EVALUATE(text);
  return 0;
}
