// Knobs a long run sets through the environment (scripts/soak-*), read by
// tests that keep a short default for the suite.
#ifndef ZUNA_TESTS_SUPPORT_TEST_ENV_H_
#define ZUNA_TESTS_SUPPORT_TEST_ENV_H_

#include <cstdlib>

namespace zuna::testing {

// The integer in the environment variable `name`; `fallback` when it is
// unset or empty.
inline int EnvOr(const char* name, int fallback) {
  const char* text = std::getenv(name);
  if (text == nullptr || *text == '\0') return fallback;
  return std::atoi(text);
}

}  // namespace zuna::testing

#endif  // ZUNA_TESTS_SUPPORT_TEST_ENV_H_
