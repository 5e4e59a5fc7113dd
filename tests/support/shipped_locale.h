// The shipped environment file for programs and tests that live among the
// test binaries.  Key files are shared with zuna and zunatool, which build
// their collation from the Zuna.ENV beside them; a station that sorted by
// the built-in defaults could disagree with them on key order.  Header
// only, so the station programs need no test library: the including target
// defines ZUNA_BIN_DIR, where the build copies the file.
#ifndef ZUNA_TESTS_SUPPORT_SHIPPED_LOCALE_H_
#define ZUNA_TESTS_SUPPORT_SHIPPED_LOCALE_H_

#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "runtime/values/locale.h"

namespace zuna::testing {

// The tables of ZUNA_BIN_DIR/Zuna.ENV over the regional settings (the
// built-in defaults when the file is missing).
inline values::LocaleTables ShippedLocale() {
  std::ifstream in(std::string(ZUNA_BIN_DIR) + "/Zuna.ENV", std::ios::binary);
  std::optional<std::string> text;
  if (in) {
    std::stringstream content;
    content << in.rdbuf();
    text = content.str();
  }
  return values::LoadLocale(values::ReadRegionalSettings(), text);
}

inline void InstallShippedLocale() { values::InstallLocale(ShippedLocale()); }

}  // namespace zuna::testing

#endif  // ZUNA_TESTS_SUPPORT_SHIPPED_LOCALE_H_
