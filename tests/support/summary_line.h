// The one-line summaries the station programs print at the end of a run:
// words "name=number" among others ("adds=12 deletes=3 ...").
#ifndef ZUNA_TESTS_SUPPORT_SUMMARY_LINE_H_
#define ZUNA_TESTS_SUPPORT_SUMMARY_LINE_H_

#include <cstdint>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>

namespace zuna::testing {

// Every "name=number" word of `line`; other words are skipped.
inline std::map<std::string, uint64_t> ParseSummary(const std::string& line) {
  std::map<std::string, uint64_t> fields;
  std::istringstream in(line);
  for (std::string word; in >> word;) {
    const size_t equals = word.find('=');
    if (equals == std::string::npos) continue;
    fields[word.substr(0, equals)] = std::strtoull(word.c_str() + equals + 1, nullptr, 10);
  }
  return fields;
}

}  // namespace zuna::testing

#endif  // ZUNA_TESTS_SUPPORT_SUMMARY_LINE_H_
