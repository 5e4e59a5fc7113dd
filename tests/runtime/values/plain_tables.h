// Locale tables for picture tests: the built-in ASCII tables with no locale
// pictures, so 17/18 and 7/8 take their documented fallbacks whatever the
// regional settings of the machine running the tests say.
#ifndef ZUNA_TESTS_RUNTIME_VALUES_PLAIN_TABLES_H_
#define ZUNA_TESTS_RUNTIME_VALUES_PLAIN_TABLES_H_

#include "runtime/values/locale.h"

namespace zuna::values {

inline LocaleTables PlainTables() {
  LocaleTables tables = DefaultLocale();
  tables.short_date.tokens.clear();
  tables.long_date.tokens.clear();
  tables.short_time.tokens.clear();
  tables.long_time.tokens.clear();
  return tables;
}

inline const LocaleTables& Tables() {
  static const LocaleTables tables = PlainTables();
  return tables;
}

}  // namespace zuna::values

#endif  // ZUNA_TESTS_RUNTIME_VALUES_PLAIN_TABLES_H_
